# SPDX-License-Identifier: MIT
# 32-bit big-endian PowerPC, Debian's powerpc. Debian 12 has no multiarch
# powerpc packages: only the library-only build (SYSMGRCLI_LIBRARY_ONLY),
# linked against the cross toolchain's own libraries.
set(SYSMGRCLI_TRIPLE powerpc-linux-gnu)
set(SYSMGRCLI_DEBIAN_ARCH powerpc)
set(CMAKE_SYSTEM_PROCESSOR powerpc)
set(SYSMGRCLI_QEMU qemu-ppc-static)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
