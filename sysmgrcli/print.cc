// SPDX-License-Identifier: MIT
// Tagged value printers shared by the reports.
#include "print.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/cli.h"

namespace sysmgrcli {

int print_value(void *rx, uint32_t tag, const void *value, uint32_t len, const char *format) {
    cmd_prt_arg_t arg;
    cmd_prt_arg_make(&arg, tag, value, len);
    return cmd_prt(rx, format, &arg);
}

int print_text(void *rx, uint32_t tag, const char *text) {
    return print_value(rx, tag, text, static_cast<uint32_t>(std::strlen(text) + 1));
}

int print_text_value(void *rx, uint32_t tag, const char *text) {
    char buffer[kValueBufferSize];
    copy_text(buffer, sizeof buffer, text);
    return print_text(rx, tag, buffer);
}

namespace {

void vformat_text(char *field, std::size_t size, const char *format, va_list args) {
    // A failed format would leave an empty text rather than stale bytes; but
    // vsnprintf fails only on a text over INT_MAX bytes, which no field holds.
    // GCOVR_EXCL_START
    if (std::vsnprintf(field, size, format, args) < 0)
        field[0] = '\0';
    // GCOVR_EXCL_STOP
}

} // namespace

void format_text(char *field, std::size_t size, const char *format, ...) {
    va_list args;
    va_start(args, format);
    vformat_text(field, size, format, args);
    va_end(args);
}

void append_text(char *field, std::size_t size, const char *format, ...) {
    const std::size_t used = strnlen(field, size - 1);
    va_list args;
    va_start(args, format);
    vformat_text(field + used, size - used, format, args);
    va_end(args);
}

int print_formatted_value(void *rx, uint32_t tag, const char *format, ...) {
    char buffer[kValueBufferSize];
    va_list args;
    va_start(args, format);
    vformat_text(buffer, sizeof buffer, format, args);
    va_end(args);
    return print_text(rx, tag, buffer);
}

int print_uint32_value(void *rx, uint32_t tag, uint32_t value) {
    return print_value(rx, tag, &value, sizeof value);
}

void copy_text(char *field, std::size_t size, const char *text, std::size_t text_max) {
    const std::size_t n = text != nullptr ? strnlen(text, std::min(text_max, size - 1)) : 0;
    if (n > 0) // memcpy must not be given a null text, even for no bytes
        std::memcpy(field, text, n);
    field[n] = '\0';
}

int print_duration(void *rx, const DurationStyle &style, uint32_t seconds) {
    const Duration d = split_seconds(seconds);
    const uint32_t parts[4] = {d.days, d.hours, d.minutes, d.seconds};
    int rc = 0;
    for (int i = 0; i < 4; ++i) {
        print_uint32_value(rx, style.tags[i], parts[i]);
        rc = cmd_prt(rx, style.words[i]);
    }
    return rc;
}

} // namespace sysmgrcli
