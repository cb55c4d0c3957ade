# SPDX-License-Identifier: MIT
# 32-bit little-endian ARM (hard float), Debian's armhf.
set(SYSMGRCLI_TRIPLE arm-linux-gnueabihf)
set(SYSMGRCLI_DEBIAN_ARCH armhf)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(SYSMGRCLI_QEMU qemu-arm-static)
# GCC's note that passing some arguments changed in GCC 7.1 concerns code
# built by older compilers, which nothing here is linked with.
set(CMAKE_CXX_FLAGS_INIT -Wno-psabi)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
