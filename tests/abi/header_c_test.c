/* The public header, compiled as C, links against the library. */
#include "sysmgrcli/sysmgrcli.h"

#include <stdio.h>

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
    return 0;
}
