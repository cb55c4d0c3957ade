// SPDX-License-Identifier: MIT
// The CLI back end: one receive handle, print calls recorded in order.
#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <string>

#include "sim_internal.h"

namespace {

using sysmgrsim::Print;
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

} // namespace

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

/*
 * The format is literal text in which "%%" prints "%" and the first
 * "%[-][width]s" prints the value of one print argument, padded to width.
 * Any other conversion, and any further "%s", is printed as it stands.
 */
int cmd_prt(void *rx, const char *fmt, ...) {
    if (!valid(rx) || fmt == nullptr)
        return -1;
    Print p{};
    p.kind = Print::Kind::literal;
    p.format = sysmgrsim::detail::text_arg(fmt, kMaxFormat);

    va_list ap;
    va_start(ap, fmt);
    const char *c = p.format.c_str();
    while (*c != '\0') {
        if (*c != '%') {
            p.text += *c++;
            continue;
        }
        if (c[1] == '%') {
            p.text += '%';
            c += 2;
            continue;
        }
        const char *conv = c + 1;
        bool left = *conv == '-';
        if (left)
            ++conv;
        unsigned width = 0;
        while (std::isdigit(static_cast<unsigned char>(*conv)))
            width = std::min(width * 10 + static_cast<unsigned>(*conv++ - '0'), kMaxWidth);
        if (*conv != 's' || p.kind == Print::Kind::value) {
            p.text += *c++;
            continue;
        }
        const auto *arg = va_arg(ap, const cmd_prt_arg_t *);
        p.kind = Print::Kind::value;
        p.tag = arg != nullptr ? arg->tag : 0;
        p.len = arg != nullptr ? arg->len : 0;
        p.value = value_bytes(arg);
        std::string shown =
            arg != nullptr ? sysmgrsim::detail::render_value(p.tag, p.value) : "(null)";
        std::string pad(width > shown.size() ? width - shown.size() : 0, ' ');
        p.text += left ? shown + pad : pad + shown;
        c = conv + 1;
    }
    va_end(ap);
    state().prints.push_back(std::move(p));
    return 0;
}

int cmd_dprt(void *rx, const char *fmt, ...) {
    if (!valid(rx) || fmt == nullptr)
        return -1;
    Print p{};
    p.kind = Print::Kind::dprt;
    p.format = sysmgrsim::detail::text_arg(fmt, kMaxFormat);

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
