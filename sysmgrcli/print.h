/*
 * SPDX-License-Identifier: MIT
 * Tagged values printed into the CLI back end's receive handle, the way every
 * report prints them: the value goes into a print argument, then through
 * cmd_prt(rx, "%s", &arg). The back end reads the value during the cmd_prt
 * call, so each helper's own buffer and argument are enough. Internal.
 */
#ifndef SYSMGRCLI_PRINT_H
#define SYSMGRCLI_PRINT_H

#include <cstddef>
#include <cstdint>

#include "platform/cli.h"

namespace sysmgrcli {

/* Size of the buffer a text value is formatted into; longer texts are cut. */
constexpr std::size_t kValueBufferSize = 50;

/*
 * Prints text (cut to 49 characters; null prints as empty) as a text value
 * with the given tag; the value length counts the terminating NUL. Returns
 * cmd_prt's result.
 */
int print_text_value(void *rx, uint32_t tag, const char *text);
/* The same for a text made from a printf format. */
int print_formatted_value(void *rx, uint32_t tag, const char *format, ...) PLATFORM_PRINTF(3, 4);
/* Prints a 32-bit integer value (length 4). Returns cmd_prt's result. */
int print_uint32_value(void *rx, uint32_t tag, uint32_t value);
/*
 * Prints len bytes at value as one value with the given tag, through format
 * ("%s", or "%10s" for a right-aligned column). Returns cmd_prt's result.
 */
int print_value(void *rx, uint32_t tag, const void *value, uint32_t len, const char *format = "%s");
/*
 * Prints a terminated text as it stands, however long; the caller has
 * bounded it. The value length counts the terminating NUL.
 */
int print_text(void *rx, uint32_t tag, const char *text);

/*
 * Copies text into a field of size bytes, always terminated: at most
 * text_max bytes of the text are read, so one that is unterminated within
 * its own field is never read past it, and at most size - 1 are copied. A
 * null text copies as empty.
 */
void copy_text(char *field, std::size_t size, const char *text, std::size_t text_max = SIZE_MAX);

/*
 * snprintf into a field of size bytes where cutting the text to fit is
 * intended; an empty text when formatting fails.
 */
void format_text(char *field, std::size_t size, const char *format, ...) PLATFORM_PRINTF(3, 4);
/* The same after the terminated text already in field, cut so it stays terminated. */
void append_text(char *field, std::size_t size, const char *format, ...) PLATFORM_PRINTF(3, 4);

/* A count of seconds as days, hours, minutes and seconds. */
struct Duration {
    uint32_t days;
    uint32_t hours;
    uint32_t minutes;
    uint32_t seconds;
};

constexpr Duration split_seconds(uint32_t s) {
    return Duration{s / 86400u, s % 86400u / 3600u, s % 3600u / 60u, s % 60u};
}

/*
 * How a duration line is printed: the tags of its four values and the
 * literal text after each, e.g. " days, " ... " seconds\n".
 */
struct DurationStyle {
    uint32_t tags[4];
    const char *words[4];
};

/* Prints the four values of seconds, each followed by its word. */
int print_duration(void *rx, const DurationStyle &style, uint32_t seconds);

} // namespace sysmgrcli

#endif
