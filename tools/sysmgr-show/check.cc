// SPDX-License-Identifier: MIT
// `sysmgr-show check`: replays captures with the library this program loads
// and compares what it prints with what the capture recorded (printed.json).
// Each capture is replayed by a process of its own, this program run with
// --scenario, --root and --format printed in the capture's time zone: the
// root, the streams and the library's static buffers are per process.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "commands.h"
#include "printed.h"
#include "sysmgrcli/tags.h"
#include "tree.h"

namespace {

namespace fs = std::filesystem;
using json = nlohmann::ordered_json;

constexpr int kIdentical = 0, kDiffers = 1, kUnreadable = 2;
constexpr std::size_t kMaxDocument = 64u << 20; // printed.json, or a replay's output
constexpr std::size_t kContext = 3;             // lines around a change in a diff

/* One capture's verdict. */
struct Result {
    std::string path;
    int status = kIdentical;
    std::string verdict; // identical, differs, differs only in redacted values, cannot be checked
    std::string reason;  // why it cannot be checked
    std::string diff;    // of the rendered text
    std::vector<std::string> tags; // whose values changed
};

/* Up to max bytes of a regular file, or false with errno's text in problem. */
bool read_small(const fs::path &path, std::string &out, std::string &problem) {
    const tree::Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    struct stat st;
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0) {
        problem = path.filename().string() + ": " + std::strerror(errno);
        return false;
    }
    if (!S_ISREG(st.st_mode) || static_cast<std::size_t>(st.st_size) > kMaxDocument) {
        problem = path.filename().string() + ": not a regular file of at most 64 MiB";
        return false;
    }
    out.assign(static_cast<std::size_t>(st.st_size), '\0');
    const ssize_t n = ::pread(fd.get(), out.data(), out.size(), 0);
    out.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return true;
}

/* What a side printed: the print calls' entries, and each stream's lines. */
struct Printed {
    std::vector<json> prints; // tag, len, value (bytes in hex), text
    std::vector<std::string> lines[2];
    std::string text; // the print calls' texts, as sysmgr-show renders them
};

/* A text's lines, the last one marked when it has no line end. */
std::vector<std::string> text_lines(const std::string &text) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    for (std::size_t end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
        lines.push_back(text.substr(at, end - at));
    if (at < text.size())
        lines.push_back(text.substr(at) + "\n\\ No newline at end of file");
    return lines;
}

/*
 * A printed.json document read into its parts; false with problem unless it
 * is one. The temporary root's path is taken out of the stream lines: a
 * replay's differs from the live run's.
 */
bool parse_printed(const json &doc, Printed &out, std::string &problem) {
    static const std::regex kRoot(R"([^\s'"]*/sysmgr-show\.[A-Za-z0-9]{6}/root)");
    if (!doc.is_object() || !doc.contains("printed") || !doc["printed"].is_array()) {
        problem = "printed.json is damaged or not a record of print calls";
        return false;
    }
    std::string pending[2];
    for (const json &entry : doc["printed"]) {
        if (!entry.is_object() || !entry.value("call", json()).is_string()) {
            problem = "printed.json is damaged: an entry without its call";
            return false;
        }
        const std::string call = entry["call"].get<std::string>();
        const bool stream = call == "stdout" || call == "stderr";
        if (!entry.contains("text") || !entry["text"].is_string())
            continue; // an argument made, not printed
        const std::string text = entry["text"].get<std::string>();
        if (stream) {
            pending[call == "stderr"] += std::regex_replace(text, kRoot, "");
            continue;
        }
        json print = {{"tag", entry.value("tag", json())},
                      {"len", entry.value("len", json())},
                      {"value", entry.value("value", json())},
                      {"text", text}};
        if (print["value"].is_null() && !print["tag"].is_null())
            print["value"] = ""; // a null value: no bytes
        out.text += text;
        out.prints.push_back(std::move(print));
    }
    for (int s = 0; s < 2; ++s)
        out.lines[s] = text_lines(pending[s]);
    return true;
}

