// SPDX-License-Identifier: MIT
// A run's record turned into a scenario: each platform answer goes to the
// scenario member the simulator answers the same call from, the first answer
// to each call being the one kept.
#include "capture.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <optional>
#include <set>

#include <sys/wait.h>

#include "platform/platform.h"
#include "sysmgrcli/sysmgrcli.h"

namespace sysmgrcapture {

namespace {

using json = nlohmann::json;
using ojson = nlohmann::ordered_json;

constexpr int kInterrupted = 4;
constexpr int kExitNotFound = 127; // the shell's status for a command it cannot find

/* A member of a record line, null when the line lacks it. */
const json &member(const json &line, const char *key) {
    static const json none;
    const auto it = line.find(key);
    return it != line.end() ? *it : none;
}

std::string unhex(const json &value) {
    std::string out;
    if (!value.is_string())
        return out;
    const std::string &hex = value.get_ref<const std::string &>();
    auto digit = [](char c) { return c <= '9' ? c - '0' : c - 'a' + 10; };
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out += static_cast<char>(digit(hex[i]) << 4 | digit(hex[i + 1]));
    return out;
}

/* A fixed field's text: up to its first NUL, the whole field when it has none. */
std::string field_text(const std::string &field) {
    return field.substr(0, std::min(field.find('\0'), field.size()));
}

template <typename T>
T record_as(const std::string &bytes) {
    T value{};
    std::memcpy(&value, bytes.data(), std::min(sizeof value, bytes.size()));
    return value;
}

std::string hex_id(int64_t id) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<uint32_t>(id));
    return text;
}

/* The first word of a shell command, unquoted, and the word after ">". */
std::string first_word(const std::string &command) {
    std::string word = command.substr(0, command.find(' '));
    if (word.size() >= 2 && word.front() == '\'' && word.back() == '\'')
        word = word.substr(1, word.size() - 2);
    return word;
}
std::string redirect_target(const std::string &command) {
    const std::size_t at = command.find(" > ");
    return at == std::string::npos ? "" : first_word(command.substr(at + 3));
}

const char *tool_named(const std::string &command) {
    const std::string word = first_word(command);
    for (const auto &t : kTools)
        if (word == t.path)
            return t.name;
    return nullptr;
}

class Builder;
using Value = std::optional<ojson>;

/* A scenario member and how a record of its call gives it (calls.def's capture column). */
struct Item {
    const char *path;
    Value (*get)(Builder &, const char *path);
};
struct Row {
    const char *fn;
    std::vector<Item> items;
};
const Row *row_of(const std::string &fn);

/* Marks the row of the call that answers with the transport's last errno. */
Value errno_answer(Builder &, const char *) {
    return {};
}

std::vector<std::string> keys_of(const std::string &path) {
    std::vector<std::string> keys;
    for (std::size_t start = 0, dot = 0; dot != std::string::npos; start = dot + 1) {
        dot = path.find('.', start);
        keys.push_back(path.substr(start, dot - start));
    }
    return keys;
}

class Builder {
  public:
    Builder(const std::vector<json> &record, Capture &out) : record_(record), out_(out) {}

    void run() {
        out_.scenario["description"] = "";
        for (index_ = 0; index_ < record_.size(); ++index_)
            one(record_[index_]);
        finish_tools();
    }

    /* The record line being mapped, as calls.def's capture column reads it. */
    const json &line() const { return record_[index_]; }
    int64_t rc() const {
        const json &r = member(line(), "r");
        return r.is_number() ? r.get<int64_t>() : 0;
    }
    uint64_t rc_u64() const { return line().value("r", uint64_t{0}); }
    ojson rc_text() const {
        const json &r = member(line(), "r");
        return r.is_null() ? ojson() : ojson(unhex(r));
    }
    int64_t arg(std::size_t i) const {
        const json &a = member(line(), "a");
        return i < a.size() ? a[i].get<int64_t>() : 0;
    }
    std::string text(std::size_t i) const {
        const json &t = member(line(), "t");
        return i < t.size() ? unhex(t[i]) : std::string();
    }
    int64_t num(const char *name) const { return line().value(name, int64_t{0}); }
    std::string out(const char *name) const { return unhex(line().value(name, json())); }
    template <typename T>
    T as(const char *name) const {
        return record_as<T>(out(name));
    }
    ojson out_text(const char *name, std::size_t offset, std::size_t size) const {
        const std::string bytes = out(name);
        return field_text(offset < bytes.size() ? bytes.substr(offset, size) : "");
    }
    /* A successful request of this opcode. */
    bool answer(uint32_t opcode) const { return arg(0) == opcode && rc() == 0; }
    /* The payload of a response to this opcode. */
    bool payload(uint32_t opcode) const {
        return num("opcode") == opcode && line().contains("payload");
    }

