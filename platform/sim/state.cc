// SPDX-License-Identifier: MIT
// The simulator's process-wide state, the recordings and their control calls.
#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <type_traits>

#include "sim_internal.h"

namespace sysmgrsim::detail {

// The embedded default is part of the build; failing to load it is a defect.
// Parsed once and kept: a reset copies it rather than parsing it again.
const Scenario &default_scenario() {
    static const Scenario scenario = [] {
        Scenario parsed;
        std::string err;
        if (!parse_scenario(kDefaultScenario, "default scenario", parsed, err)) {
            std::fprintf(stderr, "libsysmgrsim: %s\n", err.c_str());
            std::abort();
        }
        return parsed;
    }();
    return scenario;
}

namespace {

// Hex for what looks like an identifier or a bit pattern (an error
// identifier, a node address, a token) rather than a count.
std::string shown_integer(int64_t v) {
    char buf[32];
    if (v >= 0x10000000 && v <= UINT32_MAX)
        std::snprintf(buf, sizeof buf, "0x%08" PRIX64, static_cast<uint64_t>(v));
    else if (v < -4096 && v >= INT32_MIN)
        std::snprintf(buf, sizeof buf, "0x%08" PRIX32, static_cast<uint32_t>(v));
    else
        std::snprintf(buf, sizeof buf, "%" PRId64, v);
    return buf;
}

std::string hex(int64_t v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "0x%" PRIX64, static_cast<uint64_t>(v));
    return buf;
}

// A text argument, quoted, with control characters escaped.
std::string quoted(const std::string &text) {
    std::string out = "\"";
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20 || u == 0x7f) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\x%02X", u);
            out += esc;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

void replace_all(std::string &text, const std::string &from, const std::string &to) {
    if (from.empty())
        return;
    for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
        text.replace(at, from.size(), to);
}

std::string render_trace(const State &s, const char *root) {
    std::string out = "trace: " + std::to_string(s.calls.size()) + " platform calls\n";
    std::size_t n = 0;
    for (const Call &c : s.calls) {
        char number[16];
        std::snprintf(number, sizeof number, "%4zu  ", ++n);
        std::string line = number + c.name + "(";
        const char *sep = "";
        for (std::size_t i = 0; i < c.args.size(); ++i) {
            const bool as_hex = i < 32 && (c.hex >> i & 1u) != 0;
            line += sep + (as_hex ? hex(c.args[i]) : shown_integer(c.args[i]));
            sep = ", ";
        }
        for (const std::string &t : c.texts) {
            line += sep + quoted(t);
            sep = ", ";
        }
        line += ")";
        if (!c.result.empty())
            line += " = " + c.result;
        out += line + "\n";
    }
    if (!run_log().empty()) {
        std::ifstream log(run_log());
        // A run is logged as its "run" line and an "arg" line per argument
        // (then where its output went); the trace shows it on one line.
        std::vector<std::string> runs;
        for (std::string line; std::getline(log, line);) {
            if (line.rfind("run ", 0) == 0)
                runs.push_back(line.substr(4));
            else if (line.rfind("arg ", 0) == 0 && !runs.empty())
                runs.back() += line.substr(3);
        }
        out += "trace: " + std::to_string(runs.size()) + " utilities run\n";
        n = 0;
        for (const std::string &r : runs) {
            char number[16];
            std::snprintf(number, sizeof number, "%4zu  ", ++n);
            out += number + r + "\n";
        }
    }
    if (root != nullptr)
        replace_all(out, root, "$ROOT");
    return out;
}

// Results as the trace shows them, for the R_ kinds of calls.def.
std::string shown_hex(uint32_t value) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08" PRIX32, value);
    return buf;
}

std::string shown_text(const char *text) {
    return text != nullptr ? quoted(text_arg(text)) : "null";
}

std::string shown_status(int32_t status, void *const *resp, const uint32_t *len) {
    if (status == -1)
        return "-1, errno " + std::to_string(errno) + " (" + std::strerror(errno) + ")";
    if (status != 0)
        return shown_identifier(status);
    if (resp == nullptr || len == nullptr)
        return "0";
    return *resp == nullptr ? "0, no response"
                            : "0, response of " + std::to_string(*len) + " bytes";
}

// An integer argument. An unsigned 32-bit one is an opcode or a node address,
// which the trace shows in hex.
template <typename V>
void add_int(Call &call, V value) {
    if (std::is_same_v<V, uint32_t> && call.args.size() < 32)
        call.hex |= 1u << call.args.size();
    call.args.push_back(static_cast<int64_t>(value));
}

