#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Instructions per call of each command in process, counted by callgrind
# (deterministic, unlike times): the calls of show_count are counted with
# collection on only inside the library's entry function, once for 1 call
# and once for 1 + N calls; the difference over N is one call after the
# first (the first one also fills the loader cache). Child processes are not
# followed. Columns: all instructions; the library's side (the library and
# the C library functions it calls); the platform's side (the simulator's
# functions and, with --instant, the utility stand-ins, each with what it
# calls).
#
#   bench/count.sh [BUILD_DIR [N]]      (default build/bench, 10)
set -euo pipefail

build=${1:-build/bench}
n=${2:-10}
bin=$build/bin/show_count
[ -x "$bin" ] || { echo "count.sh: $bin is missing; build the bench preset first" >&2; exit 2; }
out=$(mktemp -d "${TMPDIR:-/tmp}/sysmgrcli-count.XXXXXX")
trap 'rm -rf "$out"' EXIT
export TZ=UTC

# Prints "total library platform" of one callgrind run: all instructions
# counted; those of show_count's C functions bar main (the simulator's
# platform functions, linked in, and the utility stand-ins), with everything
# they call; the rest, which
# is the library and the C library functions it calls itself.
count() {
  local entry=$1 file=$2
  shift 2
  valgrind --tool=callgrind --callgrind-out-file="$file" --toggle-collect="$entry" \
    "$@" > /dev/null 2> "$file.log"
  callgrind_annotate --inclusive=yes --threshold=100 "$file" 2> /dev/null |
    awk -v entry="$entry" '
      /PROGRAM TOTALS/ { total = $1; gsub(",", "", total) }
      /^ *[0-9,]+ .*\[/ {
        n = $1; gsub(",", "", n)
        name = $0; sub(/^[^?]*\?\?\?:/, "", name); sub(/ \[.*/, "", name)
        if (index($0, "show_count]") && name !~ /::|\(/ && name !~ /^main/)
          platform += n
      }
      END { printf "%d %d %d\n", total, total - platform, platform }'
}

printf '%-28s %12s %12s %12s\n' "per call (instructions)" total library platform
for row in "redundancy:sysmgr_cli_generic_show_func:" \
           "version:sysmgr_cli_generic_show_func:--instant" \
           "version:sysmgr_cli_generic_show_func:" \
           "version-alt:sysmgr_show_version_internal2:--instant" \
           "version-alt:sysmgr_show_version_internal2:"; do
  IFS=: read -r command entry mode <<< "$row"
  read -r t1 l1 p1 < <(count "$entry" "$out/one" "$bin" $mode "$command" 1)
  read -r tn ln pn < <(count "$entry" "$out/many" "$bin" $mode "$command" $((n + 1)))
  label="$command (shell)"
  [ -z "$mode" ] || label="$command (instant)"
  printf '%-28s %12d %12d %12d\n' "$label" $(((tn - t1) / n)) $(((ln - l1) / n)) $(((pn - p1) / n))
done
