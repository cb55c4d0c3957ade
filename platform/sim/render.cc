// Plain-text rendering of recorded print calls.
#include <cstring>
#include <ctime>
#include <string>

#include "sim_internal.h"
#include "tagged.h"

namespace sysmgrsim::detail {
namespace {

// Integer kinds: 4 or 8 bytes; 0x11 prints as signed, 0x15 as unsigned.
std::string render_integer(uint32_t kind, const std::string &bytes) {
    if (bytes.size() == 4) {
        uint32_t v;
        std::memcpy(&v, bytes.data(), sizeof v);
        return kind == CMD_KIND_INT32 ? std::to_string(static_cast<int32_t>(v)) : std::to_string(v);
    }
    if (bytes.size() == 8) {
        uint64_t v;
        std::memcpy(&v, bytes.data(), sizeof v);
        return kind == CMD_KIND_INT32 ? std::to_string(static_cast<int64_t>(v)) : std::to_string(v);
    }
    return "<bad length " + std::to_string(bytes.size()) + ">";
}

// A cmd_tuple time: local time as "Sat Dec  6 11:43:40 2025", no newline.
std::string render_time(const std::string &bytes) {
    if (bytes.size() != 4)
        return "<bad length " + std::to_string(bytes.size()) + ">";
    uint32_t seconds;
    std::memcpy(&seconds, bytes.data(), sizeof seconds);
    time_t t = static_cast<time_t>(seconds);
    struct tm tm;
    char buf[64];
    if (localtime_r(&t, &tm) == nullptr ||
        std::strftime(buf, sizeof buf, "%a %b %e %H:%M:%S %Y", &tm) == 0)
        return std::to_string(seconds);
    return buf;
}

} // namespace

std::string render_value(uint32_t tag, const std::string &bytes) {
    uint32_t kind = CMD_TAG_KIND(tag);
    switch (kind) {
    case CMD_KIND_INT32:
    case CMD_KIND_INT64:
        return render_integer(kind, bytes);
    case CMD_KIND_TIME:
        return render_time(bytes);
    default:
        // Text, and any kind this back end does not know: up to the first NUL.
        return bytes.substr(0, bytes.find('\0'));
    }
}

std::string render_output(sim_format format, const std::vector<Print> &prints) {
    // The tagged renderings name their document after the command served.
    const State &s = state();
    const int32_t command = s.command_override ? s.command : s.scenario.backend.command;
    if (format == SIM_FORMAT_XML)
        return render_xml(command, prints);
    if (format == SIM_FORMAT_JSON)
        return render_json(command, prints);
    std::string out;
    for (const Print &p : prints)
        out += p.text;
    return out;
}

} // namespace sysmgrsim::detail
