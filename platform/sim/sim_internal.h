/*
 * SPDX-License-Identifier: MIT
 * Shared state of the simulated platform: the loaded scenario, the
 * recordings and the transport's bookkeeping. One instance per thread:
 * each thread loads its own scenario and serves one command at a time.
 */
#ifndef SYSMGRSIM_SIM_INTERNAL_H
#define SYSMGRSIM_SIM_INTERNAL_H

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

/* The simulator is built with hidden visibility: of what these headers
   declare, a program that links it exports the platform functions. */
#pragma GCC visibility push(default)
#include "platform/platform.h"
#include "sysmgrsim/sim.h"
#include "sysmgrsim/sim.hpp"
#pragma GCC visibility pop

namespace sysmgrsim::detail {

/* Answer of one supervisor's System Manager to request 0x9C3. */
struct SupervisorAnswer {
    int32_t result = 0; /* 0 success, -1 failure with err, else an error identifier */
    int32_t err = 0;
    uint32_t length = 32;       /* bytes of the response block */
    bool null_response = false; /* on success: no response, a null pointer and length 0 */
    uint32_t words[8] = {};     /* status, internal_state, ..., ha_synced */
};

/* Fault injection for one request/response exchange over the transport. */
struct Exchange {
    int32_t send_errno = 0;
    int32_t recv_errno = 0;
    uint32_t interrupts = 0; /* receives that fail with errno 4 first */
};

/* What the release-file service answers for one path. */
struct ReleaseFile {
    std::optional<std::string> version; /* none: srg_sw_ver_file_get returns null */
    std::optional<std::string> interim_version;
    int32_t compile_stamp = 0;
};

/* What the image-header service answers for one path. */
struct ImageHeader {
    int32_t error = 0;            /* error identifier img_open sets */
    bool handle_on_error = false; /* a handle even with a nonzero error */
    uint32_t build_time = 0;      /* seconds since 1970 */
};

/* One entry of the last-reset ring. */
struct ResetEntry {
    uint32_t reason = 0;
    std::string service;        /* 32-byte field */
    std::string system_version; /* 64-byte field */
    uint32_t time = 0;
    uint32_t usecs = 0;
};

struct Scenario {
    std::string description;
    struct {
        int32_t debug = 0;
        int32_t on_sup = 0;
        int32_t mts_q = -1;
        std::string cmi_text1;
        std::string cmi_text2;
    } context;
    struct {
        bool rx_null = false;
        int32_t command = 1;
        bool xml_agent = false;
        int32_t send_result = 0;
    } backend;
    struct {
        int32_t bind_errno = 0;
        int32_t default_vdc_bind_errno = 0; /* fails binds of kind 1 only */
        int32_t first_queue = 100;
    } mts;
    SupervisorAnswer local;
    SupervisorAnswer peer;
    Exchange scope_exchange;
    uint32_t scope_done = 0;
    uint64_t uptime_base = 0;
    uint32_t start_time = 0;
    Exchange prior_exchange;
    uint32_t prior_uptime = 0;
    struct {
        uint64_t cycles = 0;
        uint64_t cycles_per_msec = 1;
        std::optional<uint64_t> elapsed_msec; /* what every difference gives; none: computed */
    } timer;
    struct {
        int32_t result = 0;
        uint8_t card_kind = 0;
        uint16_t module_type = 0;
    } card;
    struct {
        int32_t result = 0; /* nonzero: get_platform_info fails with it */
        uint8_t this_sup = 1;
        uint8_t other_sup = 2;
        uint8_t byte3 = 0;
        uint8_t byte4 = 1;
    } slots;
    struct {
        int32_t result = 0;
        int32_t err = EIO;          /* errno with result -1 */
        std::string name;           /* may hold NUL bytes, sent as they are */
        bool null_response = false; /* success with a null reply */
        bool terminated = true;     /* false: the reply holds the name without its NUL */
    } hostname;
    struct {
        bool dorrel = false;
        bool bellwick = false;
        int32_t slot_result = 0; /* nonzero: card_get_slot_num fails with it */
        uint8_t slot = 0;
        /* Texts returned by pointer; none: a null pointer. */
        std::optional<std::string> name;        /* pdb_get_chassis_id_string */
        std::optional<std::string> dorrel_name; /* pfm_get_dorrel_value */
        std::optional<std::string> module;      /* pdb_get_mod_id_string2 */
        int32_t processor_result = 0;           /* nonzero: pfm_get_processor_name fails */
        std::string processor;                  /* 128-byte field */
        int32_t serial_result = 0;
        std::string serial; /* 64-byte field */
    } chassis;
    struct {
        int32_t result = 0;
        std::string flash;   /* 128-byte field at BIOS_RECORD_FLASH_TEXT */
        std::string running; /* 128-byte field at BIOS_RECORD_RUNNING_TEXT */
    } bios;
    std::map<std::string, ReleaseFile> release_files; /* srg_ path -> answers */
    std::map<std::string, ImageHeader> images;        /* img_open path -> answers */
    struct {
        std::vector<std::string> schemes;
        std::vector<std::string> local_servers; /* schemes served by "sup-local" */
    } uri;
    struct {
        int32_t result = 0;
        uint32_t block_size = 0;
        uint32_t blocks = 0;
    } slot0_fs;
    /* Run k prints item k, later runs the last; none: the utility is absent. */
    struct {
        std::optional<std::vector<std::string>> flash_size;
        std::optional<std::vector<std::string>> imghdr;
    } tools;
    struct {
        int32_t result = 0;
        uint32_t next_index = 0;
        ResetEntry entries[LAST_RR_ENTRIES];
    } last_reset;
    struct {
        int32_t result = 0;
        int32_t count = 0;              /* reported; may exceed the names */
        std::vector<std::string> names; /* 256-byte fields, at most 32 */
    } plugins;
    struct {
        std::vector<std::string> version_lines;
        std::vector<std::string> hardware_lines;
    } cmp;
    std::map<std::string, std::string> files;    /* absolute path -> content */
    std::map<uint32_t, std::string> error_texts; /* before the built-in texts */
};

extern const char kDefaultScenario[]; /* generated from scenarios/default.json */
/* The JSON text applied over the default; false with err. */
bool parse_scenario(const char *json_text, const char *origin, Scenario &out, std::string &err);
/* The embedded default scenario, parsed on first use and kept. */
const Scenario &default_scenario();

/* A transport message: a request just sent or a response received. */
struct Message {
    uint32_t token = 0;
    std::unique_ptr<unsigned char[]> payload; /* null for requests */
    bool live = true;                         /* false once dropped */
};

/* Per-queue transport state, for bound queues and the back end's queue. */
struct QueueState {
    uint32_t last_token = 0;  /* token of the last request sent */
    uint32_t last_opcode = 0; /* its opcode; 0 = nothing sent */
};

/* An image handle from img_open. */
struct ImageHandle {
    uint32_t build_time = 0;
    bool open = true;
};

/* What serving commands leaves behind, cleared between commands. */
struct Records {
    std::vector<Print> prints;
    std::vector<Call> calls;
    int sends = 0;
    bool delivered = false; /* the last cmd_prt_send succeeded */

