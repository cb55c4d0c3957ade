// SPDX-License-Identifier: MIT
// The CLI back end: one receive handle, print calls recorded in order with
// their plain text.
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "../print_format.h"
#include "sim_internal.h"

namespace sysmgrsim {

bool value_integer(uint32_t kind, const std::string &bytes, uint64_t &out, bool &is_signed) {
    if (bytes.size() == 4) {
        uint32_t word;
        std::memcpy(&word, bytes.data(), sizeof word);
        is_signed = kind == CMD_KIND_INT32;
        out = is_signed ? static_cast<uint64_t>(static_cast<int32_t>(word)) : word;
        return true;
    }
    if (bytes.size() == 8) {
        std::memcpy(&out, bytes.data(), sizeof out);
        is_signed = false;
        return true;
    }
    return false;
}

bool value_seconds(const std::string &bytes, time_t &out) {
    uint32_t seconds;
    if (bytes.size() != sizeof seconds)
        return false;
    std::memcpy(&seconds, bytes.data(), sizeof seconds);
    out = static_cast<time_t>(seconds);
    return true;
}

} // namespace sysmgrsim

namespace {

using sysmgrsim::Print;
using sysmgrsim::value_integer;
using sysmgrsim::value_seconds;
using sysmgrsim::detail::state;

// Value bytes are copied at the call; more than this is a caller's fault.
constexpr uint32_t kMaxValueBytes = 1u << 20;
constexpr std::size_t kMaxFormat = 65536;
constexpr unsigned kMaxWidth = 1000;

// The handle of the one request being served.
struct ReceiveHandle {
    int unused;
} g_rx;

bool valid(void *rx) {
    return rx == &g_rx;
}

// The value behind a print argument, copied exactly len bytes.
std::string value_bytes(const cmd_prt_arg_t *arg) {
    if (arg == nullptr || arg->value == nullptr)
        return {};
    return std::string(static_cast<const char *>(arg->value), std::min(arg->len, kMaxValueBytes));
}

// cmd_tuple's argument and value; valid until the thread's next cmd_tuple call.
thread_local cmd_prt_arg_t g_tuple_arg;
thread_local uint32_t g_tuple_value;

// The plain text of a value from its tag and the bytes copied from its print argument.
std::string render_value(uint32_t tag, const std::string &bytes) {
    const uint32_t kind = CMD_TAG_KIND(tag);
    uint64_t number;
    bool is_signed;
    time_t seconds;
    struct tm tm;
    char text[64];
    if (kind != CMD_KIND_INT32 && kind != CMD_KIND_INT64 && kind != CMD_KIND_TIME)
        return bytes.substr(0, bytes.find('\0')); // text, or a kind not known here
    if (kind != CMD_KIND_TIME && value_integer(kind, bytes, number, is_signed))
        return is_signed ? std::to_string(static_cast<int64_t>(number)) : std::to_string(number);
    if (kind != CMD_KIND_TIME || !value_seconds(bytes, seconds))
        return "<bad length " + std::to_string(bytes.size()) + ">";
    // Local time, "Sat Dec  6 11:43:40 2025"; its number when it cannot be shown.
    if (localtime_r(&seconds, &tm) == nullptr ||
        std::strftime(text, sizeof text, "%a %b %e %H:%M:%S %Y", &tm) == 0)
        return std::to_string(seconds);
    return text;
}

} // namespace

namespace sysmgrsim {

Print print_of(const std::string &format, const cmd_prt_arg_t *arg) {
    // Literal text with "%%" as '%'; anything else as it stands.
    auto literal = [](const std::string &text) {
        std::string out;
        for (std::size_t i = 0; i < text.size(); ++i) {
            out += text[i];
            i += text[i] == '%' && i + 1 < text.size() && text[i + 1] == '%' ? 1 : 0;
        }
        return out;
    };
    const auto c = print_conversion(format.data(), format.size(), kMaxWidth);
    if (c.end == 0)
        return {Print::Kind::literal, 0, 0, literal(format), ""};
    Print p{Print::Kind::value, arg != nullptr ? arg->tag : 0, arg != nullptr ? arg->len : 0, "",
            value_bytes(arg)};
    const std::string shown = arg != nullptr ? render_value(p.tag, p.value) : "(null)";
    const std::string pad(c.width > shown.size() ? c.width - shown.size() : 0, ' ');
    p.text = literal(format.substr(0, c.begin)) + (c.left ? shown + pad : pad + shown) +
             literal(format.substr(c.end));
    return p;
}

} // namespace sysmgrsim