    /* The hooks calls.def names: logic across records or over several members. */
    Value bound_queue(const char *) {
        const int64_t q = rc();
        if (q < 0)
            return {};
        // The simulator numbers the queues it binds from the first one.
        if (binds_ == 0)
            first_queue_ = q;
        if (q != first_queue_ + binds_++)
            out_.notes.push_back(from() + " gave queue " + std::to_string(q) +
                                 "; the replay gives " + std::to_string(first_queue_ + binds_ - 1) +
                                 ", which only the trace shows");
        return q;
    }
    Value transport_errno(const char *) { return rc() < 0 ? Value(last_errno()) : Value(); }
    Value receive_errno(const char *) {
        return rc() < 0 && last_errno() != kInterrupted ? Value(last_errno()) : Value();
    }
    Value interrupts(const char *path) {
        if (rc() < 0 && last_errno() == kInterrupted)
            set(keys_of(path), ++interrupts_[path], true);
        return {};
    }
    /* The errno beside a request's result -1. */
    Value request_errno(const char *) { return rc() == -1 ? line().value("e", 0) : 0; }
    /* A text response: without its terminating NUL, which says whether it had one. */
    Value response_name(const char *) {
        const std::string name = out("response");
        return name.substr(0, name.empty() || name.back() != '\0' ? name.size() : name.size() - 1);
    }
    Value response_terminated(const char *) {
        const std::string name = out("response");
        return !name.empty() && name.back() == '\0';
    }
    Value error_text(const char *path) {
        if (member(line(), "r").is_null())
            out_.notes.push_back(from() + "(" + hex_id(arg(0)) +
                                 ") gave no text; the replay shows the simulator's");
        else
            set({path, hex_id(arg(0))}, rc_text());
        return {};
    }
    /* The timer's rate when the difference asked is a whole number of its milliseconds. */
    Value cycles_per_msec(const char *) {
        const uint64_t msec = rc_u64();
        const uint64_t cycles = static_cast<uint64_t>(arg(0)) - static_cast<uint64_t>(arg(1));
        const uint64_t per_msec = msec > 0 ? cycles / msec : 0;
        return per_msec > 0 && cycles / per_msec == msec ? Value(per_msec) : Value();
    }
    Value elapsed_msec(const char *path) {
        return cycles_per_msec(path) ? Value() : Value(rc_u64());
    }
    Value keyed(const char *path, const char *key, Value value) {
        if (value)
            set({path, text(0), key}, *value);
        return {};
    }
    /* A scheme list: every scheme the platform accepted, in the order asked. */
    Value scheme(const char *path) {
        auto &schemes = schemes_[path];
        if (rc() == 0 && std::find(schemes.begin(), schemes.end(), text(0)) == schemes.end())
            schemes.push_back(text(0));
        set(keys_of(path), schemes, true);
        return {};
    }
    /* The names of the plug-in records, as many as reported and recorded. */
    Value plugin_names(const char *) {
        const std::string table = out("table");
        ojson names = ojson::array();
        for (std::size_t at = 0; at + sizeof(plugin_record_t) <= table.size();
             at += sizeof(plugin_record_t)) {
            const auto row = record_as<plugin_record_t>(table.substr(at));
            names.push_back(field_text(std::string(row.name, sizeof row.name)));
        }
        return names;
    }
    Value reset_entries(const char *) {
        const auto rr = as<last_rr_record_t>("record");
        ojson entries = ojson::array();
        for (std::size_t i = 0; i < LAST_RR_ENTRIES; ++i)
            entries.push_back({{"reason", rr.reason[i]},
                               {"service", field_text(std::string(rr.service[i], 32))},
                               {"system_version", field_text(std::string(rr.sys_version[i], 64))},
                               {"time", rr.reset_time[i]},
                               {"usecs", rr.reset_usecs[i]}});
        return entries;
    }
    /* An image handle maps back to the path it was opened with. */
    Value image_open(const char *path) {
        const std::string file = text(0);
        const int64_t error = num("error");
        const uint64_t handle = rc_u64();
        set({path, file, "error"}, hex_id(error));
        set({path, file, "handle_on_error"}, handle != 0 && error != 0);
        if (handle != 0)
            image_paths_[handle] = file;
        return {};
    }
    Value image_time(const char *path) {
        auto it = image_paths_.find(line().value("image", uint64_t{0}));
        if (it != image_paths_.end())
            set({path, it->second, "build_time"}, rc());
        return {};
    }

