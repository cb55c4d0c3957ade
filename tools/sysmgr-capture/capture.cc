// SPDX-License-Identifier: MIT
// A run's record turned into a scenario: each platform answer goes to the
// scenario member the simulator answers the same call from, the first answer
// to each call being the one kept.
#include "capture.h"
#include "printed.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <type_traits>

#include <link.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include "platform/platform.h"
#include "sysmgrcli/sysmgrcli.h"
#include "sysmgrsim/sim.hpp"

namespace sysmgrcapture {

namespace {

using json = nlohmann::json;
using ojson = nlohmann::ordered_json;
using Value = std::optional<ojson>; // a member's value, or none to set
struct ErrnoAnswer {};              // what the errno query's row gives its member

constexpr int kInterrupted = 4;
constexpr int kExitNotFound = 127; // the shell's status for a command it cannot find

/* A member of a record line, null when the line lacks it. */
const json &member(const json &line, const char *key) {
    static const json none;
    const auto it = line.find(key);
    return it != line.end() ? *it : none;
}

std::string fn_of(const json &line) {
    return line.value("fn", std::string());
}

/* The bytes a record member holds in hex: none when it is not text. */
std::string unhex(const json &value) {
    std::string out;
    const std::string hex = value.is_string() ? value.get<std::string>() : "";
    auto digit = [](char c) { return c <= '9' ? c - '0' : c - 'a' + 10; };
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out += static_cast<char>(digit(hex[i]) << 4 | digit(hex[i + 1]));
    return out;
}

std::string bytes(const json &line, const char *key) {
    return unhex(member(line, key));
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

/* The first word of a shell command, unquoted. */
std::string first_word(const std::string &command) {
    std::string word = command.substr(0, command.find(' '));
    if (word.size() >= 2 && word.front() == '\'' && word.back() == '\'')
        word = word.substr(1, word.size() - 2);
    return word;
}

/* The record line at index, read the way calls.def's capture column reads it, and the state
 * kept across lines. */
struct Builder {
    const std::vector<json> &record;
    Capture &out;
    std::size_t index = 0;
    std::set<int64_t> processes{}; // that loaded the library
    int64_t bindings = -1;         // the most any process reported
    std::set<std::string> set_paths{};
    std::map<std::string, std::vector<std::string>> schemes{};
    std::map<std::string, int> interrupt_counts{};
    std::map<uint64_t, std::string> image_paths{};
    int64_t first_queue = 0, binds = 0;
    bool entry = false;    // the host called the alternate report
    std::string problem{}; // why the record makes no capture
    std::map<std::string, std::vector<std::optional<std::string>>> tools{};

    const json &line() const { return record[index]; }
    std::string from() const { return fn_of(line()); }
    int64_t rc() const { return member(line(), "r").is_number() ? line()["r"].get<int64_t>() : 0; }
    uint64_t rc_u64() const { return line().value("r", uint64_t{0}); }
    ojson rc_text() const {
        return member(line(), "r").is_null() ? ojson() : ojson(unhex(line()["r"]));
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
    template <typename T>
    T as(const char *name) const {
        return record_as<T>(bytes(line(), name));
    }
    std::string out_text(const char *name, std::size_t offset, std::size_t size) const {
        const std::string all = bytes(line(), name);
        return field_text(offset < all.size() ? all.substr(offset, size) : "");
    }
    /* A successful request of this opcode. */
    bool answer(uint32_t opcode) const { return arg(0) == opcode && rc() == 0; }
    /* The payload of a response to this opcode. */
    bool payload(uint32_t opcode) const {
        return num("opcode") == opcode && line().contains("payload");
    }

    /*
     * Sets a scenario member the first time; later answers to the same call
     * are not kept, unless the member accumulates (a count, a list).
     */
    void set(const std::vector<std::string> &keys, ojson value, bool accumulates = false,
             const std::string &source = "") {
        std::string what;
        ojson *node = &out.scenario;
        for (const std::string &k : keys) {
            what += "/" + k;
            node = &(*node)[k];
        }
        const bool first = set_paths.insert(what).second;
        if (first || accumulates)
            *node = std::move(value);
        if (first)
            out.sources.push_back({keys, "", source.empty() ? from() : source});
    }
    void put(const char *path, Value value) {
        if (value)
            set(tree::components(path, '.'), std::move(*value));
    }
    void put(const char *, ErrnoAnswer) {} // the failed call before it takes the answer
    void map(const std::string &fn);       // sets what the call's row of calls.def gives
    int64_t last_errno();                  // what the next errno query answered

    /* The hooks calls.def names: logic across records or over several members. */
    Value bound_queue(const char *) {
        const int64_t q = rc();
        if (q < 0)
            return {};
        // The simulator numbers the queues it binds from the first one.
        if (binds == 0)
            first_queue = q;
        if (q != first_queue + binds++)
            out.notes.push_back(from() + " gave queue " + std::to_string(q) +
                                "; the replay gives " + std::to_string(first_queue + binds - 1) +
                                ", which only the trace shows");
        return q;
    }
    Value transport_errno(const char *) { return rc() < 0 ? Value(last_errno()) : Value(); }
    Value receive_errno(const char *) {
        return rc() < 0 && last_errno() != kInterrupted ? Value(last_errno()) : Value();
    }
    Value interrupts(const char *path) {
        if (rc() < 0 && last_errno() == kInterrupted)
            set(tree::components(path, '.'), ++interrupt_counts[path], true);
        return {};
    }
    /* The errno beside a request's result -1. */
    Value request_errno(const char *) { return rc() == -1 ? line().value("e", 0) : 0; }
    /* A text response: without its terminating NUL, which says whether it had one. */
    Value response_name(const char *) {
        std::string name = bytes(line(), "response");
        if (!name.empty() && name.back() == '\0')
            name.pop_back();
        return name;
    }
    Value response_terminated(const char *) {
        const std::string name = bytes(line(), "response");
        return !name.empty() && name.back() == '\0';
    }
    Value error_text(const char *path) {
        if (member(line(), "r").is_null())
            out.notes.push_back(from() + "(" + printed::id(arg(0)) +
                                ") gave no text; the replay shows the simulator's");
        else
            set({path, printed::id(arg(0))}, rc_text());
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
        auto &accepted = schemes[path];
        if (rc() == 0 && std::find(accepted.begin(), accepted.end(), text(0)) == accepted.end())
            accepted.push_back(text(0));
        set(tree::components(path, '.'), accepted, true);
        return {};
    }
    /* The names of the plug-in records, as many as reported and recorded. */
    Value plugin_names(const char *) {
        const std::string table = bytes(line(), "table");
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
        set({path, file, "error"}, printed::id(error));
        set({path, file, "handle_on_error"}, rc_u64() != 0 && error != 0);
        if (rc_u64() != 0)
            image_paths[rc_u64()] = file;
        return {};
    }
    Value image_time(const char *path) {
        const auto it = image_paths.find(line().value("image", uint64_t{0}));
        if (it != image_paths.end())
            set({path, it->second, "build_time"}, rc());
        return {};
    }

    /* The print calls' forms (calls.def's PRINT rows), each kept as it was handed on. */
    Printed &printed() {
        Printed &p = out.printed.emplace_back();
        p.call = from();
        if (line().contains("fmt"))
            p.format = bytes(line(), "fmt");
        p.argument = line().contains("tag");
        p.tag = line().value("tag", 0u);
        p.len = line().value("len", 0u);
        if (line().contains("value"))
            p.value = bytes(line(), "value");
        return p;
    }
    void arg_make() { printed(); }
    void tuple() { printed().len = sizeof(uint32_t); }
    void prt() { printed().rendered = true; }
    void dprt() {
        printed().text = bytes(line(), "text");
        if (line().contains("unfollowed"))
            problem = "the library printed with a format the capture cannot follow: " +
                      bytes(line(), "fmt");
    }

    void file(const json &e) {
        const std::string path = bytes(e, "path");
        auto it = std::find_if(out.files.begin(), out.files.end(),
                               [&](const FoundFile &f) { return f.path == path; });
        if (it == out.files.end())
            out.files.push_back({path, e.value("state", std::string()), e.value("mode", 0u),
                                 bytes(e, "data"), bytes(e, "target")});
        else if (it->state == "regular" && it->data.empty() && e.contains("data"))
            it->data = bytes(e, "data");
    }

    /* A utility's output: what it wrote into the file it was sent to, or through the pipe. */
    void utility(const json &e, bool piped) {
        const std::string command = bytes(e, "cmd");
        const int status = e.value("status", 0);
        const std::string shown = command + " (status " + std::to_string(status) + ")";
        const std::string word = first_word(command);
        const auto *tool = std::find_if(std::begin(tree::kTools), std::end(tree::kTools),
                                        [&](const tree::Tool &t) { return word == t.path; });
        if (tool == std::end(tree::kTools)) {
            out.sources.push_back({{}, shown, piped ? "popen" : "system"});
            return;
        }
        std::optional<std::string> output;
        if (piped)
            output = bytes(e, "data");
        const std::size_t to = command.find(" > ");
        const std::string target =
            to == std::string::npos ? "" : first_word(command.substr(to + 3));
        for (std::size_t i = index + 1; !piped && !output && i < record.size(); ++i)
            if (fn_of(record[i]) == "@made" && bytes(record[i], "path") == target)
                output = bytes(record[i], "data");
        if (WIFEXITED(status) && WEXITSTATUS(status) == kExitNotFound &&
            output.value_or("").empty())
            output.reset();
        tools[tool->name].push_back(output);
        out.sources.push_back({{"tools", tool->name}, "", shown});
    }

    /* One text for a utility that printed the same every run, else the runs in order. */
    void finish_tools() {
        for (const auto &[tool, runs] : tools) {
            const bool same = std::count(runs.begin(), runs.end(), runs[0]) == std::ssize(runs);
            const bool all_ran = std::count(runs.begin(), runs.end(), std::nullopt) == 0;
            ojson value = runs[0] ? ojson(*runs[0]) : ojson();
            if (!same && all_ran) {
                value = ojson::array();
                for (const auto &r : runs)
                    value.push_back(*r);
            } else if (!same) {
                out.notes.push_back("tools." + tool +
                                    ": the utility was missing on some runs only; the capture "
                                    "keeps its first run");
            }
            out.scenario["tools"][tool] = value;
        }
    }

    /* One line: a file, utility or host line, or a call whose row gives its members. */
    void one(const json &e) {
        const std::string fn = fn_of(e);
        if (fn == "@file") {
            file(e);
        } else if (fn == "@system" || fn == "@popen") {
            utility(e, fn == "@popen");
        } else if (fn == "@made") {
            const std::string path = bytes(e, "path");
            for (FoundFile &f : out.files)
                f.made |= f.path == path;
        } else if (fn == "@bindings") {
            bindings = std::max(bindings, e.value("count", int64_t{0}));
        } else if (fn == "@library") {
            processes.insert(e.value("pid", int64_t{0}));
            out.library = bytes(e, "path");
            if (!member(e, "tz").is_null())
                out.tz = bytes(e, "tz");
        } else if (fn == "@out") {
            Printed &p = out.printed.emplace_back();
            p.call = e.value("fd", 0) == 1 ? "stdout" : "stderr";
            p.text = bytes(e, "data");
        } else if (fn == "@entry") {
            entry = true;
            set({"context", "mts_q"}, e.value("q", -1), false,
                "the host's call of the alternate report");
        } else if (!fn.empty() && fn[0] != '@') {
            map(fn);
        }
    }
};

// calls.def's capture forms, as expressions over the line b maps for the member at path p.
#define RESULT Value(b.rc())
#define RESULT_U64 Value(b.rc_u64())
#define RESULT_BOOL Value(b.rc() != 0)
#define RESULT_NULL Value(b.rc_u64() == 0)
#define RESULT_TEXT Value(b.rc_text())
#define OUT(name, T, ...) Value(b.as<T>(name) __VA_ARGS__)
#define OUT_TEXT(name, offset, size) Value(b.out_text(name, offset, size))
#define FIELD(name) Value(b.num(name))
#define FLAG(name) Value(b.num(name) != 0)
#define KEYED(key, get) b.keyed(p, key, get)
#define IF(condition, get) ((condition) ? (get) : Value())
#define HOOK(f) b.f(p)
#define NONE Value()
#define ERRNO_ANSWER ErrnoAnswer()
#define M(path, field, type, get)                                                                  \
    {                                                                                              \
        const char *p = path;                                                                      \
        b.put(p, get);                                                                             \
    }
#define CALL(ret, name, params, args, ints, texts, result, outs, members)                          \
    if (fn == #name) {                                                                             \
        ++b.out.calls;                                                                             \
        members return;                                                                            \
    }
#define PRINT(ret, name, params, form)                                                             \
    if (fn == #name)                                                                               \
        return b.form();
void Builder::map(const std::string &fn) {
    Builder &b = *this;
#include "../../platform/calls.def"
}
#undef M
#undef CALL
#undef PRINT

/* The errno a failed transport call left: what the next errno query answered. That query's row
 * has the member whose capture form gives ERRNO_ANSWER's type, where every other gives a Value;
 * b and p only name what the forms refer to, which is never evaluated here. */
#define M(path, field, type, get) || std::is_same_v<decltype(get), ErrnoAnswer>
#define CALL(ret, name, params, args, ints, texts, result, outs, members)                          \
    if ((false members) && fn_of(record[i]) == #name)                                              \
        return record[i].value("r", int64_t{0});
int64_t Builder::last_errno() {
    [[maybe_unused]] Builder &b = *this;
    [[maybe_unused]] const char *p = "";
    for (std::size_t i = index + 1; i < record.size(); ++i) {
#include "../../platform/calls.def"
    }
    return 0;
}
#undef M
#undef CALL

} // namespace

bool build_capture(const std::vector<json> &record, Capture &out, std::string &problem) try {
    Builder b{record, out};
    out.scenario["description"] = "";
    for (; b.index < record.size(); ++b.index)
        b.one(record[b.index]);
    b.finish_tools();
    problem = b.processes.empty()
                  ? "the command did not load libsysmgrcli (a static or set-user-ID host, or one "
                    "that never loads it, cannot be captured)"
              : b.processes.size() > 1
                  ? "the command loaded libsysmgrcli in " + std::to_string(b.processes.size()) +
                        " processes; capture one run at a time"
              : b.bindings == 0 ? "the host cannot be captured: the dynamic linker reported none "
                                  "of the library's bindings"
              : out.calls == 0  ? "the library made no platform call: no show command ran"
                                : b.problem;
    if (!problem.empty())
        return false;
    out.scenario["description"] = "Captured run of " + out.library;
    const ojson &backend = out.scenario.contains("backend") ? out.scenario["backend"] : ojson();
    out.served = b.entry                       ? "the alternate version report"
                 : backend.contains("command") ? "command " + backend["command"].dump()
                                               : "no command";
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

std::string manifest_text(const Capture &capture) {
    std::string out =
        "# sysmgr-capture manifest\ncommand: " + capture.command + "\nlibrary: " + capture.library +
        "\ntime zone: " + (capture.tz ? "TZ=" + *capture.tz : "TZ unset: the machine's zone") +
        " (replay with the same TZ for the same local times)\nplatform calls: " +
        std::to_string(capture.calls) +
        "\n\n# scenario.json: member = value <- where it came from\n";
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
        // JSON, with bytes that are not UTF-8 escaped.
        out +=
            what + " = " +
            (node != nullptr ? node->dump(-1, ' ', false, ojson::error_handler_t::replace) : "?") +
            " <- " + s.from + "\n";
    }
    out += "\n# root: the files as the run first found them <- how the library used them\n";
    for (const FoundFile &f : capture.files) {
        char mode[16];
        std::snprintf(mode, sizeof mode, "%04o", f.mode);
        std::string what = (f.state == "regular" ? "file" : f.state) + " " + mode;
        if (f.state == "regular")
            what += ", " + std::to_string(f.data.size()) + " bytes";
        if (f.state == "symlink")
            what += " -> " + f.target;
        if (tree::replay_writes(f.path))
            what = "not kept: the replay writes its own";
        else if (f.state == "absent")
            what = f.made ? "absent; the run made it, so it is left out" : "absent";
        else if (f.state == "other")
            what = "not a file, directory or link: not reproduced";
        out += "root" + f.path + ": " + what + "\n";
    }
    for (const auto &t : tree::kTools)
        if (capture.scenario.contains("tools") && capture.scenario["tools"].contains(t.name) &&
            !capture.scenario["tools"][t.name].is_null())
            out += std::string("root") + t.path + ": the replay's stand-in prints tools." + t.name +
                   " (scenario.json)\n";
    std::size_t prints = 0;
    for (const Printed &p : capture.printed)
        prints += p.call != "stdout" && p.call != "stderr" ? 1 : 0;
    out += "\n# printed.json: what the library printed, in order <- the print calls and the "
           "standard streams\nserved: " +
           capture.served + "\nprint calls: " + std::to_string(prints) +
           "\nstandard stream writes: " + std::to_string(capture.printed.size() - prints) +
           "\noutput.txt: the print calls as sysmgr-show renders them in text\n";
    out += "\n# utilities run <- how\n";
    for (const Source &s : capture.sources)
        if (s.keys.empty())
            out += s.ran + " <- " + s.from + "\n";
    if (!capture.redacted.empty())
        out += "\n# redacted\n";
    for (const std::string &r : capture.redacted)
        out += r + "\n";
    out += "\n# not captured\n";
    for (const std::string &n : capture.notes)
        out += n + "\n";
    return out;
}

/* Writes data to the new file name in dir_fd, never through a link: 0, or the errno. */
int write_new_file(int dir_fd, const char *name, const std::string &data, mode_t mode) {
    tree::Fd file(
        ::openat(dir_fd, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (file.get() < 0)
        return errno;
    const int error = tree::write_at(file.get(), data.data(), data.size(), 0);
    return error != 0 ? error : ::fchmod(file.get(), mode) != 0 ? errno : 0;
}

/* One file as first found in the directory dir_fd: 0 when written, else the errno. */
int write_one(int dir_fd, const std::string &name, const FoundFile &f) {
    const mode_t mode = f.mode & 07777 & ~mode_t{S_IWGRP | S_IWOTH | S_ISUID | S_ISGID};
    if (f.state == "symlink")
        return ::symlinkat(f.target.c_str(), dir_fd, name.c_str()) != 0 ? errno : 0;
    if (f.state != "directory")
        return write_new_file(dir_fd, name.c_str(), f.data, mode);
    if (::mkdirat(dir_fd, name.c_str(), 0700) != 0 && errno != EEXIST)
        return errno;
    tree::Fd dir(::openat(dir_fd, name.c_str(), tree::kDirFlags));
    // The owner keeps write and search, so that the tree can be filled and removed.
    return dir.get() < 0 || ::fchmod(dir.get(), mode | 0700) != 0 ? errno : 0;
}

/* A recorded path's components below the root; false on an empty, "." or ".." one, or for "/". */
bool path_components(const std::string &path, std::vector<std::string> &out) {
    out = tree::components(path);
    return !out.empty() && !path.ends_with('/') && path.find("//") == std::string::npos &&
           std::none_of(out.begin(), out.end(), [](const std::string &part) {
               return part == "." || part == ".." || part.find('\0') != std::string::npos;
           });
}

} // namespace

bool write_tree(int root_fd, const Capture &capture, std::vector<std::string> &notes,
                std::string &problem) {
    std::vector<const FoundFile *> files;
    for (const FoundFile &f : capture.files)
        if (f.state != "absent" && f.state != "other" && !tree::replay_writes(f.path))
            files.push_back(&f);
    std::sort(files.begin(), files.end(),
              [](const FoundFile *a, const FoundFile *b) { return a->path < b->path; });
    std::vector<std::string> parts;
    for (const FoundFile *f : files) {
        if (!path_components(f->path, parts)) {
            if (f->path != "/")
                notes.push_back("root" + f->path + ": not a plain path below the root: left out");
            continue;
        }
        tree::Fd dir(tree::open_dirs(root_fd, parts, parts.size() - 1, true));
        const int error = dir.get() < 0 ? errno : write_one(dir.get(), parts.back(), *f);
        if (error == ELOOP || error == ENOTDIR || error == EEXIST) {
            notes.push_back("root" + f->path + ": below a link or a file: left out");
        } else if (error != 0) {
            problem = "cannot write root" + f->path + ": " + std::strerror(error);
            return false;
        }
    }
    return true;
}

/*
 * The soname and GNU build id of the ELF file at path, "" each when not
 * found: read from its program headers, for information only (a copy
 * patched in place keeps its build id).
 */
std::pair<std::string, std::string> elf_ids(const std::string &path) {
    const tree::Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    struct stat st;
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) ||
        st.st_size > (64 << 20))
        return {};
    std::string image(static_cast<std::size_t>(st.st_size), '\0');
    if (::pread(fd.get(), image.data(), image.size(), 0) != st.st_size)
        return {};
    auto at = [&image](auto &out, uint64_t offset) {
        const bool inside = offset <= image.size() && image.size() - offset >= sizeof out;
        if (inside)
            std::memcpy(&out, image.data() + offset, sizeof out);
        return inside;
    };
    ElfW(Ehdr) eh;
    if (!at(eh, 0) || std::memcmp(eh.e_ident, ELFMAG, SELFMAG) != 0 ||
        eh.e_ident[EI_CLASS] != (__ELF_NATIVE_CLASS == 64 ? ELFCLASS64 : ELFCLASS32))
        return {};
    std::vector<ElfW(Phdr)> headers(eh.e_phnum);
    for (std::size_t i = 0; i < headers.size(); ++i)
        if (!at(headers[i], eh.e_phoff + i * sizeof(ElfW(Phdr))))
            return {};
    std::string soname, build_id;
    for (const ElfW(Phdr) & ph : headers) {
        ElfW(Nhdr) note;
        for (uint64_t o = ph.p_offset;
             ph.p_type == PT_NOTE && o < ph.p_offset + ph.p_filesz && at(note, o);) {
            const uint64_t name = o + sizeof note, desc = name + ((note.n_namesz + 3) & ~3u);
            if (note.n_type == NT_GNU_BUILD_ID && note.n_namesz == 4 && desc <= image.size() &&
                image.compare(name, 4, std::string("GNU", 4)) == 0)
                build_id = printed::hex(image.substr(desc, note.n_descsz));
            o = desc + ((note.n_descsz + 3) & ~3u);
        }
        uint64_t strtab = image.size(), name = 0;
        ElfW(Dyn) d;
        for (uint64_t o = ph.p_offset; ph.p_type == PT_DYNAMIC && at(d, o) && d.d_tag != DT_NULL;
             o += sizeof d) {
            for (const ElfW(Phdr) & load : headers) // DT_STRTAB is an address
                if (d.d_tag == DT_STRTAB && load.p_type == PT_LOAD &&
                    d.d_un.d_ptr >= load.p_vaddr && d.d_un.d_ptr - load.p_vaddr < load.p_filesz)
                    strtab = load.p_offset + (d.d_un.d_ptr - load.p_vaddr);
            name = d.d_tag == DT_SONAME ? d.d_un.d_val : name;
        }
        if (ph.p_type == PT_DYNAMIC && strtab < image.size() && name < image.size() - strtab)
            soname = image.substr(strtab + name).c_str();
    }
    return {soname, build_id};
}

/* printed.json: the capture's print calls and stream writes, with what served them. */
std::string printed_json(const Capture &capture) {
    const auto [soname, build_id] = elf_ids(capture.library);
    ojson doc = {
        {"served", capture.served},
        {"library", {{"path", capture.library}, {"soname", soname}, {"build_id", build_id}}},
        {"time_zone", capture.tz ? ojson(*capture.tz) : ojson()},
        {"redacted", !capture.redacted.empty()},
        {"printed", ojson::array()}};
    for (const Printed &p : capture.printed) {
        ojson one = {{"call", p.call}};
        if (p.format)
            one["format"] = *p.format;
        if (p.argument)
            one.update({{"tag", printed::id(p.tag)}, {"len", p.len}});
        if (p.value || (p.argument && p.rendered)) // a null value: the back end reads none
            one["value"] = p.value ? ojson(printed::hex(*p.value)) : ojson();
        if (p.format || !p.argument)
            one["text"] = p.text;
        doc["printed"].push_back(std::move(one));
    }
    return doc.dump(2, ' ', false, ojson::error_handler_t::replace) + "\n";
}

bool write_capture(Capture &capture, int dir, mode_t mode, std::string &problem) {
    auto failed = [&problem](const std::string &message) {
        problem = message;
        return false;
    };
    if (::mkdirat(dir, "root", 0700) != 0)
        return failed(std::string("cannot create root: ") + std::strerror(errno));
    const tree::Fd root(::openat(dir, "root", tree::kDirFlags));
    if (root.get() < 0 || !write_tree(root.get(), capture, capture.notes, problem) ||
        ::fchmod(root.get(), mode) != 0)
        return problem.empty() ? failed(std::string("cannot write root: ") + std::strerror(errno))
                               : false;
    std::string text;
    try {
        text = capture.scenario.dump(2) + "\n";
    } catch (const json::exception &) {
        return failed("a text the platform gave is not UTF-8, which a scenario cannot hold");
    }
    // The simulator, loading the scenario, shows that it can answer every value.
    char err[1024];
    if (sim_load_scenario(text.c_str(), "the captured scenario", err, sizeof err) != 0)
        return failed(std::string("the simulator cannot replay this capture: ") + err);
    // cmd_prt's text as the simulator renders it, local times in the host's zone.
    if (capture.tz)
        ::setenv("TZ", capture.tz->c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();
    std::string output;
    for (Printed &p : capture.printed) {
        const cmd_prt_arg_t arg = {p.tag, p.value ? static_cast<uint32_t>(p.value->size()) : 0,
                                   p.value ? p.value->data() : nullptr};
        if (p.rendered)
            p.text = sysmgrsim::print_of(p.format.value_or(""), p.argument ? &arg : nullptr).text;
        output += p.rendered || p.format ? p.text : "";
    }
    for (const auto &[file, content] : {std::pair{"scenario.json", text},
                                        {"MANIFEST", manifest_text(capture)},
                                        {"printed.json", printed_json(capture)},
                                        {"output.txt", output}})
        if (const int error = write_new_file(dir, file, content, mode & 0666))
            return failed(std::string("cannot write ") + file + ": " + std::strerror(error));
    return true;
}

} // namespace sysmgrcapture
