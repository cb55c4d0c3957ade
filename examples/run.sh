#!/bin/sh
# SPDX-License-Identifier: MIT
#
# Runs a host over a copy of examples/root/, the files and utilities that
# example_platform.c goes with, in UTC:
#
#   ./run.sh ./host 107 [LIBRARY]
#
# The copy gets the tmp/ directory the version report writes its flash-size
# listing to, and is removed afterwards. The exit status is the host's.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -R "$here/root" "$work/root"
mkdir -p "$work/root/tmp"
TZ=UTC SYSMGRCLI_ROOT="$work/root" "$@"
