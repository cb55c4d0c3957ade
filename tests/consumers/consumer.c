/*
 * SPDX-License-Identifier: MIT
 * A plain C program built against an installed tree through pkg-config. It
 * links libsysmgrcli, supplies the platform (example_platform.c; linking
 * against the library puts the functions it uses in the dynamic symbol
 * table) and serves command 1 on a context of its own.
 */
#include <stdio.h>
#include <string.h>

#include <platform/cli.h>
#include <sysmgrcli/sysmgrcli.h>

#include "example_platform.h"

int main(void) {
    static struct example_request request;
    example_request_init(&request, 1);
    if (sysmgr_cli_generic_show_func(&request.context) != 0 || request.sent != 1)
        return 1;
    /* An exported lookup and an exported table, through the same link. */
    const char *name = __srv_state_t_find(34);
    if (name == NULL || strcmp(name, "SRV_STATE_MASTER_ACTIVE_ALONE") != 0 ||
        rr_string[0] == NULL) {
        fprintf(stderr, "consumer: unexpected name tables\n");
        return 1;
    }
    return 0;
}
