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
using sysmgrsim::detail::note_result;
using sysmgrsim::detail::State;
using sysmgrsim::detail::state;
using sysmgrsim::detail::SupervisorAnswer;

// Error identifiers of this System Manager (texts in kErrors).
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
    {0x40AA0012, "System Manager not ready"},
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
    note_result(", mts errno " + std::to_string(err) + " (" + std::strerror(err) + ")");
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
    std::memset(msg, 0, MTS_MSG_SIZE);
    std::memcpy(msg, &ref, sizeof ref);
}

template <typename R>
std::unique_ptr<unsigned char[]> payload_of(const R &rsp) {
    auto p = std::make_unique<unsigned char[]>(sizeof rsp);
    std::memcpy(p.get(), &rsp, sizeof rsp);
    return p;
}

// The payload answering a request, laid out as platform/records.h says.
std::unique_ptr<unsigned char[]> answer_payload(const State &s, uint32_t opcode) {
    if (opcode == SYSMGR_OPC_SCOPE_DONE) {
        sysmgr_scope_done_rsp_t rsp{};
        rsp.scope_done = s.scenario.scope_done;
        rsp.uptime_base = s.scenario.uptime_base;
        rsp.start_time = s.scenario.start_time;
        return payload_of(rsp);
    }
    sysmgr_prior_uptime_rsp_t rsp{};
    rsp.prior_uptime = s.scenario.prior_uptime;
    return payload_of(rsp);
}

// Unless a request's outputs are given and its queue is usable: errno set.
bool refused(const State &s, void **resp, uint32_t *len, int32_t q) {
    if (resp != nullptr && len != nullptr && usable(s, q))
        return false;
    errno = resp == nullptr || len == nullptr ? EFAULT : EBADF;
    return true;
}

/*
 * A supervisor's or the host name's answer a: its failure, or a heap
 * response of length bytes, the n bytes given cut or zero-padded; or, with
 * null_response, success without any response.
 */
template <typename Answer>
int32_t respond(const Answer &a, const void *bytes, std::size_t n, uint32_t length, void **resp,
                uint32_t *len) {
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
    void *block = std::calloc(length > 0 ? length : 1, 1);
    if (block == nullptr) {
        errno = ENOMEM;
        return -1;
    }
    std::memcpy(block, bytes, std::min<std::size_t>(length, n));
    *resp = block;
    *len = length;
    return 0;
}

int32_t answer_supervisor(const SupervisorAnswer &a, void **resp, uint32_t *len) {
    return respond(a, a.words, sizeof a.words, a.length, resp, len);
}

} // namespace

namespace sysmgrsim::detail::answer {

int32_t mts_bind(int32_t kind, int32_t, int32_t, const char *) {
    State &s = state();
    if (kind == kBindDefaultVdc && s.scenario.mts.default_vdc_bind_errno != 0)
        return fail(s, 0, s.scenario.mts.default_vdc_bind_errno);
    if (s.scenario.mts.bind_errno != 0)
        return fail(s, 0, s.scenario.mts.bind_errno);
    int32_t q = s.scenario.mts.first_queue + s.binds_done++;
    s.bound.insert(q);
    return q;
}

int mts_unbind(int32_t q, int32_t) {
    State &s = state();
    if (s.bound.erase(q) == 0)
        return fail(s, q, EBADF);
    s.queues.erase(q);
    return 0;
}

int mts_send(int32_t q, const uint32_t dest[2], uint32_t opcode, int32_t, int32_t, void *msg,
             int32_t, int32_t) {
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
    return 0;
}

uint32_t mts_rr_token_get(void *msg) {
    Message *m = find_message(state(), msg);
    return m != nullptr ? m->token : 0;
}

int mts_drop(int32_t q, void *msg) {
    State &s = state();
    Message *m = find_message(s, msg);
    if (m == nullptr)
        return fail(s, q, EINVAL);
    m->live = false;
    m->payload.reset();
    return 0;
}

/*
 * Answers the last request sent on the queue. The first "interrupts"
 * receives of an exchange fail with errno 4, then recv_errno (if any) fails
 * every receive; options word 3 must carry the request's token, or the
 * receive times out (errno 110), as it does for an opcode nobody answers.
 */
int mts_recv(int32_t q, void *msg, int32_t opts[MTS_RECV_OPTS_WORDS]) {
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
    return 0;
}

void *mts_payload_get(void *msg) {
    Message *m = find_message(state(), msg);
    return m != nullptr ? m->payload.get() : nullptr;
}

int mts_errno_get(int32_t q) {
    const State &s = state();
    auto it = s.errnos.find(q);
    return it != s.errnos.end() ? it->second : 0;
}

/*
 * 0x9C3 (service 3) answers from supervisors.local, 0x394 (service 37)
 * with the host name. Like a real transport, a request on a queue handle
 * that is neither bound nor the back end's own fails with EBADF. On failure
 * the response pointer is left as it was.
 */
int32_t cmi_req_resp(uint32_t opcode, int32_t, int32_t, void **resp, uint32_t *len, const char *,
                     const char *, int32_t service, int32_t q, int32_t) {
    const State &s = state();
    if (refused(s, resp, len, q))
        return -1;
    if (opcode == SYSMGR_OPC_REDUNDANCY_STATUS)
        return service == SYSMGR_CMI_SERVICE ? answer_supervisor(s.scenario.local, resp, len)
                                             : kErrService;
    if (opcode != SYSMGR_OPC_HOSTNAME)
        return kErrOpcode;
    if (service != 37)
        return kErrService;
    const auto &h = s.scenario.hostname; /* the name, with its NUL unless left out */
    const auto length = static_cast<uint32_t>(h.name.size() + (h.terminated ? 1 : 0));
    return respond(h, h.name.data(), h.name.size(), length, resp, len);
}

/* 0x9C3 to the node named by supervisors.local's peer_node only; the queue as above. */
int32_t cmi_remote_req_resp(uint32_t opcode, int32_t, int32_t, void **resp, uint32_t *len,
                            const char *, const char *, int32_t service, uint32_t node, int32_t q,
                            int32_t) {
    const State &s = state();
    if (refused(s, resp, len, q))
        return -1;
    if (node != s.scenario.local.words[5])
        return kErrNode;
    if (opcode != SYSMGR_OPC_REDUNDANCY_STATUS)
        return kErrOpcode;
    if (service != SYSMGR_CMI_SERVICE)
        return kErrService;
    return answer_supervisor(s.scenario.peer, resp, len);
}

const char *syserr2str(int32_t err) {
    return error_text(err);
}

uint64_t timer_get_cycles(void) {
    return state().scenario.timer.cycles;
}

uint64_t timer_diff_cycle_in_msec(uint64_t later, uint64_t earlier) {
    const auto &timer = state().scenario.timer;
    return timer.elapsed_msec ? *timer.elapsed_msec : (later - earlier) / timer.cycles_per_msec;
}

} // namespace sysmgrsim::detail::answer

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
