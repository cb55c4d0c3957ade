// SPDX-License-Identifier: MIT
// Message transport, System Manager requests, error texts and the timer.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "sim_internal.h"

namespace {

using sysmgrsim::detail::Exchange;
using sysmgrsim::detail::Message;
using sysmgrsim::detail::record_call;
using sysmgrsim::detail::returned;
using sysmgrsim::detail::returned_pointer;
using sysmgrsim::detail::returned_status;
using sysmgrsim::detail::returned_text;
using sysmgrsim::detail::State;
using sysmgrsim::detail::state;
using sysmgrsim::detail::SupervisorAnswer;
using sysmgrsim::detail::text_arg;

// Error identifiers of this System Manager (texts in kErrors).
constexpr int32_t kErrNotReady = 0x40AA0012;
constexpr int32_t kErrOpcode = 0x40AA0005;
constexpr int32_t kErrService = 0x40AA0008;
constexpr int32_t kErrNode = 0x40AA000C;

struct ErrorText {
    int32_t id;
    const char *text;
};
constexpr ErrorText kErrors[] = {
    {0x40AA0001, "System Manager internal error"},
    {kErrOpcode, "Request opcode not supported"},
    {kErrService, "No such service"},
    {kErrNode, "No such node"},
    {kErrNotReady, "System Manager not ready"},
    {0x40AA0016, "Request timed out"},
    {0x40AA0021, "Standby supervisor not present"},
    {0x40AA0030, "Out of memory"},
};

// Layout of the transport's message reference in the caller's storage.
constexpr uint32_t kMessageMagic = 0x4d534731u;
struct MessageRef {
    uint32_t magic;
    uint32_t index; /* into State::messages */
};
static_assert(sizeof(MessageRef) <= MTS_MSG_SIZE, "message reference fits the caller's storage");

constexpr int32_t kBindDefaultVdc = 1; /* mts_bind kind of the default VDC's queue */
constexpr int kInterrupted = 4;
constexpr int kTimedOut = 110;

// The exchange that answers an opcode sent over the transport, or null.
const Exchange *exchange_for(const State &s, uint32_t opcode) {
    if (opcode == SYSMGR_OPC_SCOPE_DONE)
        return &s.scenario.scope_exchange;
    if (opcode == SYSMGR_OPC_PRIOR_UPTIME)
        return &s.scenario.prior_exchange;
    return nullptr;
}

// A queue may carry messages when bound, or when it is the back end's queue.
bool usable(const State &s, int32_t q) {
    return s.bound.count(q) != 0 || (q >= 0 && q == s.scenario.context.mts_q);
}

// A transport call's failure: -1, with err for mts_errno_get().
int fail(State &s, int32_t q, int err) {
    s.errnos[q] = err;
    sysmgrsim::detail::record_result("-1, mts errno " + std::to_string(err) + " (" +
                                     std::strerror(err) + ")");
    return -1;
}

Message *find_message(State &s, const void *msg) {
    if (msg == nullptr)
        return nullptr;
    MessageRef ref;
    std::memcpy(&ref, msg, sizeof ref);
    if (ref.magic != kMessageMagic || ref.index >= s.messages.size())
        return nullptr;
    Message &m = s.messages[ref.index];
    return m.live ? &m : nullptr;
}

void new_message(State &s, void *msg, uint32_t token, std::unique_ptr<unsigned char[]> payload) {
    MessageRef ref{kMessageMagic, static_cast<uint32_t>(s.messages.size())};
    s.messages.push_back(Message{token, std::move(payload), true});
    ++s.outstanding;
    std::memset(msg, 0, MTS_MSG_SIZE);
    std::memcpy(msg, &ref, sizeof ref);
}

// The payload answering a request, laid out as platform/records.h says.
std::unique_ptr<unsigned char[]> answer_payload(const State &s, uint32_t opcode) {
    if (opcode == SYSMGR_OPC_SCOPE_DONE) {
        sysmgr_scope_done_rsp_t rsp{};
        rsp.scope_done = s.scenario.scope_done;
        rsp.uptime_base = s.scenario.uptime_base;
        rsp.start_time = s.scenario.start_time;
        auto p = std::make_unique<unsigned char[]>(sizeof rsp);
        std::memcpy(p.get(), &rsp, sizeof rsp);
        return p;
    }
    sysmgr_prior_uptime_rsp_t rsp{};
    rsp.prior_uptime = s.scenario.prior_uptime;
    auto p = std::make_unique<unsigned char[]>(sizeof rsp);
    std::memcpy(p.get(), &rsp, sizeof rsp);
    return p;
}

// A heap response of length bytes: the eight words, cut or zero-padded; or,
// with null_response, success without any response.
int32_t answer_supervisor(const SupervisorAnswer &a, void **resp, uint32_t *len) {
    if (a.result == -1) {
        errno = a.err;
        return -1;
    }
    if (a.result != 0)
        return a.result;
    if (a.null_response) {
        *resp = nullptr;
        *len = 0;
        return 0;
    }
    auto *block = static_cast<unsigned char *>(std::calloc(a.length > 0 ? a.length : 1, 1));
    if (block == nullptr) {
        errno = ENOMEM;
        return -1;
    }
    std::memcpy(block, a.words, std::min<std::size_t>(a.length, sizeof a.words));
    *resp = block;
    *len = a.length;
    return 0;
}

// The name in a heap block, with its NUL unless the scenario leaves it out;
// or, with null_response, success without any reply.
int32_t answer_hostname(const State &s, void **resp, uint32_t *len) {
    const auto &h = s.scenario.hostname;
    if (h.result == -1) {
        errno = h.err;
        return -1;
    }
    if (h.result != 0)
        return h.result;
    if (h.null_response) {
        *resp = nullptr;
        *len = 0;
        return 0;
    }
    const std::size_t size = h.name.size() + (h.terminated ? 1 : 0);
    auto *name = static_cast<char *>(std::calloc(size > 0 ? size : 1, 1));
    if (name == nullptr) {
        errno = ENOMEM;
        return -1;
    }
    std::memcpy(name, h.name.data(), h.name.size());
    if (h.terminated)
        name[h.name.size()] = '\0';
    *resp = name;
    *len = static_cast<uint32_t>(size);
    return 0;
}

} // namespace

