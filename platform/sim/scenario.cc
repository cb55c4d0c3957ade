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
#include <string_view>
#include <type_traits>
#include <vector>

#include <nlohmann/json.hpp>

#include "sim_internal.h"

namespace sysmgrsim::detail {
namespace {

// Objects keep the default's order, in which members are read; problems
// within an object are looked for in the order of its sorted keys.
using json = nlohmann::ordered_json;
using Path = std::vector<std::string>;

// Deeper than any default key: rejected before the merge, which recurses.
constexpr int kMaxDepth = 16;
constexpr std::size_t kMaxFileSize = 16u << 20;
constexpr std::size_t kMaxPathLength = 1024;
constexpr std::size_t kMaxCmiText = sizeof(cli_context_t::cmi_text1) - 1;
constexpr std::size_t kMaxText = 4096;
// Error numbers travel in identifiers as 0x801E0000 | errno.
constexpr int64_t kMaxErrno = 0xFFF;
// Fixed-size fields: a text of exactly the field's size has no terminator.
constexpr std::size_t kServiceField = sizeof(last_rr_record_t::service[0]);
constexpr std::size_t kSystemVersionField = sizeof(last_rr_record_t::sys_version[0]);
constexpr std::size_t kPluginNameField = sizeof(plugin_record_t::name);

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
        const bool name = !key.empty() && !std::isdigit(static_cast<unsigned char>(key[0])) &&
                          std::all_of(key.begin(), key.end(), [](char c) {
                              return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
                          });
        if (is_index(key) || name) {
            out += is_index(key) ? "[" + key + "]" : "." + key;
            continue;
        }
        out += "['";
        for (char c : key)
            out += c == '\'' || c == '\\' ? std::string{'\\', c} : std::string{c};
        out += "']";
    }
    return out;
}

// A JSON integer, or a text "0x..." in hex: any 64-bit value of either sign,
// as its two's complement and its sign (no 128-bit type on 32-bit targets).
struct Integer {
    uint64_t bits = 0;
    bool negative = false;
    Integer() = default;
    Integer(uint64_t v) : bits(v) {}
    Integer(int64_t v) : bits(static_cast<uint64_t>(v)), negative(v < 0) {}
    bool below(int64_t lo) const {
        return negative ? static_cast<int64_t>(bits) < lo
                        : lo > 0 && bits < static_cast<uint64_t>(lo);
    }
    bool above(uint64_t hi) const { return !negative && bits > hi; }
    // The value cut to T.
    template <typename T>
    explicit operator T() const {
        return static_cast<T>(bits);
    }
};

