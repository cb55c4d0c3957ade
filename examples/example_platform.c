/*
 * SPDX-License-Identifier: MIT
 * A minimal platform for libsysmgrcli (see example_platform.h).
 *
 * These definitions must be in the global scope of the process before the
 * library is loaded: link them into the executable with -rdynamic (or link
 * the executable against the library, which exports the ones it uses), or
 * put them in a library loaded with RTLD_GLOBAL first.
 */
#define _POSIX_C_SOURCE 200809L /* localtime_r */

#include "example_platform.h"

#include <errno.h>
#include <inttypes.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <platform/platform.h>
#include <sysmgrcli/sysmgrcli.h>

/* ---- CLI back end ------------------------------------------------------ */

void example_request_init(struct example_request *request, int32_t command) {
    memset(request, 0, sizeof *request);
    request->context.on_sup = 1; /* the back end runs on the supervisor... */
    request->context.mts_q = 42; /* ...and has bound its own queue */
    request->command = command;
}

void *cmd_paraminfo_to_rxhandle(const cli_context_t *context) {
    return (void *)context; /* the request starts with its context */
}

int32_t cmd_req_cmdId_getnext(void *rx) {
    return ((struct example_request *)rx)->command;
}

int cmd_req_is_xmlagent(void *rx) {
    (void)rx;
    return 0;
}

int cmd_prt_arg_make(cmd_prt_arg_t *arg, uint32_t tag, const void *value, uint32_t len) {
    arg->tag = tag;
    arg->len = len;
    arg->value = value;
    return 0;
}

/* Appends up to n bytes of text to the output; what does not fit is dropped. */
static void append(struct example_request *request, const char *text, size_t n) {
    size_t room = sizeof request->output - 1 - request->used;
    if (n > room)
        n = room;
    memcpy(request->output + request->used, text, n);
    request->used += n;
    request->output[request->used] = '\0';
}

/* The plain text of a tagged value; the tag's top byte says what it holds. */
static void render(const cmd_prt_arg_t *arg, char *buf, size_t size) {
    int32_t i32;
    uint64_t u64;
    uint32_t seconds;
    time_t t;
    struct tm tm;
    switch (CMD_TAG_KIND(arg->tag)) {
    case CMD_KIND_INT32:
        memcpy(&i32, arg->value, sizeof i32);
        snprintf(buf, size, "%" PRId32, i32);
        break;
    case CMD_KIND_INT64:
        memcpy(&u64, arg->value, sizeof u64);
        snprintf(buf, size, "%" PRIu64, u64);
        break;
    case CMD_KIND_TIME:
        memcpy(&seconds, arg->value, sizeof seconds);
        t = (time_t)seconds;
        if (localtime_r(&t, &tm) == NULL || strftime(buf, size, "%c", &tm) == 0)
            snprintf(buf, size, "%" PRIu32, seconds);
        break;
    default: /* text: at most len bytes, up to the first NUL */
        snprintf(buf, size, "%.*s", (int)(arg->len < size ? arg->len : size - 1),
                 (const char *)arg->value);
        break;
    }
}

/* Literal text, in which "%%" is "%" and one "%s" or "%10s" prints arg. */
int cmd_prt(void *rx, const char *fmt, ...) {
    struct example_request *request = rx;
    va_list ap;
    va_start(ap, fmt);
    for (const char *c = fmt; *c != '\0'; ++c) {
        if (c[0] == '%' && c[1] == '%') {
            append(request, "%", 1);
            ++c;
        } else if (c[0] == '%') {
            char *end;
            unsigned long width = strtoul(c + 1, &end, 10);
            if (*end != 's') { /* not a value conversion: printed as it stands */
                append(request, c, 1);
                continue;
            }
            char value[512];
            char padded[600];
            render(va_arg(ap, const cmd_prt_arg_t *), value, sizeof value);
            snprintf(padded, sizeof padded, "%*s", (int)(width < 80 ? width : 80), value);
            append(request, padded, strlen(padded));
            c = end;
        } else {
            append(request, c, 1);
        }
    }
    va_end(ap);
    return 0;
}

