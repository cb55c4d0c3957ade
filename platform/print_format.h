/*
 * SPDX-License-Identifier: MIT
 * The one conversion a print call's format holds: the first "%[-][width]s"
 * prints the value of one print argument, padded to width; "%%" prints '%',
 * and anything else, a further "%s" included, prints as it stands. The
 * simulator renders print calls by it, and the capture module reads the
 * print argument by it. Not installed; usable from C++ without its library.
 */
#ifndef PLATFORM_PRINT_FORMAT_H
#define PLATFORM_PRINT_FORMAT_H

#include <stddef.h>

struct PrintConversion {
    size_t begin = 0, end = 0; /* [begin, end) of the n bytes; begin == end: none */
    bool left = false;         /* "%-": the value first, then the padding */
    unsigned width = 0;        /* at most the maximum asked for */
};

inline PrintConversion print_conversion(const char *fmt, size_t n, unsigned max_width) {
    PrintConversion c;
    for (size_t i = 0; i < n; ++i) {
        if (fmt[i] != '%')
            continue;
        if (i + 1 < n && fmt[i + 1] == '%') {
            ++i;
            continue;
        }
        size_t at = i + 1;
        c.left = at < n && fmt[at] == '-';
        at += c.left ? 1 : 0;
        c.width = 0;
        for (; at < n && fmt[at] >= '0' && fmt[at] <= '9'; ++at) {
            const unsigned width = c.width * 10 + static_cast<unsigned>(fmt[at] - '0');
            c.width = width < max_width ? width : max_width;
        }
        if (at < n && fmt[at] == 's') {
            c.begin = i;
            c.end = at + 1;
            return c;
        }
    }
    return PrintConversion{};
}

#endif