bool read_hex(const std::string &text, Integer &out, std::string &problem) {
    problem = "expected an integer or a \"0x...\" text";
    if (text.size() < 3 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X'))
        return false;
    uint64_t magnitude = 0;
    const char *end = text.data() + text.size();
    const auto [stop, ec] = std::from_chars(text.data() + 2, end, magnitude, 16);
    if (ec == std::errc::result_out_of_range)
        problem = "out of range";
    out = magnitude;
    return ec == std::errc() && stop == end;
}

bool read_integer(const json &v, Integer &out, std::string &problem) {
    if (v.is_number_integer()) {
        out = v.is_number_unsigned() ? Integer(v.get<uint64_t>()) : Integer(v.get<int64_t>());
        return true;
    }
    if (v.is_string())
        return read_hex(v.get_ref<const std::string &>(), out, problem);
    // Integers beyond 64 bits arrive as floating-point numbers.
    const double d = v.is_number_float() ? v.get<double>() : 0.5;
    problem = std::isfinite(d) && d == std::floor(d) ? "out of range" : "expected an integer";
    return false;
}

std::string located(const std::string &origin, const Path &path, const std::string &problem) {
    return origin + ": " + path_text(path) + ": " + problem;
}

std::vector<std::string> sorted_keys(const json &object) {
    std::vector<std::string> keys;
    for (auto it = object.begin(); it != object.end(); ++it)
        keys.push_back(it.key());
    std::sort(keys.begin(), keys.end());
    return keys;
}

Path at(Path path, const std::string &key) {
    path.push_back(key);
    return path;
}

// Finds the members of the merged document; the first problem is kept and
// every later read finds nothing.
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
        const json *node = ok() ? &doc_ : nullptr;
        for (auto key = path.begin(); node != nullptr && key != path.end(); ++key) {
            if (node->is_array() && is_index(*key)) {
                node = std::stoul(*key) < node->size() ? &(*node)[std::stoul(*key)] : nullptr;
            } else if (node->is_object()) {
                auto it = node->find(*key);
                node = it != node->end() ? &*it : nullptr;
            } else {
                fail(Path(path.begin(), key), "expected an object");
                return nullptr;
            }
            if (node == nullptr && !optional)
                fail(Path(path.begin(), key + 1), "missing");
        }
        return node;
    }

    // The node at path when it has the type is() tests; else null, and the
    // problem when it is there with another type.
    const json *typed(const Path &path, bool (json::*is)() const noexcept, const char *problem) {
        const json *v = find(path);
        if (v != nullptr && !(v->*is)()) {
            fail(path, problem);
            return nullptr;
        }
        return v;
    }

    // True when path names a node other than null (the default's way of
    // listing a member that is absent unless given); no problem either way.
    bool present(const Path &path) {
        const json *v = find(path, true);
        return v != nullptr && !v->is_null();
    }

    // An object whose keys are all among the known ones.
    bool entry(const Path &path, std::initializer_list<const char *> known) {
        const json *v = typed(path, &json::is_object, "expected an object");
        for (const std::string &key : v != nullptr ? sorted_keys(*v) : std::vector<std::string>())
            if (std::none_of(known.begin(), known.end(),
                             [&key](const char *k) { return key == k; }))
                fail(at(path, key), "unknown key");
        return v != nullptr && ok();
    }

    // The number of elements of the array at path, at most max_count.
    std::size_t array(const Path &path, std::size_t max_count) {
        const json *v = typed(path, &json::is_array, "expected an array");
        if (v != nullptr && v->size() > max_count)
            fail(path, "more than " + std::to_string(max_count) + " elements");
        return v != nullptr && ok() ? v->size() : 0;
    }

    Integer number(const Path &path, int64_t lo, uint64_t hi) {
        const json *v = find(path);
        Integer value;
        std::string problem;
        if (v != nullptr && !read_integer(*v, value, problem))
            fail(path, problem);
        else if (v != nullptr && (value.below(lo) || value.above(hi)))
            fail(path, "out of range (" + std::to_string(lo) + " to " + std::to_string(hi) + ")");
        return ok() ? value : Integer();
    }

  private:
    const json &doc_;
    std::string origin_;
    std::string error_;
};

// False for input nested deeper than kMaxDepth.
bool depth_ok(const json &node, int depth) {
    if (!node.is_structured())
        return true;
    return depth < kMaxDepth && std::all_of(node.begin(), node.end(), [depth](const json &item) {
               return depth_ok(item, depth + 1);
           });
}

// A files key: an absolute path without empty, "." or ".." components.
bool valid_file_path(const std::string &p) {
    if (p.size() < 2 || p.size() > kMaxPathLength || p[0] != '/' || p.back() == '/' ||
        p.find('\0') != std::string::npos)
        return false;
    return (p + "/").find("//") == std::string::npos &&
           (p + "/").find("/./") == std::string::npos &&
           (p + "/").find("/../") == std::string::npos;
}

// The types of calls.def's items: what the reader accepts. A member the
// default lists as null (a std::optional field) is none unless given.
struct Int {
    int64_t lo, hi;
    Int(int64_t l, int64_t h) : lo(l), hi(h) {}
};
// Any 32-bit pattern, kept as its bits: "0x801E006E" as well as its signed
// value, for an error identifier or a status that may hold one.
struct Word {};
using Id = Word;
struct Bool {};
struct U64 {
    uint64_t lo;
    explicit U64(uint64_t l) : lo(l) {}
};
struct Text {
    std::size_t max;
    explicit Text(std::size_t m) : max(m) {}
};
struct Texts {
    std::size_t count, max;
    Texts(std::size_t c, std::size_t m) : count(c), max(m) {}
};
// What a utility prints: a text, or a non-empty array of texts, one per run.
struct Outputs : Text {
    using Text::Text;
};
// Members read by hand below; a free map's keys are the scenario's own.
struct ResetEntries {};
struct FreeMap {};
struct ReleaseFiles : FreeMap {};
struct Images : FreeMap {};
struct ErrorTexts : FreeMap {};
struct Files : FreeMap {};