  private:
    /*
     * Sets a scenario member the first time; later answers to the same call
     * are not kept, unless the member accumulates (a count, a list).
     */
    void set(const std::vector<std::string> &keys, ojson value, bool accumulates = false,
             const std::string &from = "") {
        std::string what;
        ojson *node = &out_.scenario;
        for (const std::string &k : keys) {
            what += "/" + k;
            node = &(*node)[k];
        }
        const bool first = set_.insert(what).second;
        if (first || accumulates)
            *node = std::move(value);
        if (first)
            out_.sources.push_back({keys, "", from.empty() ? this->from() : from});
    }

    std::string from() const { return line().value("fn", std::string()); }

    /* The errno a failed transport call left: what the next errno query answered. */
    int64_t last_errno() const {
        for (std::size_t i = index_ + 1; i < record_.size(); ++i) {
            const Row *row = row_of(record_[i].value("fn", std::string()));
            if (row != nullptr && !row->items.empty() && row->items[0].get == &errno_answer)
                return record_[i].value("r", int64_t{0});
        }
        return 0;
    }

    /* One line: a file, utility or host line, or a call whose row gives its members. */
    void one(const json &e);

    void file(const json &e) {
        const std::string path = unhex(member(e, "path"));
        const std::string state = e.value("state", std::string());
        auto it = std::find_if(out_.files.begin(), out_.files.end(),
                               [&](const FoundFile &f) { return f.path == path; });
        if (it != out_.files.end()) {
            if (it->state == "regular" && it->data.empty() && e.contains("data"))
                it->data = unhex(member(e, "data"));
            return;
        }
        out_.files.push_back({path, state, e.value("mode", 0u), unhex(member(e, "data")),
                              unhex(member(e, "target"))});
    }

    void made(const std::string &path) {
        for (FoundFile &f : out_.files)
            if (f.path == path)
                f.made = true;
    }

    void library(const json &e) {
        out_.library = unhex(member(e, "path"));
        out_.tz = !member(e, "tz").is_null() ? "TZ=" + unhex(member(e, "tz"))
                                             : "TZ unset: the machine's zone";
    }

    /* A utility's output: what it wrote into the file it was sent to, or through the pipe. */
    void utility(const json &e, bool piped) {
        const std::string command = unhex(member(e, "cmd"));
        const int status = e.value("status", 0);
        const char *tool = tool_named(command);
        std::string shown = command + " (status " + std::to_string(status) + ")";
        if (tool == nullptr) {
            out_.sources.push_back({{}, shown, piped ? "popen" : "system"});
            return;
        }
        std::optional<std::string> output;
        if (piped) {
            output = unhex(member(e, "data"));
        } else {
            const std::string target = redirect_target(command);
            for (std::size_t i = index_ + 1; i < record_.size(); ++i) {
                if (record_[i].value("fn", std::string()) == "@made" &&
                    unhex(member(record_[i], "path")) == target) {
                    output = unhex(member(record_[i], "data"));
                    break;
                }
            }
        }
        if (WIFEXITED(status) && WEXITSTATUS(status) == kExitNotFound &&
            output.value_or("").empty())
            output.reset();
        tools_[tool].push_back(output);
        out_.sources.push_back({{"tools", tool}, "", shown});
    }

