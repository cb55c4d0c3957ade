// SPDX-License-Identifier: MIT
// The plain text, the values every document normalises, and the dispatch
// to the document formats.
#include "render.h"

#include <cstdio>
#include <ctime>
#include <map>
#include <string>

#include <nlohmann/json.hpp>

#include "tagged.h"

namespace render {
namespace {

using sysmgrsim::Print;

// A time as ISO 8601 in the local zone with its offset, "2025-12-05T07:14:09+00:00";
// its number when it cannot be shown.
std::string iso_time(time_t t) {
    struct tm tm;
    char buf[64];
    if (localtime_r(&t, &tm) == nullptr ||
        std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S%z", &tm) == 0)
        return std::to_string(t);
    const std::string text = buf;
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

void normalise(const Command &c, const std::vector<Print> &prints, DocumentNotes &notes) {
    const std::map<std::string, TaggedValue> values = first_values(prints);
    const auto has = [&values](const char *name) { return values.count(name) != 0; };
    const auto number = [&values](const std::string &name) {
        const TaggedValue &v = values.at(name);
        return v.is_signed ? v.signed_number : static_cast<int64_t>(v.unsigned_number);
    };
    auto &out = notes.normalised;
    if (has("system_start_time")) {
        out.push_back({"system_start_time", false, 0, iso_time(c.start_time)});
        out.push_back({"system_start_epoch", true, c.start_time, ""});
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
            sysmgrsim::value_seconds(p.value, reset)) {
            out.push_back({"last_reset_time", false, 0, iso_time(reset)});
            out.push_back({"last_reset_epoch", true, static_cast<int64_t>(reset), ""});
            break;
        }
    }
    if (c.id == kVersionCommand) {
        notes.has_plugins = true;
        notes.plugins = plugin_names(prints);
    }
}

/*
 * A JSON document as one "path=value" line per value, for grep and the
 * shell: the path joins the member names with ".", list items by index; a
 * text value is written without quotes, with "\\" and "\n" for its
 * backslashes and line ends.
 */
void key_value_lines(const nlohmann::ordered_json &value, const std::string &path,
                     std::string &out) {
    if (value.is_object()) {
        for (const auto &[key, member] : value.items())
            key_value_lines(member, path.empty() ? key : path + "." + key, out);
        return;
    }
    if (value.is_array()) {
        for (std::size_t i = 0; i < value.size(); ++i)
            key_value_lines(value[i], path + "." + std::to_string(i), out);
        return;
    }
    const std::string text = value.is_string() ? value.get<std::string>() : value.dump();
    out += path + "=";
    for (const char c : text)
        out += c == '\\' ? "\\\\" : c == '\n' ? "\\n" : std::string(1, c);
    out += '\n';
}

} // namespace

std::string text(const std::vector<Print> &prints) {
    std::string out;
    for (const Print &p : prints)
        out += p.text;
    return out;
}

bool complete(int32_t command, const std::vector<Print> &prints) {
    if (command != kVersionCommand)
        return true;
    namespace tags = sysmgrcli::tags;
    for (const Print &p : prints)
        if (p.kind == Print::Kind::value &&
            (p.tag == tags::version::device_name || p.tag == tags::version2::device_name))
            return true;
    return false;
}

std::string render(Format format, const Command &c) {
    if (format == Format::text)
        return c.delivered ? text(c.prints) : "";
    DocumentNotes notes;
    for (const StreamLine &line : c.lines)
        notes.messages.push_back({line.stream == 1   ? "stdout"
                                  : line.stream == 2 ? "stderr"
                                                     : "host",
                                  clean_text(line.text)});
    // Nothing sent: the document says so and keeps only the messages that say why.
    const std::vector<Print> none;
    const std::vector<Print> &sent = c.delivered ? c.prints : none;
    notes.delivered = c.delivered;
    normalise(c, sent, notes);
    notes.complete = c.delivered && complete(c.id, c.prints);
    notes.files_source = c.files_captured ? "capture" : "scenario";
    if (format == Format::xml)
        return render_xml(c.id, sent, notes);
    const std::string json = render_json(c.id, sent, notes);
    if (format == Format::json)
        return json;
    std::string out;
    key_value_lines(nlohmann::ordered_json::parse(json), "", out);
    return out;
}

} // namespace render