extern "C" {

int32_t mts_bind(int32_t kind, int32_t sap, int32_t flags, const char *client) {
    record_call("mts_bind", {kind, sap, flags}, {text_arg(client)});
    State &s = state();
    ++s.bind_calls;
    if (kind == kBindDefaultVdc && s.scenario.mts.default_vdc_bind_errno != 0)
        return fail(s, 0, s.scenario.mts.default_vdc_bind_errno);
    if (s.scenario.mts.bind_errno != 0)
        return fail(s, 0, s.scenario.mts.bind_errno);
    int32_t q = s.scenario.mts.first_queue + s.binds_done++;
    s.bound.insert(q);
    return returned(q);
}

int mts_unbind(int32_t q, int32_t flags) {
    record_call("mts_unbind", {q, flags});
    State &s = state();
    ++s.unbind_calls;
    if (s.bound.erase(q) == 0)
        return fail(s, q, EBADF);
    s.queues.erase(q);
    return returned(0);
}

int mts_send(int32_t q, const uint32_t dest[2], uint32_t opcode, int32_t a, int32_t b, void *msg,
             int32_t c, int32_t d) {
    if (dest != nullptr)
        record_call("mts_send", {q, dest[0], dest[1], opcode, a, b, c, d});
    else
        record_call("mts_send", {q, opcode, a, b, c, d});
    State &s = state();
    if (dest == nullptr || msg == nullptr)
        return fail(s, q, EFAULT);
    if (!usable(s, q))
        return fail(s, q, EBADF);
    if (const Exchange *e = exchange_for(s, opcode); e != nullptr && e->send_errno != 0)
        return fail(s, q, e->send_errno);
    if (dest[0] != SYSMGR_MTS_ADDR_WORD0 || dest[1] != SYSMGR_MTS_ADDR_WORD1)
        return fail(s, q, EHOSTUNREACH);
    uint32_t token = s.next_token++;
    s.queues[q] = {token, opcode};
    new_message(s, msg, token, nullptr);
    return returned(0);
}

uint32_t mts_rr_token_get(void *msg) {
    record_call("mts_rr_token_get", {});
    Message *m = find_message(state(), msg);
    return sysmgrsim::detail::returned_hex(m != nullptr ? m->token : 0);
}

int mts_drop(int32_t q, void *msg) {
    record_call("mts_drop", {q});
    State &s = state();
    Message *m = find_message(s, msg);
    if (m == nullptr)
        return fail(s, q, EINVAL);
    m->live = false;
    m->payload.reset();
    --s.outstanding;
    return returned(0);
}

/*
 * Answers the last request sent on the queue. The first "interrupts"
 * receives of an exchange fail with errno 4, then recv_errno (if any) fails
 * every receive; options word 3 must carry the request's token, or the
 * receive times out (errno 110), as it does for an opcode nobody answers.
 */
int mts_recv(int32_t q, void *msg, int32_t opts[MTS_RECV_OPTS_WORDS]) {
    if (opts != nullptr)
        record_call("mts_recv", {q, opts[0], opts[1], opts[2], opts[3], opts[4], opts[5], opts[6],
                                 opts[7], opts[8], opts[9]});
    else
        record_call("mts_recv", {q});
    State &s = state();
    if (msg == nullptr)
        return fail(s, q, EFAULT);
    if (!usable(s, q))
        return fail(s, q, EBADF);
    auto sent = s.queues.find(q);
    const Exchange *e =
        sent != s.queues.end() ? exchange_for(s, sent->second.last_opcode) : nullptr;
    if (e == nullptr)
        return fail(s, q, kTimedOut);
    uint32_t attempt = ++s.receives[sent->second.last_opcode];
    if (attempt <= e->interrupts)
        return fail(s, q, kInterrupted);
    if (e->recv_errno != 0)
        return fail(s, q, e->recv_errno);
    if (opts == nullptr || static_cast<uint32_t>(opts[3]) != sent->second.last_token)
        return fail(s, q, kTimedOut);
    if (sent->second.last_opcode == SYSMGR_OPC_SCOPE_DONE)
        s.answered_start_time = s.scenario.start_time;
    new_message(s, msg, sent->second.last_token, answer_payload(s, sent->second.last_opcode));
    return returned(0);
}

void *mts_payload_get(void *msg) {
    record_call("mts_payload_get", {});
    Message *m = find_message(state(), msg);
    return returned_pointer(m != nullptr ? m->payload.get() : nullptr, "payload");
}

int mts_errno_get(int32_t q) {
    record_call("mts_errno_get", {q});
    const State &s = state();
    auto it = s.errnos.find(q);
    return returned(it != s.errnos.end() ? it->second : 0);
}

/*
 * 0x9C3 (service 3) answers from supervisors.local, 0x394 (service 37)
 * with the host name. Like a real transport, a request on a queue handle
 * that is neither bound nor the back end's own fails with EBADF. On failure
 * the response pointer is left as it was.
 */
int32_t cmi_req_resp(uint32_t opcode, int32_t a2, int32_t a3, void **resp, uint32_t *len,
                     const char *text1, const char *text2, int32_t service, int32_t q,
                     int32_t a10) {
    constexpr std::size_t kTextMax = sizeof(cli_context_t::cmi_text1);
    record_call("cmi_req_resp", {opcode, a2, a3, service, q, a10},
                {text_arg(text1, kTextMax), text_arg(text2, kTextMax)});
    const State &s = state();
    if (resp == nullptr || len == nullptr || !usable(s, q)) {
        errno = resp == nullptr || len == nullptr ? EFAULT : EBADF;
        return returned_status(-1);
    }
    if (opcode == SYSMGR_OPC_REDUNDANCY_STATUS)
        return returned_status(service == SYSMGR_CMI_SERVICE
                                   ? answer_supervisor(s.scenario.local, resp, len)
                                   : kErrService,
                               resp, len);
    if (opcode == SYSMGR_OPC_HOSTNAME)
        return returned_status(service == 37 ? answer_hostname(s, resp, len) : kErrService, resp,
                               len);
    return returned_status(kErrOpcode);
}

/* 0x9C3 to the node named by supervisors.local's peer_node only; the queue as above. */
int32_t cmi_remote_req_resp(uint32_t opcode, int32_t a2, int32_t a3, void **resp, uint32_t *len,
                            const char *text1, const char *text2, int32_t service, uint32_t node,
                            int32_t q, int32_t a11) {
    constexpr std::size_t kTextMax = sizeof(cli_context_t::cmi_text1);
    record_call("cmi_remote_req_resp", {opcode, a2, a3, service, node, q, a11},
                {text_arg(text1, kTextMax), text_arg(text2, kTextMax)});
    const State &s = state();
    if (resp == nullptr || len == nullptr || !usable(s, q)) {
        errno = resp == nullptr || len == nullptr ? EFAULT : EBADF;
        return returned_status(-1);
    }
    if (node != s.scenario.local.words[5])
        return returned_status(kErrNode);
    if (opcode != SYSMGR_OPC_REDUNDANCY_STATUS)
        return returned_status(kErrOpcode);
    if (service != SYSMGR_CMI_SERVICE)
        return returned_status(kErrService);
    return returned_status(answer_supervisor(s.scenario.peer, resp, len), resp, len);
}

/* The text of one of the System Manager's error identifiers (see error_text). */
const char *syserr2str(int32_t err) {
    record_call("syserr2str", {err});
    return returned_text(sysmgrsim::detail::error_text(err));
}

uint64_t timer_get_cycles(void) {
    record_call("timer_get_cycles", {});
    return returned(state().scenario.timer.cycles);
}

uint64_t timer_diff_cycle_in_msec(uint64_t later, uint64_t earlier) {
    record_call("timer_diff_cycle_in_msec",
                {static_cast<int64_t>(later), static_cast<int64_t>(earlier)});
    const auto &timer = state().scenario.timer;
    return returned(timer.elapsed_msec ? *timer.elapsed_msec
                                       : (later - earlier) / timer.cycles_per_msec);
}

} // extern "C"

/*
 * Texts of the System Manager's error identifiers: the scenario's
 * error_texts first, then the built-in ones. Identifiers that encode an
 * error number (0x801E0000 | e) give strerror(e); unknown ones
 * "unknown error 0x%08X", in a buffer the next call overwrites.
 */
const char *sysmgrsim::detail::error_text(int32_t err) {
    const auto &texts = state().scenario.error_texts;
    auto given = texts.find(static_cast<uint32_t>(err));
    if (given != texts.end())
        return given->second.c_str();
    if (err == 0)
        return "Success";
    if (err == -1)
        return "Failure with errno set";
    for (const ErrorText &e : kErrors)
        if (e.id == err)
            return e.text;
    uint32_t id = static_cast<uint32_t>(err);
    if ((id & 0xFFFFF000u) == 0x801E0000u)
        return std::strerror(static_cast<int>(id & 0xFFFu));
    thread_local char unknown[32];
    std::snprintf(unknown, sizeof unknown, "unknown error 0x%08X", id);
    return unknown;
}
