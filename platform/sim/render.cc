// SPDX-License-Identifier: MIT
// Plain-text rendering of recorded print calls, and the decoding of integer
// and time values that the tagged renderings share.
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <string>

#include "sim_internal.h"
#include "sysmgrsim/tags.h"
#include "tagged.h"

namespace sysmgrsim::detail {
namespace {

// A time in local time by a strftime() format; its number when it cannot be shown.
std::string local_time(time_t t, const char *format) {
    struct tm tm;
    char buf[64];
    if (localtime_r(&t, &tm) == nullptr || std::strftime(buf, sizeof buf, format, &tm) == 0)
        return std::to_string(t);
    return buf;
}

// A time as local time, "Sat Dec  6 11:43:40 2025" (no newline).
std::string local_time_text(time_t t) {
    return local_time(t, "%a %b %e %H:%M:%S %Y");
}

// A time as ISO 8601 in the local zone with its offset, "2025-12-05T07:14:09+00:00".
std::string iso_time(time_t t) {
    const std::string text = local_time(t, "%Y-%m-%dT%H:%M:%S%z");
    const std::size_t n = text.size();
    if (n <= 5 || (text[n - 5] != '+' && text[n - 5] != '-'))
        return text;
    return text.substr(0, n - 2) + ":" + text.substr(n - 2); // +0000 -> +00:00
}

std::string trimmed(const std::string &text) {
    const auto first = text.find_first_not_of(" \t");
    return first == std::string::npos
               ? ""
               : text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The first value of each field name, decoded.
std::map<std::string, TaggedValue> first_values(const std::vector<Print> &prints) {
    std::map<std::string, TaggedValue> values;
    for (const Print &p : prints) {
        if (p.kind == Print::Kind::value) {
            TaggedValue v = decode_tagged(p);
            values.emplace(v.name, std::move(v));
        }
    }
    return values;
}

// The plug-in names: the formatted prints after the "plugin" heading, up to the next other text.
std::vector<std::string> plugin_names(const std::vector<Print> &prints) {
    std::vector<std::string> names;
    bool listing = false;
    for (const Print &p : prints) {
        if (p.kind == Print::Kind::literal)
            listing = p.text == "\nplugin\n  " || (listing && p.text == ", ");
        else if (listing && p.kind == Print::Kind::dprt)
            names.push_back(clean_text(p.text));
        else
            listing = false;
    }
    return names;
}

void normalise(const State &s, const std::vector<Print> &prints, int32_t command,
               DocumentNotes &notes) {
    const std::map<std::string, TaggedValue> values = first_values(prints);
    const auto has = [&values](const char *name) { return values.count(name) != 0; };
    const auto number = [&values](const std::string &name) {
        const TaggedValue &v = values.at(name);
        return v.is_signed ? v.signed_number : static_cast<int64_t>(v.unsigned_number);
    };
    auto &out = notes.normalised;
    if (has("system_start_time")) {
        out.push_back({"system_start_time", false, 0, iso_time(s.answered_start_time)});
        out.push_back({"system_start_epoch", true, s.answered_start_time, ""});
    }
    for (const char *uptime : {"system_uptime", "kernel_uptime", "active_supervisor_uptime"}) {
        const std::string part = uptime;
        if (has((part + "_days").c_str()) && has((part + "_seconds").c_str()))
            out.push_back({uptime, true,
                           ((number(part + "_days") * 24 + number(part + "_hours")) * 60 +
                            number(part + "_minutes")) *
                                   60 +
                               number(part + "_seconds"),
                           ""});
    }
    for (const char *slot : {"this_supervisor", "other_supervisor"}) {
        const std::string name = std::string(slot) + "_name";
        int n = 0;
        if (has(name.c_str()) && std::sscanf(values.at(name).text.c_str(), "(sup-%d)", &n) == 1)
            out.push_back({slot == std::string("this_supervisor") ? "this_supervisor_slot"
                                                                  : "other_supervisor_slot",
                           true, n, ""});
    }
    for (const char *compiled :
         {"bios_compile_time", "kickstart_compile_time", "system_compile_time"}) {
        if (has(compiled))
            out.push_back({compiled, false, 0, trimmed(values.at(compiled).text)});
    }
    for (const Print &p : prints) {
        time_t reset = 0;
        if (p.kind == Print::Kind::value && tag_field_name(p.tag) == "last_reset_time" &&
            value_seconds(p.value, reset)) {
            out.push_back({"last_reset_time", false, 0, iso_time(reset)});
            out.push_back({"last_reset_epoch", true, static_cast<int64_t>(reset), ""});
            break;
        }
    }
    if (command == 107) {
        notes.has_plugins = true;
        notes.plugins = plugin_names(prints);
    }
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
            notes.messages.push_back({line.stream == 1   ? "stdout"
                                      : line.stream == 2 ? "stderr"
                                                         : "host",
                                      clean_text(line.text)});
        // Nothing sent: the document says so and keeps only the messages that say why.
        const std::vector<Print> none;
        const std::vector<Print> &sent = s.delivered ? prints : none;
        notes.delivered = s.delivered;
        normalise(s, sent, command, notes);
        notes.complete = s.delivered && report_complete(s);
        notes.files_source = s.files_captured ? "capture" : "scenario";
        return format == SIM_FORMAT_XML ? render_xml(command, sent, notes)
                                        : render_json(command, sent, notes);
    }
    std::string out;
    for (const Print &p : prints)
        out += p.text;
    return out;
}

} // namespace sysmgrsim::detail
