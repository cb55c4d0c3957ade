/*
 * libsysmgrcli: the System Manager's show commands for the CLI back end, and
 * the printers, sources, name tables and hooks other clients reuse.
 *
 * Rules of this interface:
 *  - Every function has C linkage and runs in the caller's thread; the
 *    library starts no threads and keeps no state between calls.
 *  - Results are 0 for success, -1 with errno set, or an error identifier
 *    (see error_id()). The entry point and the report printers return 0, or
 *    nothing, whatever happened: failures are reported only by messages on
 *    the standard error stream.
 *  - The receive handle (void *rx) belongs to the CLI back end. Every report
 *    prints into it; sysmgr_cli_generic_show_func() delivers it once, with
 *    cmd_prt_send(), at the end of the command.
 *  - System Manager responses are heap blocks owned by whoever asked for them
 *    and released with free().
 *  - Texts returned by the library (error_str(), the enumeration names) are
 *    not owned by the caller and must not be freed or changed.
 *  - No pointer argument may be null unless its description says so.
 *  - The cli context is read, never written, and never kept after a call.
 */
#ifndef SYSMGRCLI_SYSMGRCLI_H
#define SYSMGRCLI_SYSMGRCLI_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(SYSMGRCLI_BUILDING) && defined(__GNUC__)
#define SYSMGRCLI_EXPORT __attribute__((visibility("default")))
#else
#define SYSMGRCLI_EXPORT
#endif

/* The CLI back end's record for one command (platform/cli.h). */
struct cli_context;

/*
 * The System Manager's answer to the redundancy status request 0x9C3: eight
 * 32-bit words in host byte order.
 */
typedef struct sysmgr_rdn_status_rsp {
    uint32_t status;         /* 0 = success, else a System Manager error code */
    uint32_t internal_state; /* srv_state_t */
    uint32_t rdn_state;      /* rdn_sup_status_t of this supervisor */
    uint32_t peer_rdn_state; /* rdn_sup_status_t of the other one, as seen here */
    uint32_t sup_state;      /* 1 Active, 2 HA standby, 3 Warm standby, 4 Offline */
    uint32_t peer_node;      /* messaging node address of the other supervisor */
    uint32_t admin_mode;     /* 1 = HA, anything else = Warm */
    uint32_t ha_synced;      /* nonzero = HA-synchronised */
} sysmgr_rdn_status_rsp_t;

/* ---- Show-command entry ------------------------------------------------ */

/*
 * Serves one show command: 1 (redundancy status and system uptime) or 107
 * (version). Always returns 0.
 */
SYSMGRCLI_EXPORT int32_t sysmgr_cli_generic_show_func(struct cli_context *context);

/* ---- Error identifiers and messaging handles --------------------------- */

/*
 * The error identifier of a result: -1 becomes 0x801E0000 | (errno & 0xFFF),
 * every other value is returned unchanged.
 */
SYSMGRCLI_EXPORT uint32_t error_id(int32_t rc);
/* strerror(errno) for -1, else the System Manager's text of rc. */
SYSMGRCLI_EXPORT const char *error_str(int32_t rc);
/*
 * Sets *handle to the context's queue, or binds one of the library's own
 * when the context has none. Always returns 0; *handle is -1 on failure.
 */
SYSMGRCLI_EXPORT int32_t get_mts_q_handle(const struct cli_context *context, int32_t *handle);
/* Unbinds what get_mts_q_handle() bound. Always returns 0. */
SYSMGRCLI_EXPORT int32_t release_mts_q_handle(const struct cli_context *context, int32_t *handle);
/* Binds the default-VDC queue: 0, or the error identifier of the failure. */
SYSMGRCLI_EXPORT int32_t get_default_vdc_mts_q_handle(int32_t *handle);
SYSMGRCLI_EXPORT int32_t release_default_vdc_mts_q_handle(int32_t *handle);
/*
 * One CMI request to the System Manager on the command's queue. On 0,
 * *response is a heap block the caller frees.
 */
SYSMGRCLI_EXPORT int32_t cmi_wrapper(uint32_t opcode, int32_t arg2, int32_t arg3, void **response,
                                     uint32_t *length, const struct cli_context *context,
                                     int32_t arg7);

/* ---- Redundancy state names -------------------------------------------- */

/*
 * Each printer prints one tagged text value into rx and returns the result
 * of its cmd_prt() call. The HA-synchronised flags are read for state 31.
 */
SYSMGRCLI_EXPORT int print_sysmgr_internal_state_t(uint32_t state, void *rx, uint32_t tag,
                                                   int32_t local_ha_synced,
                                                   int32_t peer_ha_synced);
SYSMGRCLI_EXPORT int print_sysmgr_supstate_t(uint32_t state, void *rx, uint32_t tag);
SYSMGRCLI_EXPORT int print_rdn_sup_status_t(uint32_t status, void *rx, uint32_t tag);
/* The pair's operational mode: 0 HA, 1 Warm, 2 None (sysmgr_redundancy_mode_t). */
SYSMGRCLI_EXPORT int32_t get_operational_red_mode(uint32_t local_state, uint32_t peer_state,
                                                  int32_t local_ha_synced,
                                                  int32_t peer_ha_synced);

/* ---- Redundancy status report ------------------------------------------ */

/*
 * Prints the redundancy block. peer may be null; peer_queried is nonzero
 * when the other supervisor was asked, whether or not it answered.
 */
SYSMGRCLI_EXPORT int print_show_redundancy_status_pd(const sysmgr_rdn_status_rsp_t *local,
                                                     const sysmgr_rdn_status_rsp_t *peer,
                                                     int32_t peer_queried, void *rx);
/*
 * 1 when this is a single-supervisor card, 0 when it is not or when the card
 * cannot be asked. record: caller storage for a card module record.
 */
SYSMGRCLI_EXPORT int32_t libsysmgrcli_pd_is_card_single_sup(void *record);
/* Prints "Redundancy state: " and the active supervisor's state, tagged. */
SYSMGRCLI_EXPORT int32_t sysmgr_show_redundancy_active_state(void *rx,
                                                             const struct cli_context *context,
                                                             uint32_t tag);

#ifdef __cplusplus
}
#endif

#include "sysmgrcli/sysmgrcli_enums.h"

#endif
