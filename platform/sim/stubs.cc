// Temporary stubs so the tree links; replaced piece by piece.
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"
#include "sysmgrsim/sim.h"
#include "sysmgrsim/sim.hpp"

extern "C" {
void *cmd_paraminfo_to_rxhandle(const cli_context_t *) { return nullptr; }
int32_t cmd_req_cmdId_getnext(void *) { return 1; }
int cmd_req_is_xmlagent(void *) { return 0; }
int cmd_prt_arg_make(cmd_prt_arg_t *arg, uint32_t tag, const void *value, uint32_t len)
{
    arg->tag = tag;
    arg->len = len;
    arg->value = value;
    return 0;
}
int cmd_prt(void *, const char *, ...) { return 0; }
int cmd_dprt(void *, const char *, ...) { return 0; }
cmd_prt_arg_t *cmd_tuple(uint32_t, const uint32_t *) { return nullptr; }
int cmd_prt_send(void *) { return 0; }

int32_t mts_bind(int32_t, int32_t, int32_t, const char *) { return -1; }
int mts_unbind(int32_t, int32_t) { return 0; }
int mts_send(int32_t, const uint32_t[2], uint32_t, int32_t, int32_t, void *, int32_t, int32_t)
{
    return -1;
}
uint32_t mts_rr_token_get(void *) { return 0; }
int mts_drop(int32_t, void *) { return 0; }
int mts_recv(int32_t, void *, int32_t[MTS_RECV_OPTS_WORDS]) { return -1; }
void *mts_payload_get(void *) { return nullptr; }
int mts_errno_get(int32_t) { return 0; }
int32_t cmi_req_resp(uint32_t, int32_t, int32_t, void **, uint32_t *, const char *, const char *,
                     int32_t, int32_t, int32_t)
{
    return -1;
}
int32_t cmi_remote_req_resp(uint32_t, int32_t, int32_t, void **, uint32_t *, const char *,
                            const char *, int32_t, uint32_t, int32_t, int32_t)
{
    return -1;
}
const char *syserr2str(int32_t) { return "unknown error"; }
uint64_t timer_get_cycles(void) { return 0; }
uint64_t timer_diff_cycle_in_msec(uint64_t, uint64_t) { return 0; }

int pfm_is_dorrel_switch(int32_t) { return 0; }
int pdb_is_bellwick_chassis(void) { return 0; }
int card_get_slot_num(uint8_t *slot)
{
    *slot = 1;
    return 0;
}
int get_module_bios_version_ext(uint8_t, void *, int32_t *) { return -1; }
int32_t srg_timestamp_file_get(const char *) { return 0; }
const char *srg_sw_ver_file_get(const char *) { return nullptr; }
const char *srg_sw_interim_ver_file_get(const char *) { return nullptr; }
int get_card_module_info(void *) { return -1; }
int get_platform_info(void *) { return -1; }
int pfm_get_processor_name(char *buf)
{
    buf[0] = '\0';
    return 0;
}
const char *pdb_get_chassis_id_string(void) { return nullptr; }
const char *pfm_get_dorrel_value(const char *) { return nullptr; }
const char *pdb_get_mod_id_string2(uint8_t, int32_t) { return nullptr; }
int pfm_get_sup_serial_num(int32_t, char *) { return -1; }
int urifs_server_validate(const char *, const char *, uint32_t *, uint32_t *) { return -1; }
int urifs_scheme_validate(const char *, void *) { return -1; }
int fileutil_fs_stat_get(const char *, void *) { return -1; }
int get_running_plugins(void *, int32_t *count)
{
    *count = 0;
    return 0;
}
int cmpproxy_print_cmp_version(int32_t, void *) { return 0; }
int cmpproxy_print_cmp_hardware(int32_t, void *) { return 0; }
int pfm_last_rr(void *) { return -1; }
void *img_open(const char *, int32_t *) { return nullptr; }
uint32_t img_timestamp(void *) { return 0; }
int img_close(void *) { return 0; }

int sim_load_scenario(const char *, const char *, char *err, size_t errlen)
{
    if (errlen > 0)
        err[0] = '\0';
    return 0;
}
int sim_load_scenario_file(const char *, char *err, size_t errlen)
{
    if (errlen > 0)
        err[0] = '\0';
    return 0;
}
void sim_reset(void) {}
const char *sim_default_scenario(void) { return "{}"; }
void sim_fill_context(cli_context_t *context)
{
    std::memset(context, 0, sizeof *context);
    context->mts_q = -1;
}
int sim_write_files(const char *, char *, size_t) { return 0; }
void sim_clear_records(void) {}
void sim_set_format(enum sim_format) {}
const char *sim_output(void) { return ""; }
int sim_send_count(void) { return 0; }
int sim_queues_bound(void) { return 0; }
int sim_bind_calls(void) { return 0; }
int sim_unbind_calls(void) { return 0; }
int sim_messages_outstanding(void) { return 0; }
}

namespace sysmgrsim {
const std::vector<Print> &prints()
{
    static const std::vector<Print> none;
    return none;
}
const std::vector<Call> &calls()
{
    static const std::vector<Call> none;
    return none;
}
std::vector<Call> calls_named(const std::string &) { return {}; }
} // namespace sysmgrsim
