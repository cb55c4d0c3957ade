/*
 * SPDX-License-Identifier: MIT
 * Runs only the child processes that one call of command 107 runs
 * (children.h), for comparing the whole command against them:
 *
 *   version_children ROOT
 *
 * ROOT is a file system prepared as the library's root ($SYSMGRCLI_ROOT);
 * the sudo stand-in in ROOT/.sim-bin is put first on PATH. Plain C with the
 * C library only, so that its own start-up adds as little as possible to
 * the children.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "children.h"

int main(int argc, char **argv) {
    if (argc != 2) {
        fputs("usage: version_children ROOT\n", stderr);
        return 2;
    }
    const char *path = getenv("PATH");
    if (path == NULL)
        path = "/usr/bin:/bin";
    const size_t size = strlen(argv[1]) + strlen(path) + sizeof "/.sim-bin:";
    char *search = malloc(size);
    if (search == NULL)
        return 2;
    snprintf(search, size, "%s/.sim-bin:%s", argv[1], path);
    setenv("PATH", search, 1);
    free(search);
    run_mandated_children(argv[1]);
    return 0;
}
