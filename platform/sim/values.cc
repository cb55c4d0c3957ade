// SPDX-License-Identifier: MIT
// The back end's reading of a print argument's bytes, and its plain text.
#include <cstring>
#include <ctime>
#include <string>

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

namespace sysmgrsim::detail {

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

} // namespace sysmgrsim::detail
