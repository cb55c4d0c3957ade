// SPDX-License-Identifier: MIT
// Scenario loading: a JSON merge patch over the embedded default, validated
// key by key against the default's structure.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "sim_internal.h"

namespace sysmgrsim::detail {
namespace {

using json = nlohmann::json;
using ojson = nlohmann::ordered_json;
using Path = std::vector<std::string>;

// No default key lies deeper than this; deeper input is rejected before the
// merge so that nothing recurses without bound.
constexpr int kMaxDepth = 16;
constexpr std::size_t kMaxFileSize = 16u << 20;
constexpr std::size_t kMaxPathLength = 1024;
constexpr std::size_t kMaxCmiText = sizeof(cli_context_t::cmi_text1) - 1;
constexpr std::size_t kMaxText = 4096;
// Error numbers travel in identifiers as 0x801E0000 | errno.
constexpr int64_t kMaxErrno = 0xFFF;

// Fixed-size fields the platform fills: a text of exactly the field's size
// fills it with no terminator.
constexpr std::size_t kServiceField = sizeof(last_rr_record_t::service[0]);
constexpr std::size_t kSystemVersionField = sizeof(last_rr_record_t::sys_version[0]);
constexpr std::size_t kPluginNameField = sizeof(plugin_record_t::name);
static_assert(BIOS_RECORD_RUNNING_TEXT - BIOS_RECORD_FLASH_TEXT == 128 && kServiceField == 32 &&
                  kSystemVersionField == 64 && kPluginNameField == 256,
              "field sizes of the platform records");

// Top-level objects whose keys are the scenario's own (paths, identifiers), not the default's.
constexpr const char *kFreeMaps[] = {"files", "release_files", "images", "error_texts"};

bool is_identifier(const std::string &key) {
    if (key.empty() || std::isdigit(static_cast<unsigned char>(key[0])))
        return false;
    for (char c : key)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_')
            return false;
    return true;
}

// Paths name array elements by their decimal index.
bool is_index(const std::string &key) {
    return !key.empty() && key.size() <= 9 && std::all_of(key.begin(), key.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c));
    });
}

// The path in JSONPath notation: $.supervisors.local.result, $.files['/a'].
std::string path_text(const Path &path) {
    std::string out = "$";
    for (const std::string &key : path) {
        if (is_index(key)) {
            out += "[" + key + "]";
            continue;
        }
        if (is_identifier(key)) {
            out += "." + key;
            continue;
        }
        out += "['";
        for (char c : key) {
            if (c == '\'' || c == '\\')
                out += '\\';
            out += c;
        }
        out += "']";
    }
    return out;
}

// A JSON integer, or a text "0x..." in hex, as sign and magnitude.
struct Integer {
    bool negative = false;
    uint64_t magnitude = 0;
    int64_t as_int64() const {
        return negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
    }
};

bool read_hex(const std::string &text, Integer &out, std::string &problem) {
    if (text.size() < 3 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X')) {
        problem = "expected an integer or a \"0x...\" text";
        return false;
    }
    uint64_t value = 0;
    for (std::size_t i = 2; i < text.size(); ++i) {
        int digit;
        char c = text[i];
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else {
            problem = "expected an integer or a \"0x...\" text";
            return false;
        }
        if (value > (UINT64_MAX >> 4)) {
            problem = "out of range";
            return false;
        }
        value = value << 4 | static_cast<uint64_t>(digit);
    }
    out = {false, value};
    return true;
}

bool read_integer(const json &v, Integer &out, std::string &problem) {
    if (v.is_number_unsigned()) {
        out = {false, v.get<uint64_t>()};
        return true;
    }
    if (v.is_number_integer()) {
        int64_t i = v.get<int64_t>();
        out = {i < 0, i < 0 ? 0 - static_cast<uint64_t>(i) : static_cast<uint64_t>(i)};
        return true;
    }
    if (v.is_number_float()) {
        // Integers beyond 64 bits arrive as floating-point numbers.
        double d = v.get<double>();
        problem = std::isfinite(d) && d == std::floor(d) ? "out of range" : "expected an integer";
        return false;
    }
    if (v.is_string())
        return read_hex(v.get_ref<const std::string &>(), out, problem);
    problem = "expected an integer";
    return false;
}

