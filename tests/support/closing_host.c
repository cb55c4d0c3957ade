/*
 * SPDX-License-Identifier: MIT
 * The example host as a daemon might run it: after loading the library it
 * closes every descriptor above the standard ones and opens a file of its
 * own, which takes the lowest number.
 *
 *   closing_host FILE COMMAND LIBRARY
 */
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#define main example_main
#include "../../examples/host.c"
#undef main

int main(int argc, char **argv) {
    if (argc < 4)
        return 2;
    void *handle = dlopen(argv[3], RTLD_NOW);
    if (handle == NULL)
        return 2;
    for (int fd = 3; fd < 1024; ++fd)
        close(fd);
    const int own = open(argv[1], O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    const int status = own < 0 ? 2 : example_main(argc - 1, argv + 1);
    if (own >= 0)
        close(own);
    dlclose(handle);
    return status;
}
