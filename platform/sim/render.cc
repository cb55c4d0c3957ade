// Plain-text rendering of recorded print calls, and the decoding of integer
// and time values that the tagged renderings share.
#include <cstring>
#include <ctime>
#include <string>

#include "sim_internal.h"
#include "tagged.h"

namespace sysmgrsim::detail {
namespace {

// A time as local time, "Sat Dec  6 11:43:40 2025" (no newline).
std::string local_time_text(time_t t) {
    struct tm tm;
    char buf[64];
    if (localtime_r(&t, &tm) == nullptr ||
        std::strftime(buf, sizeof buf, "%a %b %e %H:%M:%S %Y", &tm) == 0)
        return std::to_string(t);
    return buf;
}

} // namespace

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

std::string render_value(uint32_t tag, const std::string &bytes) {
    const uint32_t kind = CMD_TAG_KIND(tag);
    uint64_t number;
    bool is_signed;
    time_t seconds;
    switch (kind) {
    case CMD_KIND_INT32:
    case CMD_KIND_INT64:
        if (value_integer(kind, bytes, number, is_signed))
            return is_signed ? std::to_string(static_cast<int64_t>(number))
                             : std::to_string(number);
        break;
    case CMD_KIND_TIME:
        if (value_seconds(bytes, seconds))
            return local_time_text(seconds);
        break;
    default:
        // Text, and any kind this back end does not know: up to the first NUL.
        return bytes.substr(0, bytes.find('\0'));
    }
    return "<bad length " + std::to_string(bytes.size()) + ">";
}

/*
 * The two ways a report ends before its last section: the line printed when
 * "/proc/meminfo" cannot be opened, and the line written on the standard
 * output when the BIOS record cannot be allocated ("<function>: Memory
 * failure for module <slot>"). A failed host-name or peer request does not
 * end a report.
 */
bool report_complete(const State &s) {
    for (const Print &p : s.prints) {
        if (p.kind == Print::Kind::literal && p.text == "error: failed to read /proc/meminfo\n")
            return false;
    }
    for (const StreamLine &line : s.stream_lines) {
        if (line.stream == 1 && line.text.find(": Memory failure for module ") != std::string::npos)
            return false;
    }
    return true;
}

std::string render_output(sim_format format, const std::vector<Print> &prints) {
    // The tagged renderings name their document after the command served.
    const State &s = state();
    const int32_t command = s.command_override ? s.command : s.scenario.backend.command;
    if (format == SIM_FORMAT_XML || format == SIM_FORMAT_JSON) {
        DocumentNotes notes;
        for (const StreamLine &line : s.stream_lines)
            notes.messages.push_back(
                {line.stream == 1 ? "stdout" : "stderr", clean_text(line.text)});
        notes.complete = report_complete(s);
        notes.files_source = s.files_captured ? "capture" : "scenario";
        return format == SIM_FORMAT_XML ? render_xml(command, prints, notes)
                                        : render_json(command, prints, notes);
    }
    std::string out;
    for (const Print &p : prints)
        out += p.text;
    return out;
}

} // namespace sysmgrsim::detail
