#!/bin/sh
# SPDX-License-Identifier: MIT
# README's "Before you ship a build", on one machine: the example host stands
# in for each switch's back end, with the build it runs today (TODAY), and
# sysmgr-show checks the captures with the new build (NEW). Exits as
# sysmgr-show check does.
#
#   before-you-ship.sh BIN_DIR HOST TODAY NEW WORK_DIR
set -eu
bin=$1 host=$2 today=$3 new=$4 work=$5
here=$(dirname "$0")
# 1. On each switch, with the build it runs today.
mkdir -p "$work/switch-a"
for command in 1 107; do
  "$bin/sysmgr-capture" --out "$work/switch-a/check-$command" -- \
    sh "$here/run.sh" "$host" "$command" "$today" > /dev/null
done
# 2. Copy the captures off the switches, into one directory.
mkdir -p "$work/captures"
cp -R "$work/switch-a/check-1" "$work/captures/switch-a-1"
cp -R "$work/switch-a/check-107" "$work/captures/switch-a-107"
# 3. Replay them all with the new build.
SYSMGRCLI_LIB=$new "$bin/sysmgr-show" check "$work/captures"