bool in_range(const Integer &v, int64_t lo, uint64_t hi) {
    if (!v.negative)
        return v.magnitude <= hi && (lo <= 0 || v.magnitude >= static_cast<uint64_t>(lo));
    if (lo >= 0)
        return v.magnitude == 0;
    return v.magnitude <= 0 - static_cast<uint64_t>(lo);
}

std::string located(const std::string &origin, const Path &path, const std::string &problem) {
    return origin + ": " + path_text(path) + ": " + problem;
}

Path at(const Path &path, std::size_t index) {
    Path p = path;
    p.push_back(std::to_string(index));
    return p;
}
Path at(const Path &path, const char *key) {
    Path p = path;
    p.push_back(key);
    return p;
}

// Typed reads from the merged document; the first problem is kept and every
// later read returns a default.
class Reader {
  public:
    Reader(const json &doc, std::string origin) : doc_(doc), origin_(std::move(origin)) {}

    bool ok() const { return error_.empty(); }
    const std::string &error() const { return error_; }

    void fail(const Path &path, const std::string &problem) {
        if (ok())
            error_ = located(origin_, path, problem);
    }

    // The node at path; a missing one is a problem unless optional.
    const json *find(const Path &path, bool optional = false) {
        const json *node = &doc_;
        Path walked;
        for (const std::string &key : path) {
            walked.push_back(key);
            if (node->is_array() && is_index(key)) {
                std::size_t i = std::stoul(key);
                if (i >= node->size()) {
                    if (!optional)
                        fail(walked, "missing");
                    return nullptr;
                }
                node = &(*node)[i];
                continue;
            }
            if (!node->is_object()) {
                walked.pop_back();
                fail(walked, "expected an object");
                return nullptr;
            }
            auto it = node->find(key);
            if (it == node->end()) {
                if (!optional)
                    fail(walked, "missing");
                return nullptr;
            }
            node = &*it;
        }
        return node;
    }

    // The node at path when it has the type is() tests; else null, and the
    // problem when it is there with another type.
    const json *typed(const Path &path, bool (json::*is)() const noexcept, const char *problem) {
        const json *v = ok() ? find(path) : nullptr;
        if (v != nullptr && !(v->*is)()) {
            fail(path, problem);
            return nullptr;
        }
        return v;
    }

    // True when path names a node other than null (the default's way of
    // listing a member that is absent unless given); no problem either way.
    bool present(const Path &path) {
        const json *v = ok() ? find(path, true) : nullptr;
        return v != nullptr && !v->is_null();
    }

    // An object whose keys are all among the known ones.
    bool entry(const Path &path, std::initializer_list<const char *> known) {
        const json *v = typed(path, &json::is_object, "expected an object");
        if (v == nullptr)
            return false;
        for (auto it = v->begin(); it != v->end(); ++it) {
            if (std::none_of(known.begin(), known.end(),
                             [&it](const char *k) { return it.key() == k; })) {
                Path p = path;
                p.push_back(it.key());
                fail(p, "unknown key");
                return false;
            }
        }
        return true;
    }

    // The number of elements of the array at path, at most max_count.
    std::size_t array(const Path &path, std::size_t max_count) {
        const json *v = typed(path, &json::is_array, "expected an array");
        if (v == nullptr)
            return 0;
        if (v->size() > max_count) {
            fail(path, "more than " + std::to_string(max_count) + " elements");
            return 0;
        }
        return v->size();
    }

    std::vector<std::string> texts(const Path &path, std::size_t max_count, std::size_t max) {
        std::vector<std::string> out;
        std::size_t n = array(path, max_count);
        for (std::size_t i = 0; i < n && ok(); ++i)
            out.push_back(text(at(path, i), max));
        return out;
    }

    // A text that may be left out (or removed with null): none then.
    std::optional<std::string> optional_text(const Path &path, std::size_t max) {
        if (!present(path))
            return std::nullopt;
        return text(path, max);
    }

    // What a utility prints: a text, or an array of texts one per run; none
    // when left out.
    std::optional<std::vector<std::string>> outputs(const Path &path, std::size_t max) {
        if (!present(path))
            return std::nullopt;
        const json *v = find(path);
        if (v->is_string())
            return std::vector<std::string>{text(path, max)};
        if (!v->is_array() || v->empty()) {
            fail(path, "expected a text or a non-empty array of texts");
            return std::nullopt;
        }
        return texts(path, 1024, max);
    }

