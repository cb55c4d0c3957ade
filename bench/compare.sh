#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Whole-process wall times, side by side: sysmgr-show version and
# redundancy, and version_children, which runs only the child processes that
# command 107 must run (the flash-size listing and its removal through the
# shell, the image header tool through a pipe twice, the mount on the first
# call only), and the two floors of sysmgr-show redundancy: /bin/true, and
# one_line, a C++ program that only prints a line. Prints the median, 10th
# and 90th percentile of each in milliseconds, the ratio of command 107 to
# its children and of redundancy to each floor.
#
#   bench/compare.sh [BUILD_DIR [RUNS]]      (default build/bench, 300 runs)
#
# SHOW=PROGRAM measures another sysmgr-show (an older build, say) against the
# same children.
# Command 107 and the children share one root prepared from the default
# scenario, so both see the loader cache after their first run, as a switch
# does after its first report. Runs are interleaved so that a change in the
# machine's load touches every command alike; the load average is printed
# before and after. TMPDIR chooses where the roots go.
set -euo pipefail

build=${1:-build/bench}
runs=${2:-300}
bin=$build/bin
for program in sysmgr-show show_count version_children one_line; do
  if [ ! -x "$bin/$program" ]; then
    echo "compare.sh: $bin/$program is missing; build the bench preset first" >&2
    exit 2
  fi
done

root=$(mktemp -d "${TMPDIR:-/tmp}/sysmgrcli-compare.XXXXXX")
samples=$(mktemp -d "${TMPDIR:-/tmp}/sysmgrcli-samples.XXXXXX")
trap 'rm -rf "$root" "$samples"' EXIT
"$bin/show_count" --write-root "$root"
export TZ=UTC

show=${SHOW:-$bin/sysmgr-show}
names=(version version-root redundancy children true one-line)
commands=(
  "$show version"
  "$show --root $root version"
  "$show redundancy"
  "$bin/version_children $root"
  /bin/true
  "$bin/one_line"
)

# One run of each first: loads the programs into the page cache and lets
# both command 107 forms write the loader cache.
for command in "${commands[@]}"; do
  $command > /dev/null
done

echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
for ((i = 0; i < runs; i++)); do
  for j in "${!commands[@]}"; do
    start=$EPOCHREALTIME
    ${commands[$j]} > /dev/null
    end=$EPOCHREALTIME
    echo "$start $end" >> "$samples/${names[$j]}"
  done
done
echo "load after:  $(cut -d' ' -f1-3 /proc/loadavg)"

# Prints "median p10 p90" in milliseconds of the samples of one command.
stats() {
  awk '{ printf "%.3f\n", ($2 - $1) * 1000 }' "$samples/$1" | sort -n |
    awk '{ v[NR] = $1 } END {
      printf "%.2f %.2f %.2f\n", v[int((NR + 1) / 2)], v[int(NR * 0.1) + 1], v[int(NR * 0.9)]
    }'
}

printf '%-44s %8s %8s %8s\n' "$runs runs each, ms" median p10 p90
declare -A median
labels=(
  "sysmgr-show version (fresh root, mount)"
  "sysmgr-show --root ROOT version"
  "sysmgr-show redundancy"
  "version_children ROOT (mandated children)"
  "/bin/true"
  "one_line (a C++ program printing a line)"
)
for j in "${!names[@]}"; do
  read -r med p10 p90 < <(stats "${names[$j]}")
  median[${names[$j]}]=$med
  printf '%-44s %8s %8s %8s\n' "${labels[$j]}" "$med" "$p10" "$p90"
done
awk -v a="${median[version-root]}" -v b="${median[children]}" -v r="${median[redundancy]}" \
  -v t="${median[true]}" -v o="${median[one-line]}" \
  'BEGIN {
    printf "ratio command 107 / mandated children: %.3f\n", a / b
    printf "command 107 beyond its children: %.2f ms (a whole redundancy run: %.2f ms)\n", a - b, r
    printf "ratio redundancy / /bin/true: %.3f\n", r / t
    printf "ratio redundancy / one_line: %.3f (one_line / /bin/true: %.3f)\n", r / o, o / t
  }'