Call &begin_call(std::vector<Call> &calls, const char *name) {
    Call &call = calls.emplace_back();
    call.name = name;
    return call;
}

// The shown result of a call, before the notes its answer made.
void show_result(Call &call, std::string shown) {
    call.result = call.result.empty() ? std::move(shown) : shown + call.result;
}

} // namespace

// One per thread, so that threads of a test can serve commands at once,
// each on its own scenario and with its own recordings.
State &state() {
    thread_local State s = [] {
        State fresh;
        fresh.scenario = default_scenario();
        return fresh;
    }();
    return s;
}

void clear_records(State &s) {
    static_cast<Records &>(s) = Records();
    clear_run_log();
}

void copy_error(std::string message, char *err, std::size_t errlen) {
    for (char &c : message)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = '?';
    if (err != nullptr && errlen > 0)
        std::snprintf(err, errlen, "%s", message.c_str());
}

void note_result(const std::string &note) {
    state().calls.back().result += note;
}

std::string shown_identifier(int32_t err) {
    return shown_integer(err) + " (" + error_text(err) + ")";
}

std::string text_arg(const char *text, std::size_t max) {
    if (text == nullptr)
        return "(null)";
    return std::string(text, strnlen(text, max));
}

} // namespace sysmgrsim::detail

namespace sysmgrsim {

const std::vector<Print> &prints() {
    return detail::state().prints;
}

const std::vector<Call> &calls() {
    return detail::state().calls;
}

std::vector<Call> calls_named(const std::string &name) {
    std::vector<Call> out;
    for (const Call &c : detail::state().calls)
        if (c.name == name)
            out.push_back(c);
    return out;
}

} // namespace sysmgrsim

using sysmgrsim::detail::state;

extern "C" {

void sim_clear_records(void) {
    sysmgrsim::detail::clear_records(state());
}

void sim_set_xml_agent(int xml_agent) {
    state().xml_agent_host = xml_agent != 0;
}

void sim_set_command(int32_t command) {
    state().command_override = true;
    state().command = command;
}

const char *sim_trace(const char *root) {
    auto &s = state();
    s.trace = sysmgrsim::detail::render_trace(s, root);
    return s.trace.c_str();
}

uint32_t sim_answered_start_time(void) {
    return state().answered_start_time;
}

int sim_send_count(void) {
    return state().sends;
}

int sim_output_delivered(void) {
    return state().delivered ? 1 : 0;
}

int sim_queues_bound(void) {
    return static_cast<int>(state().bound.size());
}

int sim_messages_outstanding(void) {
    const auto &messages = state().messages;
    return static_cast<int>(
        std::count_if(messages.begin(), messages.end(), [](const auto &m) { return m.live; }));
}

int sim_images_open(void) {
    const auto &images = state().images;
    return static_cast<int>(
        std::count_if(images.begin(), images.end(), [](const auto &h) { return h->open; }));
}

int sim_image_close_errors(void) {
    return state().image_close_errors;
}

} // extern "C"

/*
 * The platform's entry points, one per row of calls.def: each records its
 * call's arguments, asks the hand-written answer, then records its result
 * r_ as the row shows it.
 */
namespace sim = sysmgrsim::detail;
// clang-format off
#define I(x) sim::add_int(call_, x);
#define W(p, n) if ((p) != nullptr) call_.args.insert(call_.args.end(), (p), (p) + (n));
#define T(p, max) call_.texts.push_back(sim::text_arg(p, max));
#define R_INT std::to_string(r_)
#define R_HEX sim::shown_hex(r_)
#define R_TEXT sim::shown_text(r_)
#define R_POINTER(what) std::string(r_ != nullptr ? what : "null")
#define R_STATUS(resp, len) sim::shown_status(r_, resp, len)
#define CALL(ret, name, params, args, ints, texts, result, outs, members)                          \
    extern "C" ret name params {                                                                   \
        auto &calls_ = sim::state().calls;                                                         \
        const std::size_t at_ = calls_.size();                                                     \
        [[maybe_unused]] sysmgrsim::Call &call_ = sim::begin_call(calls_, #name);                  \
        ints texts                                                                                 \
        ret r_ = sim::answer::name args;                                                           \
        const int errno_ = errno; /* as the answer left it */                                      \
        sim::show_result(calls_[at_], result);                                                     \
        errno = errno_;                                                                            \
        return r_;                                                                                 \
    }
// clang-format on
#include "../calls.def"
#undef CALL
#undef R_STATUS
#undef R_POINTER
#undef R_TEXT
#undef R_HEX
#undef R_INT
#undef T
#undef W
#undef I