    int64_t integer(const Path &path, int64_t lo, int64_t hi) {
        return number(path, lo, static_cast<uint64_t>(hi)).as_int64();
    }
    // A 32-bit word: any signed or unsigned 32-bit value, kept as its bits.
    uint32_t word(const Path &path) {
        return static_cast<uint32_t>(number(path, INT32_MIN, UINT32_MAX).as_int64());
    }
    // An error identifier or a status that may hold one: any 32-bit pattern,
    // so that "0x801E006E" is accepted as well as its signed value.
    int32_t identifier(const Path &path) { return static_cast<int32_t>(word(path)); }
    // The errno beside a request's result -1: 0 for none, else within what
    // an error identifier carries (the transport's own error numbers, which
    // mts_errno_get reports as they are, may be larger).
    int32_t error_number(const Path &path) {
        return static_cast<int32_t>(integer(path, 0, kMaxErrno));
    }
    uint64_t unsigned64(const Path &path, uint64_t lo) {
        return number(path, static_cast<int64_t>(lo), UINT64_MAX).magnitude;
    }
    std::optional<uint64_t> optional_unsigned64(const Path &path) {
        if (!present(path))
            return std::nullopt;
        return unsigned64(path, 0);
    }

    bool boolean(const Path &path) {
        const json *v = typed(path, &json::is_boolean, "expected true or false");
        return v != nullptr && v->get<bool>();
    }

    std::string text(const Path &path, std::size_t max) {
        const json *v = typed(path, &json::is_string, "expected a text");
        if (v == nullptr)
            return {};
        const std::string &s = v->get_ref<const std::string &>();
        if (s.size() > max) {
            fail(path, "text longer than " + std::to_string(max) + " bytes");
            return {};
        }
        return s;
    }

  private:
    Integer number(const Path &path, int64_t lo, uint64_t hi) {
        const json *v = ok() ? find(path) : nullptr;
        if (v == nullptr)
            return {};
        Integer value;
        std::string problem;
        if (!read_integer(*v, value, problem)) {
            fail(path, problem);
            return {};
        }
        if (!in_range(value, lo, hi)) {
            fail(path, "out of range (" + std::to_string(lo) + " to " + std::to_string(hi) + ")");
            return {};
        }
        return value;
    }

    const json &doc_;
    std::string origin_;
    std::string error_;
};

// False for input nested deeper than kMaxDepth.
bool depth_ok(const json &node, int depth) {
    if (!node.is_structured())
        return true;
    if (depth >= kMaxDepth)
        return false;
    for (const json &item : node)
        if (!depth_ok(item, depth + 1))
            return false;
    return true;
}

// A files key: an absolute path without empty, "." or ".." components.
bool valid_file_path(const std::string &p) {
    if (p.size() < 2 || p.size() > kMaxPathLength || p[0] != '/' || p.back() == '/')
        return false;
    if (p.find('\0') != std::string::npos)
        return false;
    std::size_t start = 1;
    while (start <= p.size()) {
        std::size_t end = p.find('/', start);
        if (end == std::string::npos)
            end = p.size();
        std::string part = p.substr(start, end - start);
        if (part.empty() || part == "." || part == "..")
            return false;
        start = end + 1;
    }
    return true;
}

// Every key of doc must exist in the default; objects stay objects. The
// "files" object is a free map of paths to texts.
void check_keys(const json &doc, const ojson &def, Path &path, Reader &r) {
    for (auto it = doc.begin(); it != doc.end() && r.ok(); ++it) {
        path.push_back(it.key());
        auto known = def.find(it.key());
        if (known == def.end()) {
            r.fail(path, "unknown key");
        } else if (known->is_object()) {
            if (!it->is_object())
                r.fail(path, "expected an object");
            else if (path.size() == 1 &&
                     std::any_of(std::begin(kFreeMaps), std::end(kFreeMaps),
                                 [&it](const char *m) { return it.key() == m; }))
                ; // checked by their readers
            else
                check_keys(*it, *known, path, r);
        }
        path.pop_back();
    }
}

