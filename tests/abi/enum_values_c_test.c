/*
 * SPDX-License-Identifier: MIT
 * The generated C header of the enumerations compiles as C under -pedantic,
 * and its constants are the values the library's lookups give and take.
 */
#include "sysmgrcli/sysmgrcli_enum_values.h"
#include "sysmgrcli/sysmgrcli_enums.h"

#include <stdio.h>
#include <string.h>

int main(void) {
    static const struct {
        int constant;
        const char *(*find)(int32_t);
        const char *name;
    } checks[] = {
        {SRV_STATE_MASTER_ACTIVE_HOTSTDBY, __srv_state_t_find, "SRV_STATE_MASTER_ACTIVE_HOTSTDBY"},
        {SYSMGR_REDUN_MODE_NONE, __sysmgr_redundancy_mode_t_find, "SYSMGR_REDUN_MODE_NONE"},
        {RDN_ST_AC_NOSC, __rdn_sup_status_t_find, "RDN_ST_AC_NOSC"},
        {SYSMGR_CARDSTATE_UNKNOWN, __sysmgr_cardstate_t_find, "SYSMGR_CARDSTATE_UNKNOWN"},
    };
    size_t i;
    for (i = 0; i < sizeof checks / sizeof checks[0]; ++i) {
        const char *name = checks[i].find(checks[i].constant);
        if (name == NULL || strcmp(name, checks[i].name) != 0) {
            fprintf(stderr, "%s = %d, but the library names that value %s\n", checks[i].name,
                    checks[i].constant, name != NULL ? name : "(none)");
            return 1;
        }
    }
    return 0;
}
