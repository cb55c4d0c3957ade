# SPDX-License-Identifier: MIT
# Shared part of the toolchain files beside it: Debian's cross compilers
# <triple>-gcc/g++, the target's libraries and -dev packages from the
# multiarch directories (dpkg --add-architecture), and qemu-user to run the
# target's programs (tests, the build's generator). The including file sets
# SYSMGRCLI_TRIPLE, SYSMGRCLI_DEBIAN_ARCH, CMAKE_SYSTEM_PROCESSOR and
# SYSMGRCLI_QEMU.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${SYSMGRCLI_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${SYSMGRCLI_TRIPLE}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${SYSMGRCLI_TRIPLE})

# Libraries and packages only from the target's side: the cross toolchain's
# own directory and the root, whose lib/<triple> and usr/lib/<triple> are
# searched through CMAKE_LIBRARY_ARCHITECTURE. Headers that belong to no
# architecture (/usr/include) are shared with the host.
set(CMAKE_FIND_ROOT_PATH /usr/${SYSMGRCLI_TRIPLE} /)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

# Installed under lib/<multiarch>, as a native build under /usr is
# (GNUInstallDirs does so only when not cross-compiling).
set(CMAKE_INSTALL_LIBDIR lib/${SYSMGRCLI_TRIPLE} CACHE PATH "Object code libraries (lib/<multiarch>)")

# pkg-config of the target's .pc files.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/${SYSMGRCLI_TRIPLE}/pkgconfig:/usr/share/pkgconfig)

# libxml2-dev of the target cannot always be installed beside the host's
# (Debian 12 has no security updates for s390x, whose libc6-dev then differs
# from the host's); the host's headers serve with the target's library.
set(sysmgrcli_libxml2 /usr/lib/${SYSMGRCLI_TRIPLE}/libxml2.so.2)
if(NOT EXISTS /usr/lib/${SYSMGRCLI_TRIPLE}/libxml2.so AND EXISTS ${sysmgrcli_libxml2})
  set(LIBXML2_LIBRARY ${sysmgrcli_libxml2} CACHE FILEPATH "the target's libxml2")
endif()

# The target's programs run under qemu-user with the multiarch loader and
# libraries of the root (/lib/<triple>), never the cross toolchain's copy of
# the C library: mixing the two makes every process crash.
find_program(SYSMGRCLI_EMULATOR ${SYSMGRCLI_QEMU})
if(SYSMGRCLI_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${SYSMGRCLI_EMULATOR})
endif()

# The Debian packages are for the target (cpack -G DEB; dpkg-shlibdeps
# takes their dependencies for it when DEB_HOST_ARCH names it too).
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${SYSMGRCLI_DEBIAN_ARCH})