// The types of the members (calls.def's type column): what the reader accepts.
struct Int {
    int64_t lo, hi;
    Int(int64_t l, int64_t h) : lo(l), hi(h) {}
};
struct Id {};
struct Word {};
struct Bool {};
struct U64 {
    uint64_t lo;
    explicit U64(uint64_t l) : lo(l) {}
};
struct OptU64 {};
struct Text {
    std::size_t max;
    explicit Text(std::size_t m) : max(m) {}
};
struct OptText : Text {
    using Text::Text;
};
struct Outputs : Text {
    using Text::Text;
};
struct Texts {
    std::size_t count, max;
    Texts(std::size_t c, std::size_t m) : count(c), max(m) {}
};
// Members read by hand below.
struct Supervisor {};
struct ResetEntries {};
struct ReleaseFiles {};
struct Images {};
struct ErrorTexts {};
struct Files {};

template <typename F>
void read(Reader &r, const Path &p, F &out, Int t) {
    out = static_cast<F>(r.integer(p, t.lo, t.hi));
}
void read(Reader &r, const Path &p, int32_t &out, Id) {
    out = r.identifier(p);
}
void read(Reader &r, const Path &p, uint32_t &out, Word) {
    out = r.word(p);
}
void read(Reader &r, const Path &p, bool &out, Bool) {
    out = r.boolean(p);
}
void read(Reader &r, const Path &p, uint64_t &out, U64 t) {
    out = r.unsigned64(p, t.lo);
}
void read(Reader &r, const Path &p, std::optional<uint64_t> &out, OptU64) {
    out = r.optional_unsigned64(p);
}
void read(Reader &r, const Path &p, std::string &out, Text t) {
    out = r.text(p, t.max);
}
void read(Reader &r, const Path &p, std::optional<std::string> &out, OptText t) {
    out = r.optional_text(p, t.max);
}
void read(Reader &r, const Path &p, std::vector<std::string> &out, Texts t) {
    out = r.texts(p, t.count, t.max);
}
void read(Reader &r, const Path &p, std::optional<std::vector<std::string>> &out, Outputs t) {
    out = r.outputs(p, t.max);
}

// The entries of a map keyed by absolute paths, each handed to
// read_entry(path of the entry, its value) in key order.
template <typename ReadEntry>
void read_path_map(Reader &r, const Path &base, ReadEntry read_entry) {
    const json *map = r.ok() ? r.find(base) : nullptr;
    if (map == nullptr)
        return;
    for (auto it = map->begin(); it != map->end() && r.ok(); ++it) {
        const Path path = at(base, it.key().c_str());
        if (!valid_file_path(it.key()))
            r.fail(path, "expected an absolute path without empty, \".\" or \"..\" parts");
        else
            read_entry(path, *it);
    }
}

void read(Reader &r, const Path &base, std::map<std::string, std::string> &out, Files) {
    read_path_map(r, base, [&](const Path &path, const json &content) {
        if (!content.is_string())
            r.fail(path, "expected a text");
        else
            out[path.back()] = content.get<std::string>();
    });
}

// Reads the members of an entry that are given; the others keep their defaults.
template <typename F, typename T>
void read_given(Reader &r, const Path &entry, const char *key, F &out, T type) {
    if (r.present(at(entry, key)))
        read(r, at(entry, key), out, type);
}

void read(Reader &r, const Path &base, std::map<std::string, ReleaseFile> &out, ReleaseFiles) {
    read_path_map(r, base, [&](const Path &path, const json &) {
        if (!r.entry(path, {"version", "interim_version", "compile_stamp"}))
            return;
        ReleaseFile &f = out[path.back()];
        f.version = r.optional_text(at(path, "version"), kMaxText);
        f.interim_version = r.optional_text(at(path, "interim_version"), kMaxText);
        read_given(r, path, "compile_stamp", f.compile_stamp, Int(INT32_MIN, INT32_MAX));
    });
}

void read(Reader &r, const Path &base, std::map<std::string, ImageHeader> &out, Images) {
    read_path_map(r, base, [&](const Path &path, const json &) {
        if (!r.entry(path, {"error", "handle_on_error", "build_time"}))
            return;
        ImageHeader &image = out[path.back()];
        read_given(r, path, "error", image.error, Id());
        read_given(r, path, "handle_on_error", image.handle_on_error, Bool());
        read_given(r, path, "build_time", image.build_time, Int(0, UINT32_MAX));
    });
}

