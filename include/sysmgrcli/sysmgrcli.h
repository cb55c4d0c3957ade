/*
 * SPDX-License-Identifier: MIT
 * libsysmgrcli: the System Manager's show commands for the CLI back end, and
 * the printers, sources, name tables and hooks other clients reuse.
 *
 * Rules of this interface:
 *  - Every function has C linkage and runs in the caller's thread; the
 *    library starts no threads and keeps no state between calls, except the
 *    loader cache file (sysmgr_get_loader_ver_information()).
 *  - Results are 0 for success, -1 with errno set, or an error identifier
 *    (see error_id()). The entry point and the report printers return 0, or
 *    nothing, whatever happened: failures are reported only by messages,
 *    most on the standard error stream; the version sources' messages, the
 *    version report's trace and memory failure lines and the dispatcher's
 *    own complaints go to the standard output.
 *  - Threads: sysmgr_cli_generic_show_func(), the version reports and every
 *    other function may run on several threads at once, with one exception:
 *    get_sw_ver_string() and read_file_str() each return one static buffer,
 *    so neither may run on two threads at once, nor while another thread
 *    still reads its text. The reports use their own buffers, never those
 *    two. Reports running at the same moment, in threads or processes, still
 *    share the fixed flash-size listing file (they take turns on it, but one
 *    kept waiting over 5 s goes on and may show a bootflash size of 0) and
 *    the first fill of the loader cache. Banners and hooks must not be
 *    changed while a report runs. Reports on several threads call the
 *    platform's functions from those threads at once, so the platform must
 *    allow that (or the host must serve one command at a time).
 *  - Signals: the host must not ignore SIGCHLD (SIG_IGN or SA_NOCLDWAIT).
 *    system() then fails with ECHILD after its command has run: the first
 *    version report leaves the boot loader partition mounted and the loader
 *    cache empty, and every later report, in any process, shows the loader
 *    store as "unavailable". The host should ignore SIGPIPE; the library's
 *    own writes to the standard streams never raise it in the host either
 *    way. Interrupted reads are retried, with or without SA_RESTART.
 *  - Descriptors: every descriptor the library opens is close-on-exec, and
 *    none of its files takes descriptor 0, 1 or 2, even when the host has
 *    closed them.
 *  - The receive handle (void *rx) belongs to the CLI back end. Every report
 *    prints into it; sysmgr_cli_generic_show_func() delivers it once, with
 *    cmd_prt_send(), at the end of the command.
 *  - System Manager responses are heap blocks owned by whoever asked for them
 *    and released with free().
 *  - Texts returned by the library (error_str(), the enumeration names) are
 *    not owned by the caller and must not be freed or changed.
 *  - get_sw_ver_string() and read_file_str() return static buffers of the
 *    library that the next call overwrites: copy a text to keep it.
 *  - Banners and hooks are plain variables that platform code may overwrite
 *    at any time; the reports read each one at the moment they use it, and
 *    nothing restores a default.
 *  - Files the sources open and programs they run are taken under
 *    $SYSMGRCLI_ROOT when it is set and non-empty, paths passed by callers
 *    included; printed texts do not change. A root that does not begin with
 *    "/" is refused: "SYSMGRCLI_ROOT is not an absolute path" on the
 *    standard error stream, no file is read and no program is run. A
 *    process with more privilege than its caller (set-user-ID and the like)
 *    ignores it (secure_getenv).
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

/* The CLI back end's record for one command and its print argument (platform/cli.h). */
struct cli_context;
struct cmd_prt_arg;

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

/* ---- Version report ------------------------------------------------------ */

/*
 * Prints the whole version report of command 107 into rx (the caller sends
 * it). option is not read; the dispatcher passes 1.
 */
SYSMGRCLI_EXPORT void sysmgr_show_version_internal_generic_pd(const struct cli_context *context,
                                                              void *rx, int32_t option);
/*
 * Calls whatever sysmgrpd_hardware_show_version holds, with these arguments,
 * and returns its result. Nothing in the library calls it.
 */
SYSMGRCLI_EXPORT int sysmgr_show_version_internal2(int32_t q, void *rx);