    /* One text for a utility that printed the same every run, else the runs in order. */
    void finish_tools() {
        for (const auto &entry : tools_) {
            const std::string &tool = entry.first;
            const auto &runs = entry.second; // a plain name, which lambdas can capture
            ojson value;
            if (std::all_of(runs.begin(), runs.end(),
                            [&](const auto &r) { return r == runs[0]; })) {
                value = runs[0] ? ojson(*runs[0]) : ojson();
            } else if (std::all_of(runs.begin(), runs.end(), [](const auto &r) { return r; })) {
                for (const auto &r : runs)
                    value.push_back(*r);
            } else {
                out_.notes.push_back(std::string("tools.") + tool +
                                     ": the utility was missing on some runs only; the capture "
                                     "keeps its first run");
                value = runs[0] ? ojson(*runs[0]) : ojson();
            }
            out_.scenario["tools"][tool] = value;
        }
    }

    const std::vector<json> &record_;
    Capture &out_;
    std::size_t index_ = 0;
    std::set<std::string> set_;
    std::map<std::string, std::vector<std::string>> schemes_;
    std::map<std::string, int> interrupts_;
    std::map<uint64_t, std::string> image_paths_;
    int64_t first_queue_ = 0;
    int64_t binds_ = 0;
    std::map<std::string, std::vector<std::optional<std::string>>> tools_;
};

// The capture forms of calls.def's items: functions of the record being mapped
// (b) and the item's path, giving the member's value or none.
#define RESULT [](Builder &b, const char *) -> Value { return b.rc(); }
#define RESULT_U64 [](Builder &b, const char *) -> Value { return b.rc_u64(); }
#define RESULT_BOOL [](Builder &b, const char *) -> Value { return b.rc() != 0; }
#define RESULT_NULL [](Builder &b, const char *) -> Value { return b.rc_u64() == 0; }
#define RESULT_TEXT [](Builder &b, const char *) -> Value { return b.rc_text(); }
#define OUT(name, T, ...)                                                                          \
    [](Builder &b, const char *) -> Value { return b.as<T>(name) __VA_ARGS__; }
#define OUT_TEXT(name, offset, size)                                                               \
    [](Builder &b, const char *) -> Value { return b.out_text(name, offset, size); }
#define FIELD(name) [](Builder &b, const char *) -> Value { return b.num(name); }
#define FLAG(name) [](Builder &b, const char *) -> Value { return b.num(name) != 0; }
#define KEYED(key, get)                                                                            \
    [](Builder &b, const char *p) -> Value { return b.keyed(p, key, (get)(b, p)); }
#define IF(condition, get)                                                                         \
    [](Builder &b, const char *p) -> Value { return (condition) ? (get)(b, p) : Value(); }
#define HOOK(f) [](Builder &b, const char *p) -> Value { return b.f(p); }
#define NONE nullptr
#define ERRNO_ANSWER &errno_answer
#define M(path, field, type, get) Item{path, get},
#define CALL(ret, name, params, args, ints, texts, result, outs, members) Row{#name, {members}},
const Row kRows[] = {
#include "../../platform/calls.def"
};
#undef M
#undef CALL

const Row *row_of(const std::string &fn) {
    for (const Row &row : kRows)
        if (fn == row.fn)
            return &row;
    return nullptr;
}

void Builder::one(const json &e) {
    const std::string fn = e.value("fn", std::string());
    if (fn.empty() || fn[0] == '@') {
        if (fn == "@file")
            file(e);
        else if (fn == "@system" || fn == "@popen")
            utility(e, fn == "@popen");
        else if (fn == "@made")
            made(unhex(member(e, "path")));
        else if (fn == "@library")
            library(e);
        else if (fn == "@entry")
            set({"context", "mts_q"}, e.value("q", -1), false,
                "the host's call of the alternate report");
        return;
    }
    ++out_.calls;
    if (const Row *row = row_of(fn))
        for (const Item &item : row->items)
            if (item.get != nullptr)
                if (Value value = item.get(*this, item.path))
                    set(keys_of(item.path), std::move(*value));
}

} // namespace

