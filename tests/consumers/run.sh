#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds and runs the consumers against an installed tree, PREFIX:
#  - consumer.c through pkg-config (plain C, -std=c11 -pedantic),
#  - cxx/ through find_package(sysmgrcli 1 CONFIG),
#  - examples/host.c, which loads the library with dlopen(),
# each serving command 1 over examples/example_platform.c; their output must
# be expected-command1.txt. Then the installed sysmgr-show runs both commands.
#
#   tests/consumers/run.sh PREFIX
set -euo pipefail
prefix=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
examples=$here/../../examples
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Fixed inputs: the time zone and the kernel uptime the library reads.
export TZ=UTC
mkdir -p "$work/root/proc"
echo "90061.50 1000.00" > "$work/root/proc/uptime"

check() { # name, command...
  local name=$1
  shift
  if ! SYSMGRCLI_ROOT="$work/root" "$@" > "$work/$name.out"; then
    echo "consumers: $name failed" >&2
    exit 1
  fi
  if ! diff -u "$here/expected-command1.txt" "$work/$name.out"; then
    echo "consumers: $name printed something else" >&2
    exit 1
  fi
  echo "consumers: $name ok"
}

# The platform functions docs/abi.md lists are those the library leaves undefined.
lib=$(find "$prefix/lib" -maxdepth 2 -name libsysmgrcli.so.1 -print -quit)
nm -D --undefined-only "$lib" | awk '$1 == "U" && $2 !~ /@/ { print $2 }' | sort > "$work/undefined"
awk '/<!-- platform functions -->/ { list = 1; next }
     list && /^```$/ && seen { exit }
     list && /^```/ { seen = 1; next }
     list && seen && !/^#/ { for (i = 1; i <= NF; i++) print $i }' \
  "$here/../../docs/abi.md" | sort > "$work/documented"
if ! diff -u "$work/documented" "$work/undefined"; then
  echo "consumers: docs/abi.md's platform functions differ from the library's undefined ones" >&2
  exit 1
fi
echo "consumers: $(wc -l < "$work/undefined") platform functions, as documented"

pcfile=$(find "$prefix/lib" -maxdepth 3 -path '*/pkgconfig/sysmgrcli.pc' -print -quit)
export PKG_CONFIG_PATH=${pcfile%/*}
libdir=$(pkg-config --variable=libdir sysmgrcli)
cc -std=c11 -Wall -Wextra -Werror -pedantic $(pkg-config --cflags sysmgrcli) -I"$examples" \
  "$here/consumer.c" "$examples/example_platform.c" $(pkg-config --libs sysmgrcli) \
  -Wl,-rpath,"$libdir" -o "$work/c-consumer"
check c-consumer "$work/c-consumer"

cmake -S "$here/cxx" -B "$work/cxx" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$work/cxx" >/dev/null
check cxx-consumer "$work/cxx/consumer"

cc -std=c11 -Wall -Wextra -Werror -pedantic -rdynamic $(pkg-config --cflags sysmgrcli) \
  "$examples/host.c" "$examples/example_platform.c" -ldl -o "$work/host"
check host "$work/host" 1 "$libdir/libsysmgrcli.so.1"

# The installed sysmgr-show finds the installed library by itself.
for cmd in redundancy version; do
  if ! env -u SYSMGRCLI_LIB "$prefix/bin/sysmgr-show" "$cmd" > "$work/show.out"; then
    echo "consumers: $prefix/bin/sysmgr-show $cmd failed" >&2
    exit 1
  fi
  echo "consumers: installed sysmgr-show $cmd ok ($(wc -l < "$work/show.out") lines)"
done