/* Reset-reason texts by code (0 to 158), and supervisor device error texts (0 to 4). */
SYSMGRCLI_EXPORT extern const char *rr_string[159];
SYSMGRCLI_EXPORT extern const char *sup_device_rr_string[5];

/* ---- Version and image sources ----------------------------------------- */

/*
 * The booted loader's version from the kernel command line, or a fixed text
 * saying how the image was booted. 0 with buf filled (cut to size - 1), or
 * -1. Messages go to the standard output.
 */
SYSMGRCLI_EXPORT int sysmgr_get_loader_ver(char *buf, int32_t size);
/*
 * The loader version kept in the loader store, through the cache file
 * /var/tmp/bootloader_ver (filled on first use). buf when a version was
 * read, else null. A symbolic link, directory or other non-regular file at
 * that path is never followed, read or filled: the result is null.
 */
SYSMGRCLI_EXPORT char *sysmgr_get_loader_ver_information(char *buf, int32_t size);
/*
 * The release version of a software-release file with its build version and
 * the image's build kind; "[not available]" without a release version.
 * Static buffer of 256 bytes: one thread at a time.
 */
SYSMGRCLI_EXPORT char *get_sw_ver_string(const char *release_path, const char *image_path);
/* The number on line n (from 0) of a flash-size listing; 0 when there is none. */
SYSMGRCLI_EXPORT int32_t read_flash_size_file_item(const char *path, int32_t n);
/*
 * The file's first line, its line end kept (static, 128 bytes: one thread at
 * a time); "" when none.
 */
SYSMGRCLI_EXPORT char *read_file_str(const char *path);
/* Prints an image's build time "[mm/dd/yyyy hh:mm:ss]\n", tagged, into rx. */
SYSMGRCLI_EXPORT void get_image_timestamp(const char *path, void *rx, uint32_t tag);
/* Prints a compile stamp (YYMMDDHH) " m/d/yyyy h:00:00", tagged, then " ". */
SYSMGRCLI_EXPORT void disp_time(int32_t stamp, int32_t type, void *rx, uint32_t tag);
/*
 * Splits "...v<version>(<date>)..." into version and date, each cut at 31
 * characters and written without a terminator: pass zero-filled 32-byte
 * buffers. Outputs are untouched when the marks are missing.
 */
SYSMGRCLI_EXPORT void extract_date_and_version(const char *text, char *version, char *date);
/* 1 when the slot0 device is present, else 0. */
SYSMGRCLI_EXPORT int exists_dev_slot0(void);
/* Prints text tagged 0x305c001e, then a line end. */
SYSMGRCLI_EXPORT void print_show_version_string(const char *text, void *rx);
/*
 * Writes the display form of an image path: "/bootflash/name" becomes
 * "bootflash:///name". out needs room for strlen(path) + 3 bytes.
 */
SYSMGRCLI_EXPORT void change_display(char *out, const char *path);

/* ---- Platform hooks ------------------------------------------------------ */

/* The standard and the partner-branded banner of the version report. */
SYSMGRCLI_EXPORT extern const char *header_str;
SYSMGRCLI_EXPORT extern const char *header_str_dorrel;
/* The current value of header_str (never the partner banner). */
SYSMGRCLI_EXPORT const char *sysmgr_cli_get_show_version_header(void);
/* Called right after the loader line; the default prints nothing. */
SYSMGRCLI_EXPORT extern int (*sysmgrpd_firmware_show_version)(int32_t q, void *rx);
/*
 * Called for output to the XML agent only; the default prints the
 * manufacturer tagged 0x305c0039 through arg.
 */
SYSMGRCLI_EXPORT extern int (*sysmgrpd_show_hardware_manufacture_print)(uint32_t value,
                                                                       struct cmd_prt_arg *arg,
                                                                       void *rx);
/* The alternate version report, called by sysmgr_show_version_internal2(). */
SYSMGRCLI_EXPORT extern int (*sysmgrpd_hardware_show_version)(int32_t q, void *rx);

#ifdef __cplusplus
}
#endif

#include "sysmgrcli/sysmgrcli_enums.h"

#endif
