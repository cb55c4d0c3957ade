// Tagged value printers shared by the reports.
#include "print.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/cli.h"

namespace sysmgrcli {

namespace {

/* Prints a value buffer as one text value; the length counts its NUL. */
int print_buffer(void *rx, uint32_t tag, const char *buffer) {
    cmd_prt_arg_t arg;
    cmd_prt_arg_make(&arg, tag, buffer, static_cast<uint32_t>(std::strlen(buffer) + 1));
    return cmd_prt(rx, "%s", &arg);
}

} // namespace

int print_text_value(void *rx, uint32_t tag, const char *text) {
    return print_formatted_value(rx, tag, "%s", text);
}

int print_formatted_value(void *rx, uint32_t tag, const char *format, ...) {
    char buffer[kValueBufferSize];
    va_list args;
    va_start(args, format);
    // A failed format leaves an empty text rather than stale bytes.
    if (std::vsnprintf(buffer, sizeof buffer, format, args) < 0)
        buffer[0] = '\0';
    va_end(args);
    return print_buffer(rx, tag, buffer);
}

int print_uint32_value(void *rx, uint32_t tag, uint32_t value) {
    cmd_prt_arg_t arg;
    cmd_prt_arg_make(&arg, tag, &value, sizeof value);
    return cmd_prt(rx, "%s", &arg);
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