// An error_texts key: an identifier in hex ("0x40AA0012") or decimal, any
// 32-bit pattern.
bool read_identifier_key(const std::string &key, uint32_t &out) {
    Integer value;
    std::string problem;
    if (key.size() > 2 && key[0] == '0' && (key[1] == 'x' || key[1] == 'X')) {
        if (!read_hex(key, value, problem))
            return false;
    } else {
        const bool negative = !key.empty() && key[0] == '-';
        const char *first = key.data() + (negative ? 1 : 0);
        const char *last = key.data() + key.size();
        auto [end, ec] = std::from_chars(first, last, value.magnitude);
        if (first == last || ec != std::errc() || end != last)
            return false;
        value.negative = negative;
    }
    if (!in_range(value, INT32_MIN, UINT32_MAX))
        return false;
    out = static_cast<uint32_t>(value.as_int64());
    return true;
}

void read(Reader &r, const Path &base, std::map<uint32_t, std::string> &out, ErrorTexts) {
    const json *map = r.ok() ? r.find(base) : nullptr;
    if (map == nullptr)
        return;
    for (auto it = map->begin(); it != map->end() && r.ok(); ++it) {
        const Path path = at(base, it.key().c_str());
        uint32_t id = 0;
        if (!read_identifier_key(it.key(), id))
            r.fail(path, "expected an error identifier, \"0x...\" or decimal, of 32 bits");
        else if (out.count(id) != 0)
            r.fail(path, "the same identifier as another key");
        else
            out[id] = r.text(path, kMaxText);
    }
}

void read(Reader &r, const Path &entries, ResetEntry (&out)[LAST_RR_ENTRIES], ResetEntries) {
    std::size_t n = r.array(entries, LAST_RR_ENTRIES);
    for (std::size_t i = 0; i < n && r.ok(); ++i) {
        const Path path = at(entries, i);
        if (!r.entry(path, {"reason", "service", "system_version", "time", "usecs"}))
            return;
        ResetEntry &e = out[i];
        read_given(r, path, "reason", e.reason, Word());
        read_given(r, path, "service", e.service, Text(kServiceField));
        read_given(r, path, "system_version", e.system_version, Text(kSystemVersionField));
        read_given(r, path, "time", e.time, Word());
        read_given(r, path, "usecs", e.usecs, Word());
    }
}

void read(Reader &r, const Path &base, SupervisorAnswer &out, Supervisor) {
    static const char *const kWords[8] = {"status",         "internal_state", "rdn_state",
                                          "peer_rdn_state", "sup_state",      "peer_node",
                                          "admin_mode",     "ha_synced"};
    out.result = r.identifier(at(base, "result"));
    out.err = r.error_number(at(base, "errno"));
    out.length = static_cast<uint32_t>(r.integer(at(base, "length"), 0, 4096));
    out.null_response = r.boolean(at(base, "null_response"));
    // errno goes with result -1 and only with it.
    if (out.result == -1 && out.err == 0)
        r.fail(at(base, "errno"),
               "result -1 needs an errno (1 to " + std::to_string(kMaxErrno) + ")");
    else if (out.result != -1 && out.err != 0)
        r.fail(at(base, "errno"), "an errno goes only with result -1");
    for (int i = 0; i < 8; ++i)
        out.words[i] = r.word(at(base, kWords[i]));
}

// Every member the scenario holds, from calls.def: its path and its reader.
struct Member {
    const char *path;
    void (*read)(Reader &, const Path &, Scenario &);
};
#define M(path, field, type, capture)                                                              \
    {path, [](Reader &r, const Path &p, Scenario &s) { read(r, p, s.field, type); }},
#define CALL(ret, name, params, args, ints, texts, result, outs, members) members
#define SCENARIO_ONLY(members) members
constexpr Member kMembers[] = {
#include "../calls.def"
};
#undef M
#undef CALL
#undef SCENARIO_ONLY