template <typename F>
void read(Reader &r, const Path &p, F &out, Int t) {
    out = static_cast<F>(r.number(p, t.lo, static_cast<uint64_t>(t.hi)));
}
template <typename F>
void read(Reader &r, const Path &p, F &out, Word) {
    out = static_cast<F>(r.number(p, INT32_MIN, UINT32_MAX));
}
void read(Reader &r, const Path &p, uint64_t &out, U64 t) {
    out = static_cast<uint64_t>(r.number(p, static_cast<int64_t>(t.lo), UINT64_MAX));
}
void read(Reader &r, const Path &p, bool &out, Bool) {
    const json *v = r.typed(p, &json::is_boolean, "expected true or false");
    out = v != nullptr && v->get<bool>();
}
void read(Reader &r, const Path &p, std::string &out, Text t) {
    const json *v = r.typed(p, &json::is_string, "expected a text");
    if (v != nullptr && v->get_ref<const std::string &>().size() > t.max)
        r.fail(p, "text longer than " + std::to_string(t.max) + " bytes");
    out = v != nullptr && r.ok() ? v->get<std::string>() : std::string();
}
void read(Reader &r, const Path &p, std::vector<std::string> &out, Texts t) {
    const std::size_t n = r.array(p, t.count);
    out.assign(n, {});
    for (std::size_t i = 0; i < n && r.ok(); ++i)
        read(r, at(p, std::to_string(i)), out[i], Text(t.max));
}
void read(Reader &r, const Path &p, std::vector<std::string> &out, Outputs t) {
    const json *v = r.find(p);
    if (v != nullptr && v->is_string())
        read(r, p, out.emplace_back(), Text(t.max));
    else if (v != nullptr && (!v->is_array() || v->empty()))
        r.fail(p, "expected a text or a non-empty array of texts");
    else
        read(r, p, out, Texts(1024, t.max));
}
template <typename F, typename T>
void read(Reader &r, const Path &p, std::optional<F> &out, T type) {
    out.reset();
    if (r.present(p))
        read(r, p, out.emplace(), type);
}
// The members of an entry that are given; the others keep their defaults.
template <typename F, typename T>
void read_given(Reader &r, const Path &entry, const char *key, F &out, T type) {
    if (r.present(at(entry, key)))
        read(r, at(entry, key), out, type);
}

// The entries of a map keyed by absolute paths, each handed to
// read_entry(path of the entry) in key order.
template <typename ReadEntry>
void read_path_map(Reader &r, const Path &base, ReadEntry read_entry) {
    const json *map = r.find(base);
    for (const std::string &key : map != nullptr ? sorted_keys(*map) : std::vector<std::string>())
        if (r.ok() && !valid_file_path(key))
            r.fail(at(base, key), "expected an absolute path without empty, \".\" or \"..\" parts");
        else if (r.ok())
            read_entry(at(base, key));
}

void read(Reader &r, const Path &base, std::map<std::string, std::string> &out, Files) {
    read_path_map(r, base, [&](const Path &path) {
        read(r, path, out[path.back()], Text(std::string::npos));
    });
}

void read(Reader &r, const Path &base, std::map<std::string, ReleaseFile> &out, ReleaseFiles) {
    read_path_map(r, base, [&](const Path &path) {
        if (!r.entry(path, {"version", "interim_version", "compile_stamp"}))
            return;
        ReleaseFile &f = out[path.back()];
        read(r, at(path, "version"), f.version, Text(kMaxText));
        read(r, at(path, "interim_version"), f.interim_version, Text(kMaxText));
        read_given(r, path, "compile_stamp", f.compile_stamp, Int(INT32_MIN, INT32_MAX));
    });
}

