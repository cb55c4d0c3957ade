# Installation and the Debian packages.
#
# Components, one Debian package each:
#   runtime      libsysmgrcli1     the shared library (what a switch image needs)
#   development  libsysmgrcli-dev  headers, the .so link, sysmgrcli.pc, the CMake package
#   tool         sysmgr-show       sysmgr-show, its private simulator library,
#                                  the XML schemas, example scenarios, man page
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
  COMPONENT tool FILES_MATCHING PATTERN "*.xsd")
install(DIRECTORY ${PROJECT_SOURCE_DIR}/scenarios/ DESTINATION ${SYSMGRCLI_DATA_DIR}/scenarios
  COMPONENT tool FILES_MATCHING PATTERN "*.json")
install(FILES ${PROJECT_SOURCE_DIR}/docs/sysmgr-show.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
  COMPONENT tool)
endif()

# cpack -G DEB in the build directory writes the three packages.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME sysmgrcli)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "System Manager CLI maintainers <sysmgrcli@localhost>")
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
# The simulator sits in a private directory; dpkg-shlibdeps must look there.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_INSTALL_FULL_LIBDIR}/sysmgrcli)
set(debian_version "${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE}")

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libsysmgrcli${PROJECT_VERSION_MAJOR})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION "System Manager show commands for the CLI back end
The shared library that the CLI back end loads to serve the redundancy status
and version reports. The platform functions it calls are supplied by the
process that loads it.")
# A shlibs file for the packages that link the library.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libsysmgrcli-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS
  "${CPACK_DEBIAN_RUNTIME_PACKAGE_NAME} (= ${debian_version})")
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION "System Manager show commands - development files
Headers of the library and of the platform interfaces it calls, the
pkg-config file and the CMake package (sysmgrcli::sysmgrcli).")

set(CPACK_DEBIAN_TOOL_PACKAGE_NAME sysmgr-show)
set(CPACK_DEBIAN_TOOL_PACKAGE_SECTION utils)
# sysmgr-show loads the library with dlopen(), which dpkg-shlibdeps cannot see.
set(CPACK_DEBIAN_TOOL_PACKAGE_DEPENDS "${CPACK_DEBIAN_RUNTIME_PACKAGE_NAME} (= ${debian_version})")
set(CPACK_DEBIAN_TOOL_DESCRIPTION "Runs the System Manager show commands on a simulated platform
sysmgr-show loads libsysmgrcli the way the CLI back end does, over a
simulated switch platform driven by JSON scenarios, and prints the reports
as text, XML or JSON. With the XML schemas and example scenarios.")

include(CPack)