// The default's members in its order, each read by its item (the first of a
// shared one); objects without an item of their own are walked into.
void read_members(Reader &r, const ojson &def, Path &path, const std::string &prefix,
                  Scenario &out) {
    for (auto it = def.begin(); it != def.end() && r.ok(); ++it) {
        path.push_back(it.key());
        const std::string name = prefix + it.key();
        auto m = std::find_if(std::begin(kMembers), std::end(kMembers),
                              [&name](const Member &m) { return name == m.path; });
        if (m != std::end(kMembers))
            m->read(r, path, out);
        else if (it->is_object())
            read_members(r, *it, path, name + ".", out);
        path.pop_back();
    }
}

void read_scenario(Reader &r, const ojson &def, Scenario &out) {
    Path path;
    read_members(r, def, path, "", out);
    // Two supervisors in one slot: a scenario that sets only this_sup to the
    // default other_sup would show both as the same card.
    if (r.ok() && out.slots.this_sup == out.slots.other_sup)
        r.fail({"slots", "other_sup"}, "the same slot as this_sup (set both)");
}

const ojson &default_document() {

    static const ojson doc = ojson::parse(kDefaultScenario);
    return doc;
}

/*
 * A first pass over the text for what the parser itself lets through or
 * reports without a place: a key given twice in one object (the parser would
 * keep the last silently) and a number beyond what a double holds. Both are
 * reported with their JSON path. Syntax errors are left to the parser.
 */
class KeyCheck : public nlohmann::json_sax<json> {
  public:
    const std::string &problem() const { return problem_; }
    const Path &where() const { return where_; }

    bool null() override { return value(); }
    bool boolean(bool) override { return value(); }
    bool number_integer(number_integer_t) override { return value(); }
    bool number_unsigned(number_unsigned_t) override { return value(); }
    bool number_float(number_float_t, const string_t &) override { return value(); }
    bool string(string_t &) override { return value(); }
    bool binary(binary_t &) override { return value(); }
    bool start_object(std::size_t) override { return open(false); }
    bool start_array(std::size_t) override { return open(true); }
    bool end_object() override { return close(); }
    bool end_array() override { return close(); }

    bool key(string_t &key) override {
        Frame &f = frames_.back();
        f.key = key;
        if (!f.keys.insert(key).second)
            return stop("duplicate key");
        return true;
    }

    bool parse_error(std::size_t, const std::string &,
                     const nlohmann::detail::exception &e) override {
        // 406: a number the parser read but a double cannot hold.
        if (e.id == 406)
            stop("number out of range");
        return false;
    }

  private:
    struct Frame {
        bool array = false;
        std::size_t index = 0; // arrays: the element being read
        std::string key;       // objects: the member being read
        std::set<std::string> keys;
    };

    Path path() const {
        Path p;
        for (const Frame &f : frames_)
            p.push_back(f.array ? std::to_string(f.index) : f.key);
        return p;
    }
    // A value ended: an array moves on to its next element.
    bool value() {
        if (!frames_.empty() && frames_.back().array)
            ++frames_.back().index;
        return true;
    }
    bool open(bool array) {
        frames_.push_back(Frame{array, 0, {}, {}});
        return true;
    }
    bool close() {
        frames_.pop_back();
        return value();
    }
    bool stop(const char *problem) {
        problem_ = problem;
        where_ = path();
        return false;
    }

    std::vector<Frame> frames_;
    std::string problem_;
    Path where_;
};

// nlohmann's messages start with "[json.exception.parse_error.101] ".
std::string parse_problem(const std::exception &e) {
    std::string what = e.what();
    std::size_t cut = what.find("] ");
    if (what.rfind("[json.exception.", 0) == 0 && cut != std::string::npos)
        what.erase(0, cut + 2);
    return "malformed JSON: " + what;
}

