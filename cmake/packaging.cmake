# SPDX-License-Identifier: MIT
# Installation and the Debian packages.
#
# Components, one Debian package each:
#   runtime      libsysmgrcli1     the shared library (what a switch image needs)
#   development  libsysmgrcli-dev  headers, the .so link, sysmgrcli.pc, the CMake package,
#                                  the integrator's documents and the example host
#   tool         sysmgr-show       sysmgr-show, its private simulator library,
#                                  the XML schemas, example scenarios, man page
# Debian's control files and documents are in cmake/debian/; .ci/packages
# checks the packages with lintian.
include(CMakePackageConfigHelpers)

set(SYSMGRCLI_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/sysmgrcli)
set(SYSMGRCLI_DATA_DIR ${CMAKE_INSTALL_DATADIR}/sysmgrcli)

# Headers: the library's and the platform interfaces' under one include
# directory, so one -I (none under /usr) serves <sysmgrcli/...> and <platform/...>.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/sysmgrcli ${PROJECT_SOURCE_DIR}/platform/include/platform
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development FILES_MATCHING PATTERN "*.h")

# pkg-config. Made at install time, so that its prefix is the one the tree
# is installed under, `cmake --install --prefix DIR` included.
set(pc_in ${PROJECT_SOURCE_DIR}/sysmgrcli.pc.in)
set(pc_out ${PROJECT_BINARY_DIR}/sysmgrcli.pc)
install(CODE "
  set(PROJECT_VERSION ${PROJECT_VERSION})
  set(CMAKE_INSTALL_LIBDIR ${CMAKE_INSTALL_LIBDIR})
  set(CMAKE_INSTALL_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR})
  set(pc_prefix \"\${CMAKE_INSTALL_PREFIX}\")
  configure_file(${pc_in} ${pc_out} @ONLY)
  file(INSTALL ${pc_out} DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/pkgconfig\")
" COMPONENT development)

# CMake package: sysmgrcli::sysmgrcli; any 1.x satisfies a request for 1.
install(EXPORT sysmgrcliTargets NAMESPACE sysmgrcli:: DESTINATION ${SYSMGRCLI_CMAKE_DIR}
  COMPONENT development)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/sysmgrcliConfig.cmake.in
  ${PROJECT_BINARY_DIR}/sysmgrcliConfig.cmake INSTALL_DESTINATION ${SYSMGRCLI_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/sysmgrcliConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/sysmgrcliConfig.cmake
  ${PROJECT_BINARY_DIR}/sysmgrcliConfigVersion.cmake
  DESTINATION ${SYSMGRCLI_CMAKE_DIR} COMPONENT development)

# What goes with sysmgr-show.
if(NOT SYSMGRCLI_LIBRARY_ONLY)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/schema/ DESTINATION ${SYSMGRCLI_DATA_DIR}/schema
    COMPONENT tool FILES_MATCHING PATTERN "*.xsd" PATTERN "*.schema.json")
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/scenarios/ DESTINATION ${SYSMGRCLI_DATA_DIR}/scenarios
    COMPONENT tool FILES_MATCHING PATTERN "*.json")
endif()

# Debian's layout: the man page gzipped, and in each package's
# share/doc/<package>/ the machine-readable copyright file and the gzipped
# changelog.Debian. gzip -n keeps the build time out of the archives.
set(SYSMGRCLI_RUNTIME_PACKAGE libsysmgrcli${PROJECT_VERSION_MAJOR})
set(SYSMGRCLI_DEV_PACKAGE libsysmgrcli-dev)
set(SYSMGRCLI_TOOL_PACKAGE sysmgr-show)
set(debian_dir ${PROJECT_SOURCE_DIR}/cmake/debian)
set(gzipped)
foreach(pair "docs/sysmgr-show.1:sysmgr-show.1.gz" "docs/sysmgr-capture.1:sysmgr-capture.1.gz"
    "cmake/debian/changelog:changelog.Debian.gz")
  string(REPLACE ":" ";" pair "${pair}")
  list(GET pair 0 source)
  list(GET pair 1 target)
  add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/${target}
    COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/${source} > ${PROJECT_BINARY_DIR}/${target}
    DEPENDS ${PROJECT_SOURCE_DIR}/${source} VERBATIM)
  list(APPEND gzipped ${PROJECT_BINARY_DIR}/${target})
endforeach()
add_custom_target(gzipped-docs ALL DEPENDS ${gzipped})
set(packaged runtime:${SYSMGRCLI_RUNTIME_PACKAGE} development:${SYSMGRCLI_DEV_PACKAGE})
if(NOT SYSMGRCLI_LIBRARY_ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/sysmgr-show.1.gz ${PROJECT_BINARY_DIR}/sysmgr-capture.1.gz
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tool)
  list(APPEND packaged tool:${SYSMGRCLI_TOOL_PACKAGE})
