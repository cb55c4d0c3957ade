/*
 * SPDX-License-Identifier: MIT
 * Control interface of the simulated switch platform (libsysmgrsim.so).
 *
 * The simulator implements every platform function the library calls
 * (platform/platform.h). What those functions answer comes from a scenario,
 * a JSON document; an embedded default scenario describes a healthy switch
 * with two supervisors, this one active with an HA standby. Everything the
 * library prints is recorded with its tags (sysmgrsim/sim.hpp); queue
 * handles are counted.
 *
 * Each thread has its own scenario, recordings and queues, starting from the
 * default scenario: a thread serves one command at a time, as the CLI back
 * end does, and several threads may serve commands at once. The files under
 * a root, the sudo stand-in and the run log are the process's.
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
 * Replaces the scenario with the JSON text. origin names it in messages (a
 * file name, or null). On failure returns -1, keeps the previous scenario and
 * writes "<origin>: <problem>" into err. Clears all recordings either way.
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
 * - the scenario's "files", directories created as needed;
 * - the directories <root>/tmp and <root>/var/tmp, which the library writes to;
 * - the utilities of the scenario's "tools" (sim_write_tools);
 * - the sudo stand-in in <root>/SIM_SUDO_DIR, put first on PATH
 *   (sim_install_sudo).
 * Returns the number of "files" written, or -1 with err filled.
 */
int sim_write_files(const char *root, char *err, size_t errlen);
/*
 * Writes only the utilities of the scenario's "tools" under root (an
 * existing directory), directories created as needed:
 * <root>/vorn/bin/flash_size and <root>/vornboot/bin/imghdr print their text
 * byte for byte whatever their arguments, or, given an array of texts, run k
 * prints text k and every run after the last text the last one (each keeps
 * its texts in files beside it, <utility>.out and <utility>.out.<k>); a tool
 * set to null is not written. Returns 0, or -1 with err filled.
 */
int sim_write_tools(const char *root, char *err, size_t errlen);

/* Where sim_write_files() installs the sudo stand-in, under the root. */
#define SIM_SUDO_DIR ".sim-bin"

/*
 * The version report runs "sudo /bin/mount -o ro <root>/mnt/bootloader" and
 * the matching umount through the shell; on a development machine, where we
 * are root and the real sudo exists, that would mount on the host. Before the
 * library runs, every host of the simulator installs this stand-in:
 * <dir>/sudo only appends its run to <dir>/sudo.log ("run sudo", an
 * "arg ARGUMENT" line per argument, then "stdout WHERE" and "stderr WHERE"
 * with WHERE one of /dev/null, pipe, file and other) and exits 0; each utility logs its runs
 * the same way to <utility>.log beside it. Installing creates dir if needed and puts it
 * first on this process's PATH, in place of the directory an earlier call put
 * there, so that every shell the library starts finds the stand-in first.
 * dir must not contain ':'. Returns 0, or -1 with err filled.
 */
int sim_install_sudo(const char *dir, char *err, size_t errlen);
/* The log of the stand-in installed last (absolute path), "" before any. */
const char *sim_sudo_log(void);

/*
 * The platform calls recorded since the records were cleared, a line each
 * with its arguments and result, then the utilities and sudo commands the
 * library ran when sim_log_runs() is on; every occurrence of root, when
 * given and not empty, is shown as "$ROOT". Valid until the next sim_ call.
 */
const char *sim_trace(const char *root);
/*
 * From now on the simulated utilities and the sudo stand-in append their
 * runs, logged as in their own logs, to the file at path (through the
 * environment, so that the shells the library starts see it); null or ""
 * stops it. The log is emptied with the records. Returns 0, or -1.
 */
int sim_log_runs(const char *path);
/* The file sim_log_runs() set, "" when none. */
const char *sim_run_log(void);

/* Clears the recorded output, calls and counters; the scenario stays. */
void sim_clear_records(void);
/*
 * Nonzero: cmd_req_is_xmlagent() answers 1 whatever the scenario's
 * backend.xml_agent, as for a host that renders XML; sim_reset() drops it.
 */
void sim_set_xml_agent(int xml_agent);
/*
 * What cmd_req_cmdId_getnext() answers from now on, in place of the
 * scenario's backend.command; loading a scenario or sim_reset() drops it.
 */
void sim_set_command(int32_t command);

/*
 * Serves a report as the CLI back end serves one it calls itself: takes the
 * receive handle for context, calls report with the context's queue handle
 * and the receive handle, then sends what it printed. Both platform calls
 * are recorded like the library's. Returns the report's result.
 */
int sim_serve_report(const cli_context_t *context, int (*report)(int32_t, void *));

/*
 * The start time the System Manager answered the library's uptime request
 * with, in seconds since 1970; 0 before any answer. Cleared with the records.
 */
uint32_t sim_answered_start_time(void);

/* Number of cmd_prt_send calls since the records were cleared. */
int sim_send_count(void);
/* 1 when cmd_prt_send was called and its last call succeeded, else 0. */
int sim_output_delivered(void);
/* Queues bound and not yet unbound, and the call counts. */
int sim_queues_bound(void);
int sim_bind_calls(void);
int sim_unbind_calls(void);
/* Transport messages sent or received and not yet dropped. */
int sim_messages_outstanding(void);
/*
 * Image handles img_open gave out and img_close has not closed, and the
 * img_close calls on anything else (null, unknown, already closed): both 0
 * when every handle opened was closed exactly once.
 */
int sim_images_open(void);
int sim_image_close_errors(void);

#ifdef __cplusplus
}
#endif

#endif