    std::set<int32_t> bound;
    int binds_done = 0;
    std::map<int32_t, int> errnos; /* mts_errno_get() per handle */
    std::map<int32_t, QueueState> queues;
    std::vector<Message> messages;
    std::map<uint32_t, uint32_t> receives; /* receive attempts per opcode */

    /* Image handles given out since the records were cleared; kept until then
     * so that no two handles ever share an address. */
    std::vector<std::unique_ptr<ImageHandle>> images;
    int image_close_errors = 0;

    /* The start time the library received from the System Manager; 0 before (as for the library).
     */
    uint32_t answered_start_time = 0;

    std::string trace; /* sim_trace()'s buffer */
};

/* The records, and what stays from one command to the next. */
struct State : Records {
    Scenario scenario;
    bool command_override = false;
    int32_t command = 0;
    bool xml_agent_host = false;       /* sim_set_xml_agent() */
    uint32_t next_token = 0x5a000001u; /* tokens stay distinct across commands */
};

/*
 * Copies a message for a caller's err buffer; control characters become '?'
 * so that a message quoting the input never drives the terminal.
 */
void copy_error(std::string message, char *err, std::size_t errlen);

/* The process's state, with the default scenario loaded on first use. */
State &state();
/* The file sim_log_runs() set, "" when none, and its emptying. */
const std::string &run_log();
void clear_run_log();
/* Clears the records and the run log. */
void clear_records(State &s);

/*
 * The answer to each platform call, written by hand. The entry points,
 * generated from the same rows in state.cc, record the call before the
 * answer runs and its result after. Hidden: only the simulator calls them.
 */
namespace answer {
#define CALL(ret, name, params, args, ints, texts, result, outs, members)                          \
    [[gnu::visibility("hidden")]] ret name params;
#include "../calls.def"
#undef CALL
} // namespace answer

/*
 * Adds a note to the result the trace shows for the call being served, after
 * the result its row shows (e.g. ", error 0x...").
 */
void note_result(const std::string &note);
/* An error identifier as the trace shows it: hex and its text. */
std::string shown_identifier(int32_t err);
/* The text of an error identifier, without recording a call. */
const char *error_text(int32_t err);

/* A text argument as recorded: at most max bytes, "(null)" for none. */
std::string text_arg(const char *text, std::size_t max = 4096);
/* A line the platform prints into the receive handle itself, as untagged text. */
void print_line(void *rx, const std::string &line);

} // namespace sysmgrsim::detail

#endif
