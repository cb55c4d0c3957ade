# SPDX-License-Identifier: MIT
#
# Debian's build flags for release and package builds: what dpkg-buildflags
# gives with every hardening feature on (stack protector, _FORTIFY_SOURCE,
# format checks, relro and bindnow), added to the compile and link flags of
# every target. dpkg-buildflags reads DEB_HOST_ARCH and the DEB_*FLAGS_APPEND
# variables from the environment, so a cross build gets the target's flags.
option(SYSMGRCLI_DPKG_BUILDFLAGS "Add Debian's hardening build flags (dpkg-buildflags)" OFF)
if(SYSMGRCLI_DPKG_BUILDFLAGS)
  find_program(DPKG_BUILDFLAGS dpkg-buildflags REQUIRED)
  foreach(pair CFLAGS:CMAKE_C_FLAGS CXXFLAGS:CMAKE_CXX_FLAGS CPPFLAGS:CMAKE_C_FLAGS
               CPPFLAGS:CMAKE_CXX_FLAGS LDFLAGS:CMAKE_EXE_LINKER_FLAGS
               LDFLAGS:CMAKE_SHARED_LINKER_FLAGS LDFLAGS:CMAKE_MODULE_LINKER_FLAGS)
    string(REPLACE ":" ";" pair "${pair}")
    list(GET pair 0 name)
    list(GET pair 1 variable)
    # From the source directory, so that -ffile-prefix-map maps it to ".".
    execute_process(COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                            ${DPKG_BUILDFLAGS} --get ${name}
      WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} OUTPUT_VARIABLE flags
      OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
    string(APPEND ${variable} " ${flags}")
  endforeach()
endif()