endif()
foreach(pair ${packaged})
  string(REPLACE ":" ";" pair "${pair}")
  list(GET pair 0 component)
  list(GET pair 1 package)
  install(FILES ${debian_dir}/copyright ${PROJECT_BINARY_DIR}/changelog.Debian.gz
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package} COMPONENT ${component})
  configure_file(${debian_dir}/lintian-overrides.in ${PROJECT_BINARY_DIR}/lintian/${package} @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/lintian/${package}
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides COMPONENT ${component})
endforeach()

# The integrator's kit, beside libsysmgrcli-dev's copyright: the binary
# interface, the inputs of both commands, the threat model, and the example host with its
# platform and the file tree it reads (run as examples/README.md says).
set(SYSMGRCLI_KIT_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/${SYSMGRCLI_DEV_PACKAGE})
install(FILES ${PROJECT_SOURCE_DIR}/docs/abi.md ${PROJECT_SOURCE_DIR}/docs/command-1-inputs.md
  ${PROJECT_SOURCE_DIR}/docs/command-107-inputs.md
  ${PROJECT_SOURCE_DIR}/docs/security.md DESTINATION ${SYSMGRCLI_KIT_DIR} COMPONENT development)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/ DESTINATION ${SYSMGRCLI_KIT_DIR}/examples
  COMPONENT development USE_SOURCE_PERMISSIONS)

# cpack -G DEB in the build directory writes the three packages.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME sysmgrcli)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(SYSMGRCLI_MAINTAINER "libsysmgrcli developers <maintainers@libsysmgrcli.org>" CACHE STRING
  "Maintainer field of the Debian packages: Name <address>")
set(CPACK_PACKAGE_CONTACT "${SYSMGRCLI_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${SYSMGRCLI_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SOURCE libsysmgrcli)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://libsysmgrcli.org/")
# Packages install under the configured prefix: configure with
# -DCMAKE_INSTALL_PREFIX=/usr (which also selects lib/<multiarch>) to build them.
# DESTDIR staging keeps that prefix in what is generated at install time.
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_SET_DESTDIR ON)
set(CPACK_COMPONENTS_ALL runtime development tool)
if(SYSMGRCLI_LIBRARY_ONLY)
  set(CPACK_COMPONENTS_ALL runtime development)
endif()
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The tools' modules sit in a private directory; dpkg-shlibdeps must look there.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_INSTALL_FULL_LIBDIR}/sysmgrcli)
set(debian_version "${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE}")

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ${SYSMGRCLI_RUNTIME_PACKAGE})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION "System Manager show commands for the CLI back end
The shared library that the CLI back end loads to serve the redundancy status
and version reports. The platform functions it calls are supplied by the
process that loads it.")
# A shlibs file for the packages that link the library, written here for
# the public library alone: CPack's own would cover every shared object of
# every package, the simulator and the modules in sysmgr-show's private
# directory too, which are no one's to link and carry no versioned soname.
set(shlibs ${PROJECT_BINARY_DIR}/debian/runtime/shlibs)
file(WRITE ${shlibs} "libsysmgrcli ${PROJECT_VERSION_MAJOR} ${SYSMGRCLI_RUNTIME_PACKAGE} (>= ${PROJECT_VERSION})\n")
# The symbols file (made with dpkg-gensymbols, kept in the tree, checked by
# .ci/packages) and an ldconfig trigger. CPack writes postinst and postrm
# scripts that call ldconfig unless control files of those names are listed;
# the listed paths do not exist, so no maintainer script is shipped at all.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${shlibs} ${debian_dir}/runtime/symbols
  ${debian_dir}/runtime/triggers ${debian_dir}/runtime/none/postinst
  ${debian_dir}/runtime/none/postrm)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME ${SYSMGRCLI_DEV_PACKAGE})
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS
  "${CPACK_DEBIAN_RUNTIME_PACKAGE_NAME} (= ${debian_version})")
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION "System Manager show commands - development files
Headers of the library and of the platform interfaces it calls, the
pkg-config file and the CMake package (sysmgrcli::sysmgrcli), with what an
integrator needs to write a host: the binary interface, the inputs of the
redundancy and version reports, and an example host that answers all of them.")

set(CPACK_DEBIAN_TOOL_PACKAGE_NAME ${SYSMGRCLI_TOOL_PACKAGE})
set(CPACK_DEBIAN_TOOL_PACKAGE_SECTION utils)
# sysmgr-show loads the library with dlopen(), which dpkg-shlibdeps cannot see.
set(CPACK_DEBIAN_TOOL_PACKAGE_DEPENDS "${CPACK_DEBIAN_RUNTIME_PACKAGE_NAME} (= ${debian_version})")
set(CPACK_DEBIAN_TOOL_DESCRIPTION "Runs the System Manager show commands on a simulated platform
sysmgr-show loads libsysmgrcli the way the CLI back end does, over a
simulated switch platform driven by JSON scenarios, and prints the reports
as text, XML or JSON. With the XML schemas and example scenarios.")

include(CPack)