bool parse_document(const char *json_text, const std::string &origin, Scenario &out,
                    std::string &err) {
    Path path;
    json doc(default_document());
    // The embedded default is the base itself: nothing to check in a first
    // pass or to merge, which would only parse the same text twice more.
    if (json_text != kDefaultScenario) {
        KeyCheck check;
        json::sax_parse(json_text, &check);
        if (!check.problem().empty()) {
            err = located(origin, check.where(), check.problem());
            return false;
        }
        json patch = json::parse(json_text);
        if (!depth_ok(patch, 0)) {
            err = located(origin, path,
                          "nested deeper than " + std::to_string(kMaxDepth) + " levels");
            return false;
        }
        if (!patch.is_object()) {
            err = origin + ": $: expected an object";
            return false;
        }
        doc.merge_patch(patch);
    }

    Reader reader(doc, origin);
    check_keys(doc, default_document(), path, reader);
    Scenario parsed;
    if (reader.ok())
        read_scenario(reader, default_document(), parsed);
    if (!reader.ok()) {
        err = reader.error();
        return false;
    }
    out = std::move(parsed);
    return true;
}

} // namespace

bool parse_scenario(const char *json_text, const char *origin, Scenario &out, std::string &err) {
    std::string where = origin != nullptr ? origin : "scenario";
    if (json_text == nullptr) {
        err = where + ": $: no scenario text";
        return false;
    }
    try {
        return parse_document(json_text, where, out, err);
    } catch (const nlohmann::json::parse_error &e) {
        err = where + ": $: " + parse_problem(e);
    } catch (const std::exception &e) {
        err = where + ": $: " + e.what();
    }
    return false;
}

} // namespace sysmgrsim::detail

namespace {

using sysmgrsim::detail::copy_error;
using sysmgrsim::detail::State;

// Reads a whole scenario file, refusing a directory or anything larger than
// kMaxFileSize.
bool read_file(const char *path, std::string &text, std::string &problem) {
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    struct stat st;
    if (fd < 0) {
        problem = std::strerror(errno);
        return false;
    }
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        problem = std::strerror(S_ISDIR(st.st_mode) ? EISDIR : errno);
        close(fd);
        return false;
    }
    char chunk[65536];
    for (;;) {
        const ssize_t n = read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            problem = std::strerror(errno);
            break;
        }
        if (n == 0)
            break;
        text.append(chunk, static_cast<std::size_t>(n));
        if (text.size() > sysmgrsim::detail::kMaxFileSize) {
            problem = "file larger than 16 MiB";
            break;
        }
    }
    close(fd);
    return problem.empty();
}

} // namespace

extern "C" {

int sim_load_scenario(const char *json_text, const char *origin, char *err, size_t errlen) {
    State &s = sysmgrsim::detail::state();
    sysmgrsim::detail::clear_records(s);
    s.command_override = false;
    std::string message;
    if (!sysmgrsim::detail::parse_scenario(json_text, origin, s.scenario, message)) {
        copy_error(message, err, errlen);
        return -1;
    }
    copy_error("", err, errlen);
    return 0;
}

int sim_load_scenario_file(const char *path, char *err, size_t errlen) {
    std::string text;
    std::string problem;
    try {
        if (path == nullptr) {
            problem = "no file name";
        } else if (!read_file(path, text, problem)) {
            problem = std::string(path) + ": " + problem;
        }
    } catch (const std::exception &e) {
        problem = std::string(path != nullptr ? path : "scenario") + ": " + e.what();
    }
    if (!problem.empty()) {
        sysmgrsim::detail::clear_records(sysmgrsim::detail::state());
        copy_error(problem, err, errlen);
        return -1;
    }
    return sim_load_scenario(text.c_str(), path, err, errlen);
}

void sim_reset(void) {
    State &s = sysmgrsim::detail::state();
    s.scenario = sysmgrsim::detail::default_scenario();
    s.command_override = false;
    s.format = SIM_FORMAT_TEXT;
    s.files_captured = false;
    sysmgrsim::detail::clear_records(s);
}

const char *sim_default_scenario(void) {
    return sysmgrsim::detail::kDefaultScenario;
}

void sim_fill_context(cli_context_t *context) {
    if (context == nullptr)
        return;
    const auto &c = sysmgrsim::detail::state().scenario.context;
    std::memset(context, 0, sizeof *context);
    context->debug = c.debug;
    context->on_sup = c.on_sup;
    context->mts_q = c.mts_q;
    std::snprintf(context->cmi_text1, sizeof context->cmi_text1, "%s", c.cmi_text1.c_str());
    std::snprintf(context->cmi_text2, sizeof context->cmi_text2, "%s", c.cmi_text2.c_str());
}

} // extern "C"
