# SPDX-License-Identifier: MIT
#
# Runs COMMAND (a ;-list) and compares its standard output with GOLDEN;
# UPDATE_GOLDEN=1 in the environment writes GOLDEN instead.
execute_process(COMMAND ${COMMAND} OUTPUT_VARIABLE output RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${COMMAND} exited with ${status}")
endif()
if("$ENV{UPDATE_GOLDEN}" STREQUAL "1")
  file(WRITE ${GOLDEN} "${output}")
  return()
endif()
file(READ ${GOLDEN} expected)
if(NOT output STREQUAL expected)
  file(WRITE ${GOLDEN}.actual "${output}")
  execute_process(COMMAND diff -u ${GOLDEN} ${GOLDEN}.actual)
  file(REMOVE ${GOLDEN}.actual)
  message(FATAL_ERROR "the output differs from ${GOLDEN}")
endif()