int cmd_dprt(void *rx, const char *fmt, ...) {
    char text[1024];
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(text, sizeof text, fmt, ap);
    va_end(ap);
    if (n > 0)
        append(rx, text, strlen(text));
    return 0;
}

cmd_prt_arg_t *cmd_tuple(uint32_t tag, const uint32_t *value) {
    static cmd_prt_arg_t arg; /* printed at once by the caller */
    cmd_prt_arg_make(&arg, tag, value, sizeof *value);
    return &arg;
}

int cmd_prt_send(void *rx) {
    struct example_request *request = rx;
    request->sent++;
    fwrite(request->output, 1, request->used, stdout);
    fflush(stdout);
    return 0;
}

/* ---- Message transport and System Manager ------------------------------ */

/* The request last sent, whose answer the next receive delivers. */
static uint32_t pending_opcode;

int32_t mts_bind(int32_t kind, int32_t sap, int32_t flags, const char *client) {
    (void)kind, (void)sap, (void)flags, (void)client;
    return 7;
}

int mts_unbind(int32_t q, int32_t flags) {
    (void)q, (void)flags;
    return 0;
}

int mts_send(int32_t q, const uint32_t dest[2], uint32_t opcode, int32_t arg4_always_0,
             int32_t arg5_always_0, void *msg, int32_t arg7_always_0, int32_t arg8_always_0) {
    (void)q, (void)dest, (void)arg4_always_0, (void)arg5_always_0, (void)msg;
    (void)arg7_always_0, (void)arg8_always_0;
    pending_opcode = opcode;
    return 0;
}

uint32_t mts_rr_token_get(void *msg) {
    (void)msg;
    return 1;
}

int mts_drop(int32_t q, void *msg) {
    (void)q, (void)msg;
    return 0;
}

int mts_recv(int32_t q, void *msg, int32_t opts[MTS_RECV_OPTS_WORDS]) {
    (void)q, (void)msg, (void)opts;
    return 0;
}

void *mts_payload_get(void *msg) {
    /* Up since Fri Dec  5 07:14:09 2025 (UTC); the active uptime counts from cycle 0. */
    static sysmgr_scope_done_rsp_t scope_done = {.scope_done = 1, .start_time = 1764918849};
    static sysmgr_prior_uptime_rsp_t prior_uptime = {.prior_uptime = 0};
    (void)msg;
    switch (pending_opcode) {
    case SYSMGR_OPC_SCOPE_DONE:
        return &scope_done;
    case SYSMGR_OPC_PRIOR_UPTIME:
        return &prior_uptime;
    default:
        return NULL;
    }
}

int mts_errno_get(int32_t q) {
    (void)q;
    return ENOSYS;
}

/* A heap copy of size bytes for a response, which the caller frees. */
static int32_t respond(const void *answer, uint32_t size, void **resp, uint32_t *len) {
    void *block = malloc(size);
    if (block == NULL)
        return -1;
    memcpy(block, answer, size);
    *resp = block;
    *len = size;
    return 0;
}

int32_t cmi_req_resp(uint32_t opcode, int32_t arg2_always_1, int32_t arg3_always_0, void **resp,
                     uint32_t *len, const char *text1, const char *text2, int32_t service,
                     int32_t q, int32_t arg10_always_5) {
    (void)arg2_always_1, (void)arg3_always_0, (void)text1, (void)text2, (void)q;
    (void)arg10_always_5;
    /* The host name: its text with the terminator, from the host-name service. */
    static const char hostname[] = "switch";
    if (opcode == SYSMGR_OPC_HOSTNAME && service == 37)
        return respond(hostname, sizeof hostname, resp, len);
    if (opcode != SYSMGR_OPC_REDUNDANCY_STATUS || service != SYSMGR_CMI_SERVICE) {
        errno = ENOSYS;
        return -1;
    }
    /* Active, alone (srv_state_t 34): the other supervisor is not asked. */
    const sysmgr_rdn_status_rsp_t answer = {
        .internal_state = 34, .rdn_state = 2, .sup_state = 1, .admin_mode = 1};
    return respond(&answer, sizeof answer, resp, len);
}

