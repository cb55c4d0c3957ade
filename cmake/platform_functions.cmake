# SPDX-License-Identifier: MIT
# platform_functions(OUT DIR): the names of the functions the platform headers
# in DIR declare, "<type> [*]name(" at the start of a line. The simulator's
# export list and the library's export check both read them from here.
function(platform_functions out dir)
  file(GLOB headers ${dir}/*.h)
  set(names "")
  foreach(header IN LISTS headers)
    file(READ ${header} text)
    string(REGEX MATCHALL "\n[a-z_][a-z0-9_ ]*[ *]+([a-z_][A-Za-z0-9_]*)\\(" decls "${text}")
    foreach(decl IN LISTS decls)
      string(REGEX REPLACE ".*[ *]([a-z_][A-Za-z0-9_]*)\\($" "\\1" name "${decl}")
      list(APPEND names ${name})
    endforeach()
  endforeach()
  list(LENGTH names count)
  if(count LESS 40)
    message(FATAL_ERROR "found only ${count} platform declarations in ${dir}")
  endif()
  if(CMAKE_SCRIPT_MODE_FILE STREQUAL "")
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${headers})
  endif()
  set(${out} ${names} PARENT_SCOPE)
endfunction()
