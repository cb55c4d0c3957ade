// SPDX-License-Identifier: MIT
#include "printed.h"

#include <cstdio>

namespace printed {

std::string id(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
    return text;
}

std::string hex(const std::string &bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(2 * bytes.size());
    for (const unsigned char c : bytes)
        out.append({kDigits[c >> 4], kDigits[c & 15]});
    return out;
}

} // namespace printed