namespace sysmgrsim::detail {

void print_line(void *rx, const std::string &line) {
    if (valid(rx))
        state().prints.push_back({Print::Kind::dprt, 0, 0, line + "\n", ""});
}

} // namespace sysmgrsim::detail

namespace sysmgrsim::detail::answer {

void *cmd_paraminfo_to_rxhandle(const cli_context_t *) {
    return state().scenario.backend.rx_null ? nullptr : &g_rx;
}

int32_t cmd_req_cmdId_getnext(void *rx) {
    const auto &s = state();
    if (!valid(rx))
        return -1;
    return s.command_override ? s.command : s.scenario.backend.command;
}

int cmd_req_is_xmlagent(void *rx) {
    const auto &s = state();
    return valid(rx) && (s.scenario.backend.xml_agent || s.xml_agent_host) ? 1 : 0;
}

int cmd_prt_send(void *rx) {
    auto &s = state();
    ++s.sends;
    int result = valid(rx) ? s.scenario.backend.send_result : -1;
    s.delivered = result == 0;
    return result;
}

} // namespace sysmgrsim::detail::answer

extern "C" {

int cmd_prt_arg_make(cmd_prt_arg_t *arg, uint32_t tag, const void *value, uint32_t len) {
    if (arg == nullptr)
        return -1;
    arg->tag = tag;
    arg->len = len;
    arg->value = value;
    return 0;
}

int cmd_prt(void *rx, const char *fmt, ...) {
    if (!valid(rx) || fmt == nullptr)
        return -1;
    const cmd_prt_arg_t *arg = nullptr;
    const std::string format = sysmgrsim::detail::text_arg(fmt, kMaxFormat);
    if (const auto c = print_conversion(format.data(), format.size(), kMaxWidth); c.end > 0) {
        va_list ap;
        va_start(ap, fmt);
        arg = va_arg(ap, const cmd_prt_arg_t *);
        va_end(ap);
    }
    state().prints.push_back(sysmgrsim::print_of(format, arg));
    return 0;
}

int cmd_dprt(void *rx, const char *fmt, ...) {
    if (!valid(rx) || fmt == nullptr)
        return -1;
    Print p{};
    p.kind = Print::Kind::dprt;

    va_list ap;
    va_start(ap, fmt);
    va_list again;
    va_copy(again, ap);
    char small[1024];
    int n = std::vsnprintf(small, sizeof small, fmt, ap);
    if (n >= static_cast<int>(sizeof small)) {
        std::string big(std::min<std::size_t>(static_cast<std::size_t>(n), kMaxValueBytes) + 1,
                        '\0');
        std::vsnprintf(big.data(), big.size(), fmt, again);
        big.pop_back();
        p.text = std::move(big);
    } else if (n > 0) {
        p.text.assign(small, static_cast<std::size_t>(n));
    }
    va_end(again);
    va_end(ap);
    state().prints.push_back(std::move(p));
    return n < 0 ? -1 : 0;
}

cmd_prt_arg_t *cmd_tuple(uint32_t tag, const uint32_t *value) {
    g_tuple_value = value != nullptr ? *value : 0;
    cmd_prt_arg_make(&g_tuple_arg, tag, value != nullptr ? &g_tuple_value : nullptr,
                     sizeof g_tuple_value);
    return &g_tuple_arg;
}

int sim_serve_report(const cli_context_t *context, int (*report)(int32_t, void *)) {
    void *rx = cmd_paraminfo_to_rxhandle(context);
    const int result = report(context->mts_q, rx);
    cmd_prt_send(rx);
    return result;
}

} // extern "C"
