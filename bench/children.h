/*
 * SPDX-License-Identifier: MIT
 * The child processes that one call of command 107 runs, with the same
 * command lines, and nothing else: the image header tool through a pipe for
 * the kickstart and the system image, the flash-size listing into a file and
 * its removal through the shell, and, when the loader version cache under
 * root is missing, the mount and unmount of the loader store through sudo
 * (the cache is then written, as the library does, so the mount happens on
 * the first call only). root is a file system prepared as the library's
 * root; the sudo stand-in must come first on PATH. Exits the program when a
 * command does not fit in its buffer.
 */
#ifndef SYSMGRCLI_BENCH_CHILDREN_H
#define SYSMGRCLI_BENCH_CHILDREN_H

#ifdef __cplusplus
extern "C" {
#endif

void run_mandated_children(const char *root);

#ifdef __cplusplus
}
#endif

#endif
