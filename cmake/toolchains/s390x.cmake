# SPDX-License-Identifier: MIT
# 64-bit big-endian IBM Z, Debian's s390x.
set(SYSMGRCLI_TRIPLE s390x-linux-gnu)
set(SYSMGRCLI_DEBIAN_ARCH s390x)
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(SYSMGRCLI_QEMU qemu-s390x-static)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
