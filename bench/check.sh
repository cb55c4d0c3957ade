#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Wall time of `sysmgr-show check` over N captures of command 107 against
# the same N plain replays run with `xargs -P JOBS`, JOBS processes at once
# for both; prints both times and their ratio. The captures are copies of one
# capture of the default scenario, a fleet of identical switches.
#
#   bench/check.sh [BUILD_DIR [N [JOBS]]]      (default build/bench, 1000, nproc)
set -euo pipefail

build=${1:-build/bench}
n=${2:-1000}
jobs=${3:-$(nproc)}
bin=$build/bin
for program in sysmgr-show sysmgr-capture; do
  if [ ! -x "$bin/$program" ]; then
    echo "check.sh: $bin/$program is missing; build the bench preset first" >&2
    exit 2
  fi
done
work=$(mktemp -d "${TMPDIR:-/tmp}/sysmgrcli-check.XXXXXX")
trap 'rm -rf "$work"' EXIT
export TZ=UTC

"$bin/sysmgr-capture" --out "$work/one" -- "$bin/sysmgr-show" version > /dev/null
mkdir "$work/fleet"
for ((i = 1; i <= n; i++)); do
  cp -R "$work/one" "$work/fleet/$i"
done
sync # the copies written out, so that no round pays for another's writeback

echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
seconds() { # the wall time of a command, in seconds
  local start=$EPOCHREALTIME
  "$@" > /dev/null
  echo "$EPOCHREALTIME - $start" | bc
}
replay_all() {
  find "$work/fleet" -mindepth 1 -maxdepth 1 -print0 |
    xargs -0 -P "$jobs" -I{} "$bin/sysmgr-show" --scenario {}/scenario.json --root {}/root version
}
# Two rounds, each command first once, so that both meet warm caches alike.
total_check=0 total_replays=0
for order in replays-first check-first; do
  if [ "$order" = replays-first ]; then
    r=$(seconds replay_all); c=$(seconds "$bin/sysmgr-show" check --jobs "$jobs" "$work/fleet")
  else
    c=$(seconds "$bin/sysmgr-show" check --jobs "$jobs" "$work/fleet"); r=$(seconds replay_all)
  fi
  printf '%s: check %.2f s, xargs replays %.2f s\n' "$order" "$c" "$r"
  total_check=$(echo "$total_check + $c" | bc) total_replays=$(echo "$total_replays + $r" | bc)
done
echo "load after:  $(cut -d' ' -f1-3 /proc/loadavg)"
"$bin/sysmgr-show" check --jobs "$jobs" "$work/fleet" > "$work/check.out" || true
printf '%d captures, %d jobs, %d identical: check / replays %.3f\n' "$n" "$jobs" \
  "$(grep -c ': identical$' "$work/check.out")" "$(echo "$total_check / $total_replays" | bc -l)"
