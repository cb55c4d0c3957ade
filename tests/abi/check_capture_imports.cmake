# SPDX-License-Identifier: MIT
cmake_minimum_required(VERSION 3.25)
# Fails when the library imports a C library function that opens or examines
# a path, starts a utility or writes output, and the capture module
# (MODULE_SOURCE, its LIBC(name, ...) table) does not wrap it: a capture would
# silently miss the file, the utility or a line the library wrote. Reading
# functions (getc, fread, read...) are not listed: the module records a
# file's data when its path is opened and a utility's output when it is
# started, whatever then reads them.
if(NOT NM)
  set(NM nm)
endif()
set(known
  open open64 __open_2 __open64_2 openat openat64 __openat_2 __openat64_2 creat creat64
  fopen fopen64 freopen freopen64 opendir scandir scandir64 scandirat ftw ftw64 nftw nftw64
  stat stat64 __stat64_time64 lstat lstat64 __lstat64_time64 fstatat fstatat64
  __fstatat64_time64 statx __xstat __xstat64 __lxstat __lxstat64 __fxstatat __fxstatat64
  access faccessat euidaccess eaccess readlink readlinkat __readlink_chk __readlinkat_chk
  realpath __realpath_chk canonicalize_file_name
  popen pclose system execl execle execlp execv execve execvp execvpe fexecve
  posix_spawn posix_spawnp
  write writev pwrite pwrite64 printf fprintf dprintf vprintf vfprintf vdprintf __printf_chk
  __fprintf_chk __dprintf_chk __vprintf_chk __vfprintf_chk __vdprintf_chk puts fputs putc fputc
  putchar fwrite putc_unlocked fputc_unlocked putchar_unlocked fputs_unlocked fwrite_unlocked
  perror psignal psiginfo err errx warn warnx verr verrx vwarn vwarnx error error_at_line)
execute_process(COMMAND ${NM} -D --undefined-only ${LIBRARY} OUTPUT_VARIABLE undefined
  RESULT_VARIABLE rc)
file(READ ${MODULE_SOURCE} source)
string(REGEX MATCHALL "LIBC\\([A-Za-z0-9_]+," wrapped "${source}")
list(TRANSFORM wrapped REPLACE "LIBC\\(([A-Za-z0-9_]+)," "\\1")
list(LENGTH wrapped count)
if(NOT rc EQUAL 0 OR count LESS 10)
  message(FATAL_ERROR "cannot read the imports of ${LIBRARY} or the table of ${MODULE_SOURCE}")
endif()
string(REGEX MATCHALL "U [A-Za-z0-9_]+" imports "${undefined}")
set(missing "")
foreach(import IN LISTS imports)
  string(SUBSTRING "${import}" 2 -1 name)
  if(name IN_LIST known AND NOT name IN_LIST wrapped)
    list(APPEND missing ${name})
  endif()
endforeach()
if(missing)
  message(FATAL_ERROR "the library imports ${missing}, which the capture module does not wrap")
endif()
message(STATUS "the capture module wraps every path, utility and output function the library imports")