/* A unified diff of two texts, "captured" against "replayed", with kContext lines around. */
std::string unified_diff(const std::string &captured, const std::string &replayed) {
    const std::vector<std::string> a = text_lines(captured), b = text_lines(replayed);
    // The table below grows as the product of the two lengths: past a bound
    // (far beyond any report), the whole of one text against the other.
    constexpr std::size_t kMaxCells = std::size_t{1} << 22;
    if (a.size() * b.size() > kMaxCells) {
        std::string out = "--- captured\n+++ replayed\n@@ -1," + std::to_string(a.size()) + " +1," +
                          std::to_string(b.size()) + " @@\n";
        for (const std::string &line : a)
            out += "-" + line + "\n";
        for (const std::string &line : b)
            out += "+" + line + "\n";
        return out;
    }
    // The longest common subsequence from each pair of suffixes.
    std::vector<std::vector<unsigned>> lcs(a.size() + 1, std::vector<unsigned>(b.size() + 1));
    for (std::size_t i = a.size(); i-- > 0;)
        for (std::size_t j = b.size(); j-- > 0;)
            lcs[i][j] =
                a[i] == b[j] ? lcs[i + 1][j + 1] + 1 : std::max(lcs[i + 1][j], lcs[i][j + 1]);
    struct Line {
        char mark;
        std::size_t i, j; // the line's place in a and b
    };
    std::vector<Line> script;
    for (std::size_t i = 0, j = 0; i < a.size() || j < b.size();) {
        if (i < a.size() && j < b.size() && a[i] == b[j])
            script.push_back({' ', i++, j++});
        else if (i < a.size() && (j == b.size() || lcs[i + 1][j] >= lcs[i][j + 1]))
            script.push_back({'-', i++, j});
        else
            script.push_back({'+', i, j++});
    }
    std::string out = "--- captured\n+++ replayed\n";
    for (std::size_t k = 0; k < script.size();) {
        if (script[k].mark == ' ') {
            ++k;
            continue;
        }
        // A hunk: the changes within 2 * kContext lines of each other, with their context.
        std::size_t begin = k >= kContext ? k - kContext : 0, end = k;
        for (std::size_t quiet = 0; end < script.size() && quiet <= 2 * kContext; ++end)
            quiet = script[end].mark == ' ' ? quiet + 1 : 0;
        end = std::min(script.size(), end);
        while (end > begin && script[end - 1].mark == ' ' && end - k > kContext &&
               std::none_of(script.begin() + static_cast<long>(end - kContext),
                            script.begin() + static_cast<long>(end),
                            [](const Line &l) { return l.mark != ' '; }))
            --end;
        std::size_t na = 0, nb = 0;
        for (std::size_t x = begin; x < end; ++x) {
            na += script[x].mark != '+' ? 1 : 0;
            nb += script[x].mark != '-' ? 1 : 0;
        }
        out += "@@ -" + std::to_string(script[begin].i + (na > 0 ? 1 : 0)) + "," +
               std::to_string(na) + " +" + std::to_string(script[begin].j + (nb > 0 ? 1 : 0)) +
               "," + std::to_string(nb) + " @@\n";
        for (std::size_t x = begin; x < end; ++x)
            out +=
                script[x].mark + (script[x].mark == '+' ? b[script[x].j] : a[script[x].i]) + "\n";
        k = end;
    }
    return out;
}

std::string tag_name(const json &tag) {
    const std::string id = tag.is_string() ? tag.get<std::string>() : "(none)";
    for (const auto &row : sysmgrcli::tags::tag_dictionary)
        if (id == printed::id(row.id))
            return id + " (" + row.name + ")";
    return id;
}

/* A placeholder that redaction makes: a value that a replay shows in another form or length. */
bool holds_placeholder(const std::string &text) {
    static const std::regex kPlaceholder(
        R"((host|domain|user|image)-[0-9a-f]{8}|REDACTED-[0-9a-f]{16}|\b10\.\d+\.\d+\.\d+\b)");
    return std::regex_search(text, kPlaceholder);
}

/* The capture's record against the replay's. */
void compare(const Printed &captured, const Printed &replayed, bool redacted, Result &r) {
    std::set<std::string> tags;
    bool only_redacted = redacted;
    const std::size_t n = std::max(captured.prints.size(), replayed.prints.size());
    for (std::size_t i = 0; i < n; ++i) {
        const json none;
        const json &a = i < captured.prints.size() ? captured.prints[i] : none;
        const json &b = i < replayed.prints.size() ? replayed.prints[i] : none;
        if (a == b)
            continue;
        for (const json *side : {&a, &b})
            if (!side->is_null() && !(*side)["tag"].is_null())
                tags.insert(tag_name((*side)["tag"]));
        only_redacted = only_redacted && !a.is_null() && !b.is_null() && a["tag"] == b["tag"] &&
                        holds_placeholder(a["text"].get<std::string>());
    }
    const bool streams_same =
        captured.lines[0] == replayed.lines[0] && captured.lines[1] == replayed.lines[1];
    if (tags.empty() && streams_same && captured.prints.size() == replayed.prints.size() &&
        std::equal(captured.prints.begin(), captured.prints.end(), replayed.prints.begin()))
        return;
    if (only_redacted && streams_same) {
        r.verdict = "differs only in redacted values";
        return;
    }
    r.status = kDiffers;
    r.verdict = "differs";
    r.diff = captured.text == replayed.text ? "" : unified_diff(captured.text, replayed.text);
    for (int s = 0; s < 2; ++s)
        if (captured.lines[s] != replayed.lines[s])
            r.diff += std::string("the library's lines on its standard ") +
                      (s == 0 ? "output" : "error") + " differ\n";
    r.tags.assign(tags.begin(), tags.end());
}