int32_t cmi_remote_req_resp(uint32_t opcode, int32_t arg2_always_1, int32_t arg3_always_0,
                            void **resp, uint32_t *len, const char *text1, const char *text2,
                            int32_t service, uint32_t node, int32_t q, int32_t arg11_always_5) {
    (void)opcode, (void)arg2_always_1, (void)arg3_always_0, (void)resp, (void)len;
    (void)text1, (void)text2, (void)service, (void)node, (void)q, (void)arg11_always_5;
    errno = EHOSTUNREACH;
    return -1;
}

const char *syserr2str(int32_t err) {
    (void)err;
    return "unknown error";
}

/* 1000 cycles a millisecond; the counter stands at 1 day 1:01:01. */
uint64_t timer_get_cycles(void) {
    return UINT64_C(90061000000);
}

uint64_t timer_diff_cycle_in_msec(uint64_t later, uint64_t earlier) {
    return (later - earlier) / 1000u;
}

/* ---- Platform services: a healthy supervisor, for the version report --- */

/* The release version, interim version and compile stamp of a release file. */
struct release {
    const char *path;
    const char *version;
    const char *interim;
    int32_t stamp; /* YYMMDDHH */
};

static const struct release releases[] = {
    {"/etc/srg-ks.sro", "4.2(1)", "4.2(1.118)", 25110316},
    {"/vorn/etc/srg.sro", "4.2(1)", "4.2(1.118)", 25110316},
    {"/mnt/bootloader/srg-sloader.sro", "3.6(0)", "3.6(0)", 0},
};

static const struct release *release_of(const char *path) {
    for (size_t i = 0; i < sizeof releases / sizeof releases[0]; ++i)
        if (strcmp(releases[i].path, path) == 0)
            return &releases[i];
    return NULL;
}

/* An image header: the build time (seconds since 1970) of each header file. */
struct image {
    const char *path;
    uint32_t built;
};

static const struct image images[] = {
    {"/var/run/curr-ks.hdr", 1762185600u},
    {"/var/run/curr-vorn.hdr", 1762186500u},
};

int pfm_is_dorrel_switch(int32_t q) {
    (void)q;
    return 0;
}

int pdb_is_bellwick_chassis(void) {
    return 0;
}

int card_get_slot_num(uint8_t *slot) {
    *slot = 1;
    return 0;
}

/* The same BIOS in flash and running: "v<version>(<build date>)". */
int get_module_bios_version_ext(uint8_t slot, void *record, int32_t *len) {
    static const char bios[] = "BIOS v3.6.0(05/09/2025)";
    (void)slot;
    if (*len < BIOS_RECORD_SIZE)
        return -1;
    memcpy((char *)record + BIOS_RECORD_FLASH_TEXT, bios, sizeof bios);
    memcpy((char *)record + BIOS_RECORD_RUNNING_TEXT, bios, sizeof bios);
    return 0;
}

int32_t srg_timestamp_file_get(const char *path) {
    const struct release *r = release_of(path);
    return r != NULL ? r->stamp : 0;
}

const char *srg_sw_ver_file_get(const char *path) {
    const struct release *r = release_of(path);
    return r != NULL ? r->version : NULL;
}

const char *srg_sw_interim_ver_file_get(const char *path) {
    const struct release *r = release_of(path);
    return r != NULL ? r->interim : NULL;
}

/* Command 1 only; the card's kind is not known here. */
int get_card_module_info(void *record) {
    (void)record;
    return -1;
}