bool build_capture(const std::vector<json> &record, Capture &out, std::string &problem) try {
    std::set<int64_t> processes;
    int64_t bindings = -1;
    for (const json &e : record) {
        if (e.value("fn", std::string()) == "@library")
            processes.insert(e.value("pid", int64_t{0}));
        if (e.value("fn", std::string()) == "@bindings")
            bindings = std::max(bindings, e.value("count", int64_t{0}));
    }
    if (processes.empty()) {
        problem = "the command did not load libsysmgrcli (a static or set-user-ID host, or one "
                  "that never loads it, cannot be captured)";
        return false;
    }
    if (processes.size() > 1) {
        problem = "the command loaded libsysmgrcli in " + std::to_string(processes.size()) +
                  " processes; capture one run at a time";
        return false;
    }
    if (bindings == 0) {
        problem = "the host cannot be captured: the dynamic linker reported none of the "
                  "library's bindings";
        return false;
    }
    Builder(record, out).run();
    if (out.calls == 0) {
        problem = "the library made no platform call: no show command ran";
        return false;
    }
    out.scenario["description"] = "Captured run of " + out.library;
    // The library reaches those two calls through a table of addresses, which
    // the dynamic linker resolves without reporting the binding.
    out.notes.push_back("the calls that print the connectivity-management processor's version "
                        "and hardware are not recorded: lines the platform prints there itself "
                        "are not part of a capture");
    return true;
} catch (const json::exception &e) {
    problem = std::string("the record is damaged: ") + e.what();
    return false;
}

namespace {

/* A value as the manifest shows it: JSON, with bytes that are not UTF-8 escaped. */
std::string shown(const ojson &value) {
    return value.dump(-1, ' ', false, ojson::error_handler_t::replace);
}

} // namespace

std::string manifest_text(const Capture &capture) {
    std::string out = "# sysmgr-capture manifest\n";
    out += "command: " + capture.command + "\n";
    out += "library: " + capture.library + "\n";
    out += "time zone: " + capture.tz + " (replay with the same TZ for the same local times)\n";
    out += "platform calls: " + std::to_string(capture.calls) + "\n";
    out += "\n# scenario.json: member = value <- where it came from\n";
    for (const Source &s : capture.sources) {
        if (s.keys.empty())
            continue;
        std::string what;
        const ojson *node = &capture.scenario;
        for (const std::string &k : s.keys) {
            what += (what.empty() ? "" : ".") + k;
            node = node->contains(k) ? &(*node)[k] : nullptr;
            if (node == nullptr)
                break;
        }
        out += what + " = " + (node != nullptr ? shown(*node) : "?") + " <- " + s.from + "\n";
    }
    out += "\n# root: the files as the run first found them <- how the library used them\n";
    for (const FoundFile &f : capture.files) {
        char mode[16];
        std::snprintf(mode, sizeof mode, "%04o", f.mode);
        if (replay_writes(f.path))
            out += "root" + f.path + ": not kept: the replay writes its own\n";
        else if (f.state == "absent")
            out += "root" + f.path +
                   (f.made ? ": absent; the run made it, so it is left out\n" : ": absent\n");
        else if (f.state == "other")
            out += "root" + f.path + ": not a file, directory or link: not reproduced\n";
        else
            out += "root" + f.path + ": " + (f.state == "regular" ? "file" : f.state) + " " + mode +
                   (f.state == "regular" ? ", " + std::to_string(f.data.size()) + " bytes" : "") +
                   (f.state == "symlink" ? " -> " + f.target : "") + "\n";
    }
    for (const auto &t : kTools)
        if (capture.scenario.contains("tools") && capture.scenario["tools"].contains(t.name) &&
            !capture.scenario["tools"][t.name].is_null())
            out += std::string("root") + t.path + ": the replay's stand-in prints tools." + t.name +
                   " (scenario.json)\n";
    out += "\n# utilities run <- how\n";
    for (const Source &s : capture.sources)
        if (s.keys.empty())
            out += s.ran + " <- " + s.from + "\n";
    if (!capture.redacted.empty()) {
        out += "\n# redacted\n";
        for (const std::string &r : capture.redacted)
            out += r + "\n";
    }
    out += "\n# not captured\n";
    for (const std::string &n : capture.notes)
        out += n + "\n";
    return out;
}

} // namespace sysmgrcapture