/* A capture to check: its record read, and the subcommand that replays it. */
struct Capture {
    Result result;
    Printed recorded;
    bool redacted = false;
    json tz;
    std::vector<std::string> command;
};

bool unreadable(Capture &c, const std::string &reason) {
    c.result.status = kUnreadable;
    c.result.verdict = "cannot be checked";
    c.result.reason = reason;
    return false;
}

bool prepare(Capture &c) {
    const fs::path dir = c.result.path;
    std::string text, problem;
    std::error_code ec;
    if (!fs::is_regular_file(dir / "scenario.json", ec) || !fs::is_directory(dir / "root", ec))
        return unreadable(c, "no scenario.json or root/: not a capture, or a truncated one");
    if (!fs::exists(dir / "printed.json", ec))
        return unreadable(c, "no printed.json: a capture made before print calls were recorded");
    if (!read_small(dir / "printed.json", text, problem))
        return unreadable(c, problem);
    const json doc = json::parse(text, nullptr, false);
    if (!parse_printed(doc, c.recorded, problem))
        return unreadable(c, problem);
    const json served_value = doc.value("served", json());
    const std::string served = served_value.is_string() ? served_value.get<std::string>() : "";
    c.tz = doc.value("time_zone", json());
    c.redacted = doc.value("redacted", json()) == true;
    int32_t id = 0;
    if (served == "the alternate version report")
        c.command = {"version-alt"};
    else if (served.rfind("command ", 0) == 0 && parse_int32(served.substr(8), id))
        c.command = id == 107 ? std::vector<std::string>{"version"}
                              : std::vector<std::string>{"--cmd", std::to_string(id), "redundancy"};
    else
        return unreadable(c, "printed.json does not say which command was served");
    return true;
}

/* A replay running: the process, and what it wrote on its two streams. */
struct Replay {
    std::size_t index = 0;
    pid_t pid = -1;
    int fds[2] = {-1, -1};
    std::string data[2];
};

/* Starts this program on capture c, its output and errors into pipes; false with the reason. */
bool start(const Capture &c, Replay &r) {
    const std::string dir = c.result.path;
    std::vector<std::string> args = {"sysmgr-show", "--scenario",  dir + "/scenario.json",
                                     "--root",      dir + "/root", "--format",
                                     "printed"};
    args.insert(args.end(), c.command.begin(), c.command.end());
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env_text;
    for (char **e = environ; *e != nullptr; ++e)
        if (std::strncmp(*e, "TZ=", 3) != 0)
            env_text.push_back(*e);
    if (c.tz.is_string())
        env_text.push_back("TZ=" + c.tz.get<std::string>());
    std::vector<char *> env;
    for (std::string &e : env_text)
        env.push_back(e.data());
    env.push_back(nullptr);
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        return false;
    if (::pipe2(err, O_CLOEXEC) != 0) {
        ::close(out[0]), ::close(out[1]);
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    const int error =
        posix_spawn(&r.pid, "/proc/self/exe", &actions, nullptr, argv.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]), ::close(err[1]);
    r.fds[0] = out[0], r.fds[1] = err[0];
    errno = error;
    return error == 0;
}

/* A replay that ended: its record compared with the capture's. */
void finish(Capture &c, Replay &r, int status) {
    Printed replayed;
    std::string problem;
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (code != 0 && code != 1 && code != 3) {
        std::string why = r.data[1].substr(0, r.data[1].find('\n'));
        if (why.rfind("sysmgr-show: ", 0) == 0)
            why = why.substr(13);
        unreadable(c, "the replay failed" + (why.empty() ? "" : ": " + why));
    } else if (!parse_printed(json::parse(r.data[0], nullptr, false), replayed, problem)) {
        unreadable(c, "the replay's record: " + problem);
    } else {
        compare(c.recorded, replayed, c.redacted, c.result);
    }
}