void read(Reader &r, const Path &base, std::map<std::string, ImageHeader> &out, Images) {
    read_path_map(r, base, [&](const Path &path) {
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
    int64_t decimal = 0;
    const char *last = key.data() + key.size();
    const auto [end, ec] = std::from_chars(key.data(), last, decimal);
    Integer value = decimal;
    std::string problem;
    const bool hex = key.size() > 2 && key[0] == '0' && (key[1] == 'x' || key[1] == 'X');
    if (hex ? !read_hex(key, value, problem) : ec != std::errc() || end != last)
        return false;
    out = static_cast<uint32_t>(value);
    return !value.below(INT32_MIN) && !value.above(UINT32_MAX);
}

void read(Reader &r, const Path &base, std::map<uint32_t, std::string> &out, ErrorTexts) {
    const json *map = r.find(base);
    for (const std::string &key : map != nullptr ? sorted_keys(*map) : std::vector<std::string>()) {
        uint32_t id = 0;
        if (!r.ok())
            break;
        if (!read_identifier_key(key, id))
            r.fail(at(base, key), "expected an error identifier, \"0x...\" or decimal, of 32 bits");
        else if (out.count(id) != 0)
            r.fail(at(base, key), "the same identifier as another key");
        else
            read(r, at(base, key), out[id], Text(kMaxText));
    }
}

void read(Reader &r, const Path &base, ResetEntry (&out)[LAST_RR_ENTRIES], ResetEntries) {
    const std::size_t n = r.array(base, LAST_RR_ENTRIES);
    for (std::size_t i = 0; i < n && r.ok(); ++i) {
        const Path path = at(base, std::to_string(i));
        if (!r.entry(path, {"reason", "service", "system_version", "time", "usecs"}))
            return;
        read_given(r, path, "reason", out[i].reason, Word());
        read_given(r, path, "service", out[i].service, Text(kServiceField));
        read_given(r, path, "system_version", out[i].system_version, Text(kSystemVersionField));
        read_given(r, path, "time", out[i].time, Word());
        read_given(r, path, "usecs", out[i].usecs, Word());
    }
}

// Every member the scenario holds, from calls.def: its path and its reader.
struct Member {
    const char *path;
    void (*read)(Reader &, const Path &, Scenario &);
    bool free_map;
};
#define M(path, field, type, capture)                                                              \
    {path, [](Reader &r, const Path &p, Scenario &s) { read(r, p, s.field, type); },               \
     std::is_base_of_v<FreeMap, decltype(type)>},
#define CALL(ret, name, params, args, ints, texts, result, outs, members) members
#define SCENARIO_ONLY(members) members
constexpr Member kMembers[] = {
#include "../calls.def"
};
#undef M
#undef CALL
#undef SCENARIO_ONLY

// The item named name, the first of a shared member's.
const Member *member_named(std::string_view name) {
    static const std::map<std::string_view, const Member *> by_name = [] {
        std::map<std::string_view, const Member *> m;
        for (const Member &member : kMembers)
            m.emplace(member.path, &member);
        return m;
    }();
    auto it = by_name.find(name);
    return it != by_name.end() ? it->second : nullptr;
}

// Every key of doc must exist in the default; objects stay objects. A free
// map's keys are checked by its reader.
void check_keys(const json &doc, const json &def, Path &path, Reader &r) {
    for (const std::string &key : sorted_keys(doc)) {
        if (!r.ok())
            return;
        path.push_back(key);
        auto known = def.find(key);
        const Member *m = path.size() == 1 ? member_named(key) : nullptr;
        if (known == def.end())
            r.fail(path, "unknown key");
        else if (known->is_object() && !doc.at(key).is_object())
            r.fail(path, "expected an object");
        else if (known->is_object() && (m == nullptr || !m->free_map))
            check_keys(doc.at(key), *known, path, r);
        path.pop_back();
    }
}

// errno goes with result -1 and only with it.
void check_errno(Reader &r, const SupervisorAnswer &answer, const char *side) {
    if (answer.result == -1 && answer.err == 0)
        r.fail({"supervisors", side, "errno"},
               "result -1 needs an errno (1 to " + std::to_string(kMaxErrno) + ")");
    else if (answer.result != -1 && answer.err != 0)
        r.fail({"supervisors", side, "errno"}, "an errno goes only with result -1");
}

// Checks across members, each run once the member named is read.
struct Check {
    const char *after;
    void (*check)(Reader &, const Scenario &);
};
constexpr Check kChecks[] = {
    {"supervisors.local.null_response",
     [](Reader &r, const Scenario &s) { check_errno(r, s.local, "local"); }},
    {"supervisors.peer.null_response",
     [](Reader &r, const Scenario &s) { check_errno(r, s.peer, "peer"); }},
    // Two supervisors in one slot: a scenario that sets only this_sup to the
    // default other_sup would show both as the same card.
    {"slots.byte4",
     [](Reader &r, const Scenario &s) {
         if (s.slots.this_sup == s.slots.other_sup)
             r.fail({"slots", "other_sup"}, "the same slot as this_sup (set both)");
     }},
};

// The default's members in its order, each read by its item (the first of a
// shared one); objects without an item of their own are walked into.
void read_members(Reader &r, const json &def, Path &path, const std::string &prefix,
                  Scenario &out) {
    for (auto it = def.begin(); it != def.end() && r.ok(); ++it) {
        path.push_back(it.key());
        const std::string name = prefix + it.key();
        if (const Member *m = member_named(name))
            m->read(r, path, out);
        else if (it->is_object())
            read_members(r, *it, path, name + ".", out);
        for (const Check &c : kChecks)
            if (r.ok() && name == c.after)
                c.check(r, out);
        path.pop_back();
    }
}

const json &default_document() {
    static const json doc = json::parse(kDefaultScenario);
    return doc;
}

// A place in the text being parsed: arrays count their elements, objects
// keep the member being read and the keys seen, as the parser would keep only
// the last of a key given twice.
struct Level {
    bool array;
    std::size_t index;
    std::string key;
    std::set<std::string> keys;
};

Path path_of(const std::vector<Level> &levels) {
    Path p;
    for (const Level &l : levels)
        p.push_back(l.array ? std::to_string(l.index) : l.key);
    return p;
}

struct Duplicate {};

// The patch, its duplicate keys and numbers beyond a double reported with
// their place.
bool parse_patch(const char *json_text, const std::string &origin, json &patch, std::string &err) {
    std::vector<Level> levels;
    try {
        patch = json::parse(json_text, [&levels](int, json::parse_event_t e, json &v) {
            using E = json::parse_event_t;
            if (e == E::object_start || e == E::array_start)
                levels.push_back({e == E::array_start, 0, {}, {}});
            if (e == E::key &&
                !levels.back().keys.insert(levels.back().key = v.get<std::string>()).second)
                throw Duplicate{};
            if (e == E::object_end || e == E::array_end)
                levels.pop_back();
            if ((e == E::value || e == E::object_end || e == E::array_end) && !levels.empty() &&
                levels.back().array)
                ++levels.back().index;
            return true;
        });
    } catch (const Duplicate &) {
        err = located(origin, path_of(levels), "duplicate key");
    } catch (const json::out_of_range &e) {
        if (e.id != 406)
            throw;
        err = located(origin, path_of(levels), "number out of range");
    }
    return err.empty();
}

bool parse_document(const char *json_text, const std::string &origin, Scenario &out,
                    std::string &err) {
    Path path;
    json merged;
    const json *doc = &default_document();
    // The embedded default is the base itself: nothing to check or merge.
    if (json_text != kDefaultScenario) {
        json patch;
        if (!parse_patch(json_text, origin, patch, err))
            return false;
        if (!depth_ok(patch, 0)) {
            err = located(origin, path,
                          "nested deeper than " + std::to_string(kMaxDepth) + " levels");
            return false;
        }
        if (!patch.is_object()) {
            err = origin + ": $: expected an object";
            return false;
        }
        merged = *doc;
        merged.merge_patch(patch);
        doc = &merged;
    }

    Reader reader(*doc, origin);
    if (doc != &default_document())
        check_keys(*doc, default_document(), path, reader);
    Scenario parsed;
    if (reader.ok())
        read_members(reader, default_document(), path, "", parsed);
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
        // Without nlohmann's "[json.exception.parse_error.101] ".
        const char *cut = std::strstr(e.what(), "] ");
        err = where + ": $: malformed JSON: " + (cut != nullptr ? cut + 2 : e.what());
    } catch (const std::exception &e) {
        err = where + ": $: " + e.what();
    }
    return false;
}

} // namespace sysmgrsim::detail

namespace {

using sysmgrsim::detail::copy_error;
using sysmgrsim::detail::State;

// Reads a whole scenario file of at most kMaxFileSize bytes; reading a
// directory fails with EISDIR.
bool read_file(const char *path, std::string &text, std::string &problem) {
    std::FILE *f = std::fopen(path, "rbe");
    if (f == nullptr) {
        problem = std::strerror(errno);
        return false;
    }
    char chunk[65536];
    std::size_t n;
    while (problem.empty() && (n = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
        text.append(chunk, n);
        if (text.size() > sysmgrsim::detail::kMaxFileSize)
            problem = "file larger than 16 MiB";
    }
    if (problem.empty() && std::ferror(f))
        problem = std::strerror(errno);
    std::fclose(f);
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
    std::string problem = path == nullptr ? "no file name" : "";
    try {
        if (path != nullptr && !read_file(path, text, problem))
            problem = std::string(path) + ": " + problem;
    } catch (const std::exception &e) {
        problem = std::string(path) + ": " + e.what();
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
    s.xml_agent_host = false;
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
