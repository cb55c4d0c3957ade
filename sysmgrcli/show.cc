// SPDX-License-Identifier: MIT
// The show-command entry point: command 1 (redundancy status, then the system
// uptime report) and command 107 (version report).
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "enums/sysmgr_states.h"
#include "host_io.h"
#include "platform/cli.h"
#include "platform/mts.h"
#include "platform/records.h"
#include "plumbing.h"
#include "print.h"
#include "redundancy.h"
#include "root_path.h"
#include "sources.h"
#include "sysmgrcli/sysmgrcli.h"
#include "uptime.h"
#include "version.h"

namespace sysmgrcli {

namespace {

constexpr int32_t kCmdRedundancy = 1;
constexpr int32_t kCmdVersion = 107;

/* Internal states in which this supervisor has a partner worth asking. */
constexpr SrvState kPeerStates[] = {
    SrvState::master_coldstdby,           SrvState::master_hotstdby,
    SrvState::master_active_hotstdby,     SrvState::master_active_coldstdby,
    SrvState::master_gsync_in_progress,   SrvState::master_failed_stdby,
    SrvState::master_active_failed_stdby, SrvState::master_active_hotstdby_wait_msync,
};

bool is_peer_state(uint32_t state) {
    for (SrvState s : kPeerStates) {
        if (value(s) == state)
            return true;
    }
    return false;
}

/* ---- System uptime report ---------------------------------------------- */

/* One request to the System Manager over the transport and what names it. */
struct Exchange {
    uint32_t opcode;
    const char *op;      /* prefixes the failure messages */
    const char *receive; /* "unable to <receive>: ..." when the answer fails */
};

constexpr Exchange kScopeDoneExchange{SYSMGR_OPC_SCOPE_DONE, "sysmgr_scope_done",
                                      "receive response"};
constexpr Exchange kPriorUptimeExchange{SYSMGR_OPC_PRIOR_UPTIME, "sysmgr_uptime_internal",
                                        "receive uptime response"};

/* Receive options: ten words, the token of the request in word 3. */
constexpr int32_t kRecvOptWord0 = 1;
constexpr int32_t kRecvOptWord2 = 5;
/* Interruptions of one receive in a row before it counts as failed. */
constexpr int kMaxInterruptedReceives = 10000;

void report_transport_failure(const char *op, const char *what, int error) {
    say(stderr, "%s: unable to %s: %s (error-id 0x%08X).\n", op, what, std::strerror(error),
        errno_error_id(error));
}

/*
 * Sends the request, waits for its answer and copies the first size bytes of
 * the answer's payload into out. On failure writes the message and returns
 * false with out untouched. The request is dropped once its token is taken,
 * the answer once it is read; nothing is dropped after a failure.
 */
bool exchange(int32_t q, const Exchange &x, void *out, std::size_t size) {
    const uint32_t address[2] = {SYSMGR_MTS_ADDR_WORD0, SYSMGR_MTS_ADDR_WORD1};
    alignas(8) unsigned char message[MTS_MSG_SIZE] = {};
    int32_t options[MTS_RECV_OPTS_WORDS] = {};
    options[0] = kRecvOptWord0;

    if (mts_send(q, address, x.opcode, 0, 0, message, 0, 0) < 0) {
        report_transport_failure(x.op, "send message", mts_errno_get(q));
        return false;
    }
    options[3] = static_cast<int32_t>(mts_rr_token_get(message));
    options[2] = kRecvOptWord2;
    mts_drop(q, message);

    // An interrupted receive is repeated silently. A transport that reports
    // nothing but interruptions is broken, not interrupted: after that many
    // in a row the receive counts as failed, so the command cannot hang.
    for (int interrupts = 0;; ++interrupts) {
        const int rc = mts_recv(q, message, options);
        if (rc >= 0)
            break;
        const int error = mts_errno_get(q);
        if (rc == -1 && error == EINTR && interrupts < kMaxInterruptedReceives)
            continue;
        report_transport_failure(x.op, x.receive, error);
        return false;
    }
    if (const void *payload = mts_payload_get(message))
        std::memcpy(out, payload, size);
    mts_drop(q, message);
    return true;
}

/* What the System Manager says about this supervisor; all 0 on failure. */
struct ScopeDone {
    uint32_t scope_done = 0;
    uint64_t uptime_base = 0;
    uint32_t start_time = 0;
};

ScopeDone sysmgr_scope_done(int32_t q) {
    sysmgr_scope_done_rsp_t rsp{};
    ScopeDone result;
    if (exchange(q, kScopeDoneExchange, &rsp, sizeof rsp)) {
        result.scope_done = rsp.scope_done;
        result.uptime_base = rsp.uptime_base;
        result.start_time = rsp.start_time;
    }
    return result;
}

/* Seconds of system uptime before the active supervisor's; 0 on failure. */
uint32_t sysmgr_uptime_internal(int32_t q) {
    sysmgr_prior_uptime_rsp_t rsp{};
    return exchange(q, kPriorUptimeExchange, &rsp, sizeof rsp) ? rsp.prior_uptime : 0;
}

constexpr uint32_t kScopeDoneUp = 1;
constexpr uint32_t kTagStartTime = 0x305c000c;

constexpr DurationStyle kSystemUptime{{0x115c000d, 0x115c000e, 0x115c000f, 0x115c0010},
                                      {" days, ", " hours, ", " minutes, ", " seconds\n"}};
constexpr DurationStyle kKernelUptime{{0x115c0011, 0x115c0012, 0x115c0013, 0x115c0014},
                                      {" days, ", " hours, ", " minutes, ", " seconds"}};
constexpr DurationStyle kActiveUptime{{0x115c0015, 0x115c0016, 0x115c0017, 0x115c0018},
                                      {" days, ", " hours, ", " minutes, ", " seconds\n"}};

/*
 * System start time and the system, kernel and active-supervisor uptimes.
 * Failed exchanges count as zeros and every line is still printed.
 */
void uptime_report(const cli_context_t *context, void *rx) {
    const QueueHandle queue(context);
    const ScopeDone scope = sysmgr_scope_done(queue.get());
    const uint32_t prior_uptime = sysmgr_uptime_internal(queue.get());
    // Read after both exchanges; the quotient wraps to 32 bits.
    const uint32_t active_seconds = static_cast<uint32_t>(
        timer_diff_cycle_in_msec(timer_get_cycles(), scope.uptime_base) / 1000u);
    const uint32_t system_seconds = active_seconds + prior_uptime;

    // ctime's text, its newline included; empty if the time cannot be shown.
    const std::time_t start = scope.start_time;
    char start_text[kValueBufferSize] = "";
    tzset(); // ctime_r, unlike ctime, need not look at TZ by itself
    if (ctime_r(&start, start_text) == nullptr)
        start_text[0] = '\0';

    cmd_prt(rx, "\n");
    cmd_prt(rx, "System start time:          ");
    print_text_value(rx, kTagStartTime, start_text);
    cmd_prt(rx, "\n");
    cmd_prt(rx, "System uptime:              ");
    print_duration(rx, kSystemUptime, system_seconds);
    uint32_t kernel_seconds = 0;
    if (read_kernel_uptime(&kernel_seconds)) {
        cmd_prt(rx, "Kernel uptime:              ");
        print_duration(rx, kKernelUptime, kernel_seconds);
    }
    cmd_prt(rx, "\n");
    if (scope.scope_done == kScopeDoneUp) {
        cmd_prt(rx, "Active supervisor uptime:   ");
        print_duration(rx, kActiveUptime, active_seconds);
    } else {
        cmd_prt(rx, "This supervisor is not up and running\n");
    }
}

/* ---- Commands ---------------------------------------------------------- */

void send_output(void *rx, const char *op, int line) {
    const int rc = cmd_prt_send(rx);
    if (rc != 0)
        say(stdout, "%s: cmd_prt_send() returned %d on line %d\n", op, rc, line);
}

/*
 * Asks the other supervisor for its redundancy status and prints the
 * redundancy block with its answer, or without one when it gives none.
 */
void print_with_peer(const cli_context_t *context, void *rx, const sysmgr_rdn_status_rsp_t &local,
                     const char *op) {
    void *data = nullptr;
    uint32_t length = 0;
    // The back end's own queue field, as it is: this request needs no queue
    // of the library's.
    const int32_t rc = cmi_remote_req_resp(
        kOpcodeRedundancyStatus, kCmiArg2, kCmiArg3, &data, &length, context->cmi_text1,
        context->cmi_text2, SYSMGR_CMI_SERVICE, local.peer_node, context->mts_q, kCmiLastArg);
    // A failed request may leave anything behind: dropped, never freed.
    const CmiResponse response(rc == 0 ? data : nullptr, length);
    sysmgr_rdn_status_rsp_t peer;
    const bool answered = rc == 0 && read_rdn_status(response, op, &peer);
    print_show_redundancy_status_pd(&local, answered ? &peer : nullptr, 1, rx);
}

void sysmgr_cli_show_redundancy_status(const cli_context_t *context, void *rx) {
    static constexpr const char *kOp = "sysmgr_cli_show_redundancy_status";
    sysmgr_rdn_status_rsp_t local;
    if (!ask_local_redundancy_status(context, kOp, &local))
        return; // no usable answer: nothing printed or sent

    if (local.status != 0)
        say(stderr, "%s: the master System Manager returned a failure (%s).\n", kOp,
            syserr_text(static_cast<int32_t>(local.status)));
    else if (is_peer_state(local.internal_state))
        print_with_peer(context, rx, local, kOp);
    else
        print_show_redundancy_status_pd(&local, nullptr, 0, rx);
    uptime_report(context, rx);
    send_output(rx, kOp, 948);
}

void sysmgr_cli_show_version(const cli_context_t *context, void *rx) {
    sysmgr_show_version_internal_generic_pd(context, rx, 1);
    send_output(rx, "sysmgr_cli_show_version", 1387);
}

} // namespace

bool read_kernel_uptime(uint32_t *seconds) {
    const File file = open_rooted("/proc/uptime");
    if (!file)
        return false;
    // The first field, e.g. "90061.87": its whole seconds. Parsed with strtol
    // rather than fscanf("%d"), which is undefined on a number too large for
    // an int. A file that does not start with a usable number is treated as
    // unreadable and its line left out, as for a missing file: a made-up
    // figure such as 0 would claim the kernel had just started.
    char field[32];
    if (!TextReader(file.get()).word(field, sizeof field))
        return false;
    errno = 0;
    char *end = nullptr;
    const long value = std::strtol(field, &end, 10);
    if (end == field || errno == ERANGE || value < 0 || value > INT32_MAX)
        return false;
    *seconds = static_cast<uint32_t>(value);
    return true;
}

} // namespace sysmgrcli

extern "C" int32_t sysmgr_cli_generic_show_func(struct cli_context *context) {
    const sysmgrcli::CallRoot root; // the root is read once for the whole command
    void *rx = cmd_paraminfo_to_rxhandle(context);
    if (rx == nullptr) {
        sysmgrcli::say(stdout, "receive handler NULL \n");
        return 0;
    }
    const int32_t cmd = cmd_req_cmdId_getnext(rx);
    if (cmd == sysmgrcli::kCmdRedundancy)
        sysmgrcli::sysmgr_cli_show_redundancy_status(context, rx);
    else if (cmd == sysmgrcli::kCmdVersion)
        sysmgrcli::sysmgr_cli_show_version(context, rx);
    else
        sysmgrcli::say(stdout, "Invalid cmdID %d\n", cmd);
    return 0;
}