/* Replays every capture that can be, jobs at a time. */
void replay_all(std::vector<Capture> &captures, unsigned jobs) {
    std::vector<Replay> running;
    std::size_t next = 0;
    for (;;) {
        for (; running.size() < jobs && next < captures.size(); ++next) {
            if (captures[next].result.status == kUnreadable)
                continue;
            Replay r;
            r.index = next;
            if (!start(captures[next], r))
                unreadable(captures[next],
                           std::string("cannot start the replay: ") + std::strerror(errno));
            else
                running.push_back(std::move(r));
        }
        if (running.empty())
            return;
        std::vector<pollfd> polled;
        for (const Replay &r : running)
            for (int fd : r.fds)
                polled.push_back({fd, POLLIN, 0});
        if (::poll(polled.data(), polled.size(), -1) < 0 && errno != EINTR)
            return;
        for (std::size_t k = running.size(); k-- > 0;) {
            Replay &r = running[k];
            for (int s = 0; s < 2; ++s) {
                if (r.fds[s] < 0 || polled[2 * k + static_cast<std::size_t>(s)].revents == 0)
                    continue;
                char chunk[65536];
                const ssize_t n = ::read(r.fds[s], chunk, sizeof chunk);
                if (n > 0 && r.data[s].size() < kMaxDocument)
                    r.data[s].append(chunk, static_cast<std::size_t>(n));
                else if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN))
                    ::close(std::exchange(r.fds[s], -1));
            }
            if (r.fds[0] >= 0 || r.fds[1] >= 0)
                continue;
            int status = 0;
            while (::waitpid(r.pid, &status, 0) < 0 && errno == EINTR) {
            }
            finish(captures[r.index], r, status);
            running.erase(running.begin() + static_cast<long>(k));
        }
    }
}

/* The capture directories a path names: itself, or those found below it. */
void find_captures(const std::string &path, std::vector<Capture> &out) {
    std::error_code ec;
    const auto add = [&out](const std::string &p) { out.emplace_back().result.path = p; };
    if (fs::is_directory(path, ec) && fs::exists(fs::path(path) / "MANIFEST", ec))
        return add(path);
    const std::size_t before = out.size();
    if (fs::is_directory(path, ec)) {
        for (auto it = fs::recursive_directory_iterator(
                 path, fs::directory_options::skip_permission_denied, ec);
             !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
            if (it->is_directory(ec) && !it->is_symlink(ec) &&
                fs::exists(it->path() / "MANIFEST", ec)) {
                add(it->path().string());
                it.disable_recursion_pending();
            }
        }
    }
    if (out.size() > before)
        return;
    add(path);
    unreadable(out.back(), fs::exists(path, ec) ? "not a capture, and none is below it"
                                                : std::strerror(ENOENT));
}

} // namespace

int run_check_command(const std::vector<std::string> &paths, unsigned jobs, bool as_json,
                      std::string &out) {
    std::vector<Capture> captures;
    for (const std::string &path : paths)
        find_captures(path, captures);
    for (Capture &c : captures)
        if (c.result.status != kUnreadable)
            prepare(c);
    replay_all(captures, std::max(jobs, 1u));
    int worst = kIdentical;
    json list = json::array();
    for (const Capture &c : captures) {
        const Result &r = c.result;
        worst = std::max(worst, r.status);
        const std::string verdict = r.verdict.empty() ? "identical" : r.verdict;
        if (as_json) {
            json one = {{"path", r.path}, {"result", verdict}};
            if (!r.reason.empty())
                one["reason"] = r.reason;
            if (r.status == kDiffers)
                one.update({{"diff", r.diff}, {"tags", r.tags}});
            list.push_back(std::move(one));
            continue;
        }
        out += r.path + ": " + verdict + (r.reason.empty() ? "" : ": " + r.reason) + "\n";
        if (r.status == kDiffers) {
            out += r.diff;
            if (!r.tags.empty()) {
                out += "tags whose values changed:";
                for (const std::string &t : r.tags)
                    out += " " + t;
                out += "\n";
            }
        }
    }
    if (as_json)
        out = json{{"captures", list}, {"status", worst}}.dump(2, ' ', false,
                                                               json::error_handler_t::replace) +
              "\n";
    return worst;
}
