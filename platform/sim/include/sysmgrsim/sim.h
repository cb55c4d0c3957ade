/*
 * SPDX-License-Identifier: MIT
 * Control interface of the simulated switch platform (libsysmgrsim.a).
 *
 * Every platform function the library calls (platform/platform.h) answers
 * from a scenario, a JSON document; the embedded default is a healthy switch
 * with an active and an HA standby supervisor. Prints and calls are recorded
 * (sysmgrsim/sim.hpp). Each thread has its own scenario, recordings and
 * queues, serving one command at a time; the files under a root, the sudo
 * stand-in and the run log are the process's.
 */
#ifndef SYSMGRSIM_SIM_H
#define SYSMGRSIM_SIM_H

#include <stddef.h>
#include <stdint.h>

#include "platform/cli.h"

#ifdef __cplusplus
extern "C" {
#endif

/*
 * Replaces the scenario with the JSON text, named origin (or null) in
 * messages. On failure returns -1, keeps the scenario and writes
 * "<origin>: <problem>" into err. Clears the recordings either way.
 */
int sim_load_scenario(const char *json_text, const char *origin, char *err, size_t errlen);
/* The same, reading the file at path. */
int sim_load_scenario_file(const char *path, char *err, size_t errlen);
/* Back to the embedded default scenario, recordings cleared. */
void sim_reset(void);
/* The embedded default scenario's JSON text. */
const char *sim_default_scenario(void);

/* Fills a cli context from the scenario's "context" object. */
void sim_fill_context(cli_context_t *context);
/*
 * Prepares root (an existing, empty directory) as the library's file system:
 * the scenario's "files", <root>/tmp and <root>/var/tmp, the "tools"
 * (sim_write_tools) and the sudo stand-in in <root>/SIM_SUDO_DIR
 * (sim_install_sudo). Returns the number of "files", or -1 with err filled.
 */
int sim_write_files(const char *root, char *err, size_t errlen);
/*
 * Writes the scenario's "tools" under root: <root>/vorn/bin/flash_size and
 * <root>/vornboot/bin/imghdr print their text byte for byte whatever their
 * arguments; given an array, run k prints text k, later runs the last one
 * (kept beside them in <utility>.out and <utility>.out.<k>); a null tool is
 * not written. Returns 0, or -1 with err filled.
 */
int sim_write_tools(const char *root, char *err, size_t errlen);

/* Where sim_write_files() installs the sudo stand-in, under the root. */
#define SIM_SUDO_DIR ".sim-bin"

/*
 * The version report runs "sudo /bin/mount ..." and umount through the
 * shell, which must not mount on the host: every host of the simulator
 * installs this stand-in first. <dir>/sudo only appends its run to
 * <dir>/sudo.log ("run sudo", an "arg ARGUMENT" line per argument, then
 * "stdout WHERE" and "stderr WHERE", WHERE one of /dev/null, pipe, file and
 * other) and exits 0; each utility logs its runs so to <utility>.log beside
 * it. Creates dir (no ':') and puts it first on PATH in place of an earlier
 * call's. Returns 0, or -1 with err filled.
 */
int sim_install_sudo(const char *dir, char *err, size_t errlen);
/* The log of the stand-in installed last (absolute path), "" before any. */
const char *sim_sudo_log(void);

/*
 * The calls recorded since the records were cleared, a line each with
 * arguments and result, then the runs logged by sim_log_runs(); root, when
 * not null or empty, shown as "$ROOT". Valid until the next sim_ call.
 */
const char *sim_trace(const char *root);
/*
 * The utilities and the sudo stand-in also log their runs to path (through
 * the environment); null or "" stops it. Emptied with the records. Returns
 * 0, or -1.
 */
int sim_log_runs(const char *path);

/* Clears the recorded output, calls and counters; the scenario stays. */
void sim_clear_records(void);
/* Nonzero: cmd_req_is_xmlagent() answers 1; sim_reset() drops it. */
void sim_set_xml_agent(int xml_agent);
/* cmd_req_cmdId_getnext()'s answer until a scenario is loaded or reset. */
void sim_set_command(int32_t command);

/*
 * Serves a report as the CLI back end does: takes context's receive handle,
 * calls report with the queue handle and it, then sends what it printed
 * (both calls recorded). Returns the report's result.
 */
int sim_serve_report(const cli_context_t *context, int (*report)(int32_t, void *));

/* The start time answered to the uptime request (seconds since 1970), else 0. */
uint32_t sim_answered_start_time(void);

/* Number of cmd_prt_send calls since the records were cleared. */
int sim_send_count(void);
/* 1 when cmd_prt_send was called and its last call succeeded, else 0. */
int sim_output_delivered(void);
/* Queues bound and not yet unbound. */
int sim_queues_bound(void);
/* Transport messages sent or received and not yet dropped. */
int sim_messages_outstanding(void);
/*
 * Image handles open, and img_close calls on anything else (null, unknown,
 * closed): both 0 when every handle was closed exactly once.
 */
int sim_images_open(void);
int sim_image_close_errors(void);

#ifdef __cplusplus
}
#endif

#endif
