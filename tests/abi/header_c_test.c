/* SPDX-License-Identifier: MIT */
/* The public header, compiled as C, links against the library. */
#include "sysmgrcli/sysmgrcli.h"

#include <stdio.h>
#include <string.h>

int main(void) {
    if (error_id(0) != 0 || error_id(0x1234) != 0x1234) {
        fprintf(stderr, "error_id from C gave the wrong result\n");
        return 1;
    }
    if (__srv_state_t_str2enum("srv_state_master_active_alone") != 34 ||
        __rdn_sup_status_t_find(2) == NULL) {
        fprintf(stderr, "enumeration lookups from C gave the wrong result\n");
        return 1;
    }
    {
        char version[32] = {0}, date[32] = {0};
        extract_date_and_version("BIOS v1.2(03/04/25)", version, date);
        if (strcmp(version, "1.2") != 0 || strcmp(date, "03/04/25") != 0) {
            fprintf(stderr, "a version source from C gave the wrong result\n");
            return 1;
        }
    }
    if (header_str == NULL || sysmgr_cli_get_show_version_header() != header_str ||
        sysmgrpd_firmware_show_version(-1, NULL) != 0) {
        fprintf(stderr, "banners and hooks read from C are not the defaults\n");
        return 1;
    }
    return 0;
}