/* Two supervisors, sup-1 (this one) and sup-2. */
int get_platform_info(void *record) {
    const platform_slot_info_t slots = {.this_sup = 1, .other_sup = 2};
    memcpy(record, &slots, sizeof slots);
    return 0;
}

int pfm_get_processor_name(char *buf) {
    snprintf(buf, 128, "%s", "Dual-core 64-bit processor");
    return 0;
}

const char *pdb_get_chassis_id_string(void) {
    return "10-slot chassis";
}

const char *pfm_get_dorrel_value(const char *text) {
    (void)text;
    return "TESK 10-slot chassis";
}

const char *pdb_get_mod_id_string2(uint8_t slot, int32_t q) {
    (void)slot, (void)q;
    return "Supervisor Module-3";
}

int pfm_get_sup_serial_num(int32_t q, char *buf) {
    (void)q;
    snprintf(buf, 64, "%s", "SUP0032178");
    return 0;
}

/* slot0 is served by this supervisor ("sup-local"). */
int urifs_server_validate(const char *scheme, const char *server, uint32_t *unread_out1,
                          uint32_t *unread_out2) {
    *unread_out1 = 0;
    *unread_out2 = 0;
    return strcmp(scheme, "slot0") == 0 && strcmp(server, "sup-local") == 0 ? 0 : -1;
}

int urifs_scheme_validate(const char *scheme, void *out) {
    (void)out;
    return strcmp(scheme, "bootflash") == 0 || strcmp(scheme, "slot0") == 0 ? 0 : -1;
}

/* slot0: 3932160 blocks of 512 bytes. */
int fileutil_fs_stat_get(const char *path, void *record) {
    fs_stat_record_t fs = {{0}};
    if (strcmp(path, "/slot0") != 0)
        return -1;
    fs.word[FS_STAT_BLOCK_SIZE_WORD] = 512;
    fs.word[FS_STAT_BLOCK_COUNT_WORD] = 3932160;
    memcpy(record, &fs, sizeof fs);
    return 0;
}

int get_running_plugins(void *table, int32_t *count) {
    static const char *const names[] = {"Core Plugin", "Ethernet Plugin"};
    plugin_record_t *rows = table;
    *count = 0;
    for (size_t i = 0; i < sizeof names / sizeof names[0]; ++i)
        snprintf(rows[(*count)++].name, sizeof rows[0].name, "%s", names[i]);
    return 0;
}

/* This switch has no connectivity-management processor: nothing to print. */
int cmpproxy_print_cmp_version(int32_t q, void *rx) {
    (void)q, (void)rx;
    return 0;
}

int cmpproxy_print_cmp_hardware(int32_t q, void *rx) {
    (void)q, (void)rx;
    return 0;
}

/* One reset recorded, by the reload command, in ring entry 0. */
int pfm_last_rr(void *record) {
    last_rr_record_t *rr = record;
    memset(rr, 0, sizeof *rr);
    rr->reason[0] = 9;
    snprintf(rr->sys_version[0], sizeof rr->sys_version[0], "%s", "4.2(1)");
    rr->reset_time[0] = 1764918669u; /* Fri Dec  5 07:11:09 2025 UTC */
    rr->reset_usecs[0] = 517326u;
    rr->next_index = 1;
    return 0;
}

/* The handle is the header's entry; a path not listed is missing (ENOENT). */
void *img_open(const char *path, int32_t *error) {
    for (size_t i = 0; i < sizeof images / sizeof images[0]; ++i) {
        if (strcmp(images[i].path, path) == 0) {
            *error = 0;
            return (void *)&images[i];
        }
    }
    *error = (int32_t)(0x801E0000u | ENOENT);
    return NULL;
}

uint32_t img_timestamp(void *image) {
    return ((const struct image *)image)->built;
}

int img_close(void *image) {
    (void)image;
    return 0;
}
