# SPDX-License-Identifier: MIT
# 64-bit little-endian ARM, Debian's arm64.
set(SYSMGRCLI_TRIPLE aarch64-linux-gnu)
set(SYSMGRCLI_DEBIAN_ARCH arm64)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(SYSMGRCLI_QEMU qemu-aarch64-static)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
