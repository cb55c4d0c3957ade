/*
 * SPDX-License-Identifier: MIT
 * A small CLI host: it supplies the platform itself (example_platform.c),
 * loads libsysmgrcli with dlopen() the way a CLI back end does, and serves
 * one show command, 1 (redundancy status and system uptime) by default, or
 * 107 (the version report).
 *
 *   cc -rdynamic host.c example_platform.c -I<include dir> -ldl -o host
 *   ./host [COMMAND [LIBRARY]]
 *
 * The files and utilities the reports read are taken under $SYSMGRCLI_ROOT;
 * run.sh runs the host over a copy of examples/root/ (see README.md).
 *
 * -rdynamic puts the platform functions in the executable's dynamic symbol
 * table, where the library's undefined references resolve when it is
 * loaded; without it dlopen() fails with "undefined symbol: cmd_prt...".
 * The library is found by the loader's search ("libsysmgrcli.so.1"), or
 * given as a path. Exit status: 0 when the command delivered its output.
 */
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>

#include <platform/cli.h>

#include "example_platform.h"

typedef int32_t (*show_func)(struct cli_context *);

int main(int argc, char **argv) {
    const int32_t command = argc > 1 ? (int32_t)strtol(argv[1], NULL, 0) : 1;
    const char *library = argc > 2 ? argv[2] : "libsysmgrcli.so.1";

    void *handle = dlopen(library, RTLD_NOW);
    if (handle == NULL) {
        fprintf(stderr, "host: %s\n", dlerror());
        return 2;
    }
    /* The ISO C way to turn dlsym()'s object pointer into a function pointer. */
    show_func show;
    *(void **)&show = dlsym(handle, "sysmgr_cli_generic_show_func");
    if (show == NULL) {
        fprintf(stderr, "host: %s\n", dlerror());
        dlclose(handle);
        return 2;
    }

    static struct example_request request;
    example_request_init(&request, command);
    show(&request.context);
    dlclose(handle);
    return request.sent == 1 ? 0 : 1;
}
