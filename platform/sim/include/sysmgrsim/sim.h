/*
 * Control interface of the simulated switch platform (libsysmgrsim.so).
 *
 * The simulator implements every platform function the library calls
 * (platform/platform.h). What those functions answer comes from a scenario,
 * a JSON document; an embedded default scenario describes a healthy switch
 * with two supervisors, this one active with an HA standby. Everything the
 * library prints is recorded and rendered; queue handles are counted.
 *
 * Not thread-safe: one command at a time, as the CLI back end serves them.
 */
#ifndef SYSMGRSIM_SIM_H
#define SYSMGRSIM_SIM_H

#include <stddef.h>
#include <stdint.h>

#include "platform/cli.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Output renderings of the recorded print calls. */
enum sim_format { SIM_FORMAT_TEXT = 0, SIM_FORMAT_XML = 1, SIM_FORMAT_JSON = 2 };

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
 * Writes the scenario's "files" under root (directories created as needed).
 * Returns the number of files written, or -1 with err filled.
 */
int sim_write_files(const char *root, char *err, size_t errlen);

/* Clears the recorded output, calls and counters; the scenario stays. */
void sim_clear_records(void);
/* Rendering used by sim_output() and the XML-agent answer. */
void sim_set_format(enum sim_format format);
/*
 * What cmd_req_cmdId_getnext() answers from now on, in place of the
 * scenario's backend.command; loading a scenario or sim_reset() drops it.
 */
void sim_set_command(int32_t command);

/* Everything printed so far, rendered; valid until the next sim_ call. */
const char *sim_output(void);
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

#ifdef __cplusplus
}
#endif

#endif
