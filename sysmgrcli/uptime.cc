// SPDX-License-Identifier: MIT
// The system uptime report that closes command 1, and the kernel's uptime
// that it and the version reports print.
#include "uptime.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "host_io.h"
#include "platform/cli.h"
#include "platform/mts.h"
#include "platform/records.h"
#include "plumbing.h"
#include "print.h"
#include "sources.h"
#include "tags.h"

namespace sysmgrcli {

namespace {

namespace tag = tags::redundancy;

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

constexpr DurationStyle kSystemUptime{{tag::system_uptime_days, tag::system_uptime_hours,
                                       tag::system_uptime_minutes, tag::system_uptime_seconds},
                                      {" days, ", " hours, ", " minutes, ", " seconds\n"}};
constexpr DurationStyle kKernelUptime{{tag::kernel_uptime_days, tag::kernel_uptime_hours,
                                       tag::kernel_uptime_minutes, tag::kernel_uptime_seconds},
                                      {" days, ", " hours, ", " minutes, ", " seconds"}};
constexpr DurationStyle kActiveUptime{
    {tag::active_supervisor_uptime_days, tag::active_supervisor_uptime_hours,
     tag::active_supervisor_uptime_minutes, tag::active_supervisor_uptime_seconds},
    {" days, ", " hours, ", " minutes, ", " seconds\n"}};

} // namespace

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
    // A 32-bit time always has a calendar date: ctime_r cannot fail on it.
    // GCOVR_EXCL_START
    if (ctime_r(&start, start_text) == nullptr)
        start_text[0] = '\0';
    // GCOVR_EXCL_STOP

    cmd_prt(rx, "\n");
    cmd_prt(rx, "System start time:          ");
    print_text_value(rx, tag::system_start_time, start_text);
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
