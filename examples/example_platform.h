/*
 * SPDX-License-Identifier: MIT
 * A minimal platform for libsysmgrcli: a CLI back end that renders into a
 * buffer and writes it to the standard output when the command is sent; a
 * System Manager that answers the redundancy and uptime requests of command 1
 * with fixed values (this supervisor active, no standby) and the host-name
 * request of command 107; and platform services that answer every source of
 * the version report as a healthy supervisor would. Together with the files
 * and utilities of examples/root/ it gives a complete version report; the
 * Command 107 inputs document says what each call means.
 */
#ifndef EXAMPLE_PLATFORM_H
#define EXAMPLE_PLATFORM_H

#include <stddef.h>
#include <stdint.h>

#include <platform/cli.h>

#ifdef __cplusplus
extern "C" {
#endif

/*
 * The back end's record of one command. The library is given a pointer to
 * its first member and reads only that; the back end finds the rest from it.
 */
struct example_request {
    cli_context_t context;
    int32_t command; /* what cmd_req_cmdId_getnext() answers */
    int sent;        /* number of cmd_prt_send() calls */
    size_t used;     /* bytes of output collected */
    char output[16384];
};

/* A request for command, as the back end of a supervisor makes it. */
void example_request_init(struct example_request *request, int32_t command);

#ifdef __cplusplus
}
#endif

#endif
