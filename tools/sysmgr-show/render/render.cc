// SPDX-License-Identifier: MIT
// The plain text of a command, and its documents: the tagged values decoded
// once, the values normalised for scripts, then written as XML, as JSON or as
// the JSON's path=value lines.
#include "render.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include <dlfcn.h>
#include <nlohmann/json.hpp>

#include "printed.h"
#include "sysmgrcli/tags.h"
#include "xml_writer.h"

namespace render {
namespace {

using sysmgrsim::Print;
using Json = nlohmann::ordered_json;

constexpr int32_t kRedundancyCommand = 1;
constexpr int32_t kVersionCommand = 107;

// The length of the well-formed UTF-8 sequence at s (at most n bytes), with
// its code point in c; 0 when the bytes there are not one.
std::size_t utf8_sequence(const unsigned char *s, std::size_t n, uint32_t &c) {
    static constexpr uint32_t kShortest[] = {0, 0, 0x80, 0x800, 0x10000};
    const std::size_t len = s[0] < 0x80             ? 1
                            : (s[0] & 0xE0) == 0xC0 ? 2
                            : (s[0] & 0xF0) == 0xE0 ? 3
                            : (s[0] & 0xF8) == 0xF0 ? 4
                                                    : 0;
    if (len == 0 || len > n)
        return 0;
    c = len == 1 ? s[0] : s[0] & (0xFFu >> (len + 1));
    for (std::size_t i = 1; i < len; ++i) {
        if ((s[i] & 0xC0) != 0x80)
            return 0;
        c = c << 6 | (s[i] & 0x3Fu);
    }
    return c >= kShortest[len] && (c < 0xD800 || c > 0xDFFF) ? len : 0;
}

// The text as valid UTF-8 of the characters an XML 1.0 document may hold
// (JSON gets the same text): anything else becomes U+FFFD.
std::string clean_text(const std::string &raw) {
    std::string out;
    const auto *s = reinterpret_cast<const unsigned char *>(raw.data());
    for (std::size_t i = 0; i < raw.size();) {
        uint32_t c = 0;
        const std::size_t len = utf8_sequence(s + i, raw.size() - i, c);
        const bool allowed = c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
                             (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
        out.append(len != 0 && allowed ? raw.substr(i, len) : "\xEF\xBF\xBD");
        i += len == 0 ? 1 : len;
    }
    return out;
}

// One tagged value, decoded from its tag and the bytes recorded at its print.
struct Value {
    const Print *print;
    bool named;       // the tag is in the tag table
    std::string name; // the table's field name, or "tag_0x" and 8 hex digits
    const char *form; // "text", "int32", "int64", "time" or "bytes"
    std::string text; // valid UTF-8 of XML characters; an integer in decimal
    Json json;        // an integer as a number, anything else as its text
};

/*
 * Integers take their width from the length (4 or 8 bytes) and are signed
 * only for 4 bytes of kind 0x11, as in the plain text; a time becomes ISO
 * 8601 UTC; a text ends at its first NUL, and one trailing line end, layout
 * of the plain text, is dropped. A value that does not decode in its kind (a
 * wrong length, an unknown kind) is "0x" and the hex digits of its bytes.
 */
Value decode(const Print &p) {
    Value v{&p, false, {}, "bytes", {}, {}};
    char buf[32];
    for (const sysmgrcli::tags::TagInfo &row : sysmgrcli::tags::tag_dictionary) {
        if (row.id == p.tag) {
            v.named = true;
            v.name = row.name;
            break;
        }
    }
    if (!v.named) {
        std::snprintf(buf, sizeof buf, "tag_0x%08x", static_cast<unsigned>(p.tag));
        v.name = buf;
    }
    const uint32_t kind = CMD_TAG_KIND(p.tag);
    uint64_t number = 0;
    bool is_signed = false;
    time_t t = 0;
    struct tm tm;
    if (kind == CMD_KIND_TEXT) {
        std::string raw = p.value.substr(0, p.value.find('\0'));
        if (!raw.empty() && raw.back() == '\n')
            raw.pop_back();
        v.form = "text";
        v.text = clean_text(raw);
    } else if ((kind == CMD_KIND_INT32 || kind == CMD_KIND_INT64) &&
               sysmgrsim::value_integer(kind, p.value, number, is_signed)) {
        v.form = p.value.size() == 4 && kind == CMD_KIND_INT32 ? "int32" : "int64";
        v.json = is_signed ? Json(static_cast<int64_t>(number)) : Json(number);
        v.text = v.json.dump();
    } else if (kind == CMD_KIND_TIME && sysmgrsim::value_seconds(p.value, t) &&
               gmtime_r(&t, &tm) != nullptr &&
               std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm) != 0) {
        v.form = "time";
        v.text = buf;
    } else {
        v.text = "0x";
        for (const unsigned char b : p.value) {
            std::snprintf(buf, sizeof buf, "%02x", b);
            v.text += buf;
        }
    }
    if (!v.json.is_number())
        v.json = v.text;
    return v;
}

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

/*
 * The values in the form scripts take best: times as ISO 8601 with the local
 * offset and as seconds since 1970, uptimes in seconds, supervisor slots as
 * integers, compile times trimmed, a version report's plug-ins as a list.
 */
Json normalised(const Command &c, const std::vector<Print> &prints,
                const std::vector<Value> &values) {
    std::map<std::string, const Value *> first; // the first value of each name
    for (const Value &v : values)
        first.emplace(v.name, &v);
    const auto has = [&first](const std::string &name) { return first.count(name) != 0; };
    const auto number = [&first](const std::string &name) {
        const Json &n = first.at(name)->json;
        return n.is_number() ? n.get<int64_t>() : 0;
    };
    Json out = Json::object();
    if (has("system_start_time")) {
        out["system_start_time"] = iso_time(c.start_time);
        out["system_start_epoch"] = c.start_time;
    }
    for (const std::string part : {"system_uptime", "kernel_uptime", "active_supervisor_uptime"})
        if (has(part + "_days") && has(part + "_seconds"))
            out[part] = ((number(part + "_days") * 24 + number(part + "_hours")) * 60 +
                         number(part + "_minutes")) *
                            60 +
                        number(part + "_seconds");
    for (const std::string slot : {"this_supervisor", "other_supervisor"}) {
        int n = 0;
        if (has(slot + "_name") &&
            std::sscanf(first.at(slot + "_name")->text.c_str(), "(sup-%d)", &n) == 1)
            out[slot + "_slot"] = n;
    }
    for (const char *compiled :
         {"bios_compile_time", "kickstart_compile_time", "system_compile_time"})
        if (has(compiled))
            out[compiled] = trimmed(first.at(compiled)->text);
    for (const Value &v : values) {
        time_t reset = 0;
        if (v.name == "last_reset_time" && sysmgrsim::value_seconds(v.print->value, reset)) {
            out["last_reset_time"] = iso_time(reset);
            out["last_reset_epoch"] = static_cast<int64_t>(reset);
            break;
        }
    }
    if (c.id == kVersionCommand)
        out["plugins"] = plugin_names(prints);
    return out;
}

// A scalar as a document shows it as text: a text as it is, else its JSON.
std::string scalar_text(const Json &value) {
    return value.is_string() ? value.get<std::string>() : value.dump();
}

/*
 * A JSON document as one "path=value" line per value, for grep and the
 * shell: the path joins the member names with ".", list items by index; a
 * text value is written without quotes, with "\\" and "\n" for its
 * backslashes and line ends.
 */
void key_value_lines(const Json &value, const std::string &path, std::string &out) {
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
    out += path + "=";
    for (const char c : scalar_text(value))
        out += c == '\\' ? "\\\\" : c == '\n' ? "\\n" : std::string(1, c);
    out += '\n';
}

/*
 * The JSON document: the tagged values as members in output order, a name
 * printed more than once (only a platform hook does that) holding an array of
 * its values in that order, in the place of the first; then the notes.
 */
Json json_document(const char *root, const std::vector<Value> &values, const Json &notes) {
    Json fields = Json::object();
    for (const Value &v : values) {
        auto found = fields.find(v.name);
        if (found == fields.end())
            fields[v.name] = v.json;
        else if (found->is_array())
            found->push_back(v.json);
        else
            *found = Json::array({*found, v.json});
    }
    fields.update(notes);
    return {{root, std::move(fields)}};
}

// The XML writer module, loaded once and kept: by the program's RUNPATH,
// else (a sanitizer's dlopen() searches as its own library) from the library
// directory beside the program's. Null, with a message on the standard error
// stream, when it cannot be loaded.
render_xml_write_fn xml_writer() {
    static const render_xml_write_fn writer = [] {
        void *module = dlopen(RENDER_XML_MODULE, RTLD_NOW | RTLD_LOCAL);
        const char *error = dlerror();
        const std::string why = error != nullptr ? error : "?";
        if (module == nullptr) {
            std::error_code ec;
            const auto beside = std::filesystem::read_symlink("/proc/self/exe", ec).parent_path() /
                                RENDER_XML_MODULE_DIR / RENDER_XML_MODULE;
            if (!ec)
                module = dlopen(beside.c_str(), RTLD_NOW | RTLD_LOCAL);
        }
        void *symbol = module != nullptr ? dlsym(module, "render_xml_write") : nullptr;
        if (symbol == nullptr)
            std::fprintf(stderr, "sysmgr-show: cannot load the XML writer %s: %s\n",
                         RENDER_XML_MODULE,
                         module != nullptr ? "no render_xml_write" : why.c_str());
        return reinterpret_cast<render_xml_write_fn>(symbol);
    }();
    return writer;
}

// The elements of an XML document as the writer takes them, and the texts they point to.
struct XmlElements {
    std::vector<render_xml_value> list;
    std::deque<std::string> texts;
    void open(const std::string &name) { list.push_back({keep(name), {}, nullptr}); }
    void close() { list.push_back({nullptr, {}, nullptr}); }
    void add(const std::string &name, const Json &text, const char *key = nullptr,
             const Json &value = nullptr) {
        const char *shown = key != nullptr ? keep(scalar_text(value)) : nullptr;
        list.push_back({keep(name), {key, shown}, keep(scalar_text(text))});
    }
    const char *keep(std::string text) { return texts.emplace_back(std::move(text)).c_str(); }
};

struct FreeDeleter {
    void operator()(char *p) const { std::free(p); }
};

/*
 * The XML document: one element per tagged value in output order, named by
 * the tag table or, for a tag not in it, "value" with its tag and form; then
 * the notes, the plug-ins and the messages each an element per item.
 */
std::string xml_document(const char *root, const std::vector<Value> &values, const Json &notes) {
    const render_xml_write_fn write = xml_writer();
    if (write == nullptr)
        return {};
    XmlElements xml;
    for (const Value &v : values) {
        char tag[sizeof "0x00000000"];
        std::snprintf(tag, sizeof tag, "0x%08x", static_cast<unsigned>(v.print->tag));
        if (v.named)
            xml.add(v.name, v.text);
        else
            xml.list.push_back({"value", {"tag", xml.keep(tag), "kind", v.form}, xml.keep(v.text)});
    }
    for (const auto &[name, note] : notes.items()) {
        if (!note.is_structured()) {
            xml.add(name, note);
            continue;
        }
        xml.open(name);
        for (const auto &[key, member] : note.items()) {
            if (name == "messages") {
                xml.add("message", member.at("text"), "stream", member.at("stream"));
            } else if (!member.is_array()) {
                xml.add(key, member);
            } else {
                xml.open(key);
                for (const Json &plugin : member)
                    xml.add("plugin", plugin);
                xml.close();
            }
        }
        xml.close();
    }
    size_t length = 0;
    const std::unique_ptr<char, FreeDeleter> document(
        write(root, xml.list.data(), xml.list.size(), &length));
    return document ? std::string(document.get(), length) : std::string();
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

/* The call a print was made with, by its form in the table of calls. */
const char *call_of(const Print &p) {
    const std::string_view form = p.kind == Print::Kind::dprt ? "dprt" : "prt";
#define CALL(...)
#define PRINT(ret, name, params, f)                                                                \
    if (form == #f)                                                                                \
        return #name;
#include "../../../platform/calls.def"
#undef CALL
#undef PRINT
    return "";
}

std::string printed(const Command &c) {
    Json list = Json::array();
    for (const Print &p : c.prints) {
        Json one = {{"call", call_of(p)}};
        if (p.kind == Print::Kind::value)
            one.update(
                {{"tag", printed::id(p.tag)}, {"len", p.len}, {"value", printed::hex(p.value)}});
        one["text"] = p.text;
        list.push_back(std::move(one));
    }
    for (const StreamLine &line : c.lines)
        if (line.stream != 0)
            list.push_back(
                {{"call", line.stream == 1 ? "stdout" : "stderr"}, {"text", line.text + "\n"}});
    return Json{{"printed", std::move(list)}}.dump(2, ' ', false, Json::error_handler_t::replace) +
           "\n";
}

std::string render(Format format, const Command &c) {
    if (format == Format::text)
        return c.delivered ? text(c.prints) : "";
    if (format == Format::printed)
        return printed(c);
    // Nothing sent: the document says so and keeps only the messages that say why.
    const std::vector<Print> none;
    const std::vector<Print> &sent = c.delivered ? c.prints : none;
    std::vector<Value> values;
    for (const Print &p : sent)
        if (p.kind == Print::Kind::value)
            values.push_back(decode(p));
    Json messages = Json::array();
    for (const StreamLine &line : c.lines)
        messages.push_back({{"stream", line.stream == 1   ? "stdout"
                                       : line.stream == 2 ? "stderr"
                                                          : "host"},
                            {"text", clean_text(line.text)}});
    const Json notes = {
        {"normalised", normalised(c, sent, values)},
        {"messages", std::move(messages)},
        {"complete", c.delivered && complete(c.id, c.prints)},
        {"delivered", c.delivered},
        {"sources",
         {{"files", c.files_captured ? "capture" : "scenario"}, {"platform", "scenario"}}}};
    const char *root = c.id == kRedundancyCommand ? "show_redundancy"
                       : c.id == kVersionCommand  ? "show_version"
                                                  : "show_command";
    if (format == Format::xml)
        return xml_document(root, values, notes);
    const Json json = json_document(root, values, notes);
    if (format == Format::json)
        return json.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
    std::string out;
    key_value_lines(json, "", out);
    return out;
}

} // namespace render
