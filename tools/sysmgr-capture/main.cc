// SPDX-License-Identifier: MIT
// sysmgr-capture --out DIR [--redact | --redact-key FILE] -- COMMAND [ARGS...]
// (sysmgr-capture(1)). Runs COMMAND with the audit module, whose record comes
// over a socket and stays in memory, then writes DIR by descriptor in a
// private directory beside it that a rename replacing nothing makes DIR.
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include <poll.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <CLI/CLI.hpp>

#include "capture.h"
#include "capture_log.h"
#include "sysmgrsim/sim.h"

extern char **environ;

namespace {

namespace fs = std::filesystem;
using sysmgrcapture::Capture;
using tree::Fd;
using tree::kDirFlags;

constexpr int kExitNotCaptured = 125;
constexpr int kExitCannotRun = 126;
constexpr int kExitNotFound = 127;

int complain(const std::string &message, int status = kExitNotCaptured) {
    std::fprintf(stderr, "sysmgr-capture: %s\n", message.c_str());
    return status;
}

int stopped(int signal) {
    return complain("ended by signal " + std::to_string(signal) + ": nothing captured",
                    128 + signal);
}

bool failed(std::string &problem, const std::string &message) {
    problem = message;
    return false;
}

/* $SYSMGR_CAPTURE_MODULE, else the module in the build tree or installed beside this program. */
std::string find_module(std::string &problem) {
    const char *given = std::getenv("SYSMGR_CAPTURE_MODULE");
    if (given != nullptr && given[0] != '\0')
        return fs::absolute(given).string();
    std::error_code ec;
    const fs::path here = fs::read_symlink("/proc/self/exe", ec).parent_path();
    for (const char *dir : {SYSMGR_CAPTURE_BUILD_DIR, SYSMGR_CAPTURE_INSTALL_DIR}) {
        const fs::path module = here / dir / "libsysmgrcapture.so";
        if (!ec && fs::exists(module, ec))
            return module.lexically_normal().string();
    }
    problem = "cannot find libsysmgrcapture.so beside this program (set SYSMGR_CAPTURE_MODULE)";
    return "";
}

constexpr const char *kSocketName = "record";
constexpr std::size_t kMaxRecord = std::size_t{64} << 20; // bytes kept from all processes
constexpr std::size_t kMaxPeers = 256;                    // processes recording at once
constexpr int kPeerWaitSeconds = 10; // for processes still running after COMMAND ended

/* Whether only we or root can change entries in the directory fd: shared ones must be sticky. */
bool safe_parent(int fd, const std::string &name, std::string &problem) {
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return failed(problem, name + ": " + std::strerror(errno));
    const bool others_write = (st.st_mode & (S_IWGRP | S_IWOTH)) != 0;
    if ((st.st_uid == ::geteuid() || st.st_uid == 0) && (!others_write || st.st_mode & S_ISVTX))
        return true;
    problem =
        name + ": another user can change this directory (" +
        (others_write ? "others can write it and it is not sticky" : "it belongs to another user") +
        "): name a DIR in a directory only you or root control";
    return false;
}

/* A private (0700) directory beside DIR that becomes DIR when complete, and goes otherwise. */
class WorkDir {
  public:
    bool create(const std::string &out, std::string &problem) {
        std::string trimmed = out;
        while (trimmed.size() > 1 && trimmed.back() == '/')
            trimmed.pop_back();
        const fs::path given(trimmed);
        base_ = given.filename().string();
        if (base_.empty() || base_ == "." || base_ == "..")
            return failed(problem, "--out " + out + ": name a new directory");
        std::error_code ec;
        parent_ = fs::absolute(given.has_parent_path() ? given.parent_path() : ".", ec);
        parent_fd_.reset(::open(parent_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (ec || parent_fd_.get() < 0)
            return failed(problem,
                          parent_.string() + ": " + (ec ? ec.message() : std::strerror(errno)));
        if (!safe_parent(parent_fd_.get(), parent_.string(), problem))
            return false;
        struct stat st;
        if (::fstatat(parent_fd_.get(), base_.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
            return failed(problem, out + " exists: name a new directory");
        std::string made = (parent_ / (base_ + ".partial.XXXXXX")).string();
        if (::mkdtemp(made.data()) != nullptr) {
            name_ = fs::path(made).filename().string();
            fd_.reset(::openat(parent_fd_.get(), name_.c_str(), kDirFlags));
        }
        if (fd_.get() < 0 || ::fchmod(fd_.get(), 0700) != 0)
            return failed(problem, "cannot create " + out + ".partial.*: " + std::strerror(errno));
        return true;
    }
    int fd() const { return fd_.get(); }
    fs::path path() const { return parent_ / name_; }
    /* Renames the directory to DIR, never over anything, then gives it its mode. */
    bool finish(mode_t mode, std::string &problem) {
        const std::string out = (parent_ / base_).string();
        if (::renameat2(parent_fd_.get(), name_.c_str(), parent_fd_.get(), base_.c_str(),
                        RENAME_NOREPLACE) != 0) {
            const int error = errno;
            problem = error == EEXIST ? out + " appeared meanwhile: it is left as it is"
                      : error == EINVAL || error == ENOSYS
                          ? "the file system of " + out +
                                " cannot rename without replacing: choose another place"
                          : "cannot rename " + path().string() + " to " + out + ": " +
                                std::strerror(error);
            return false;
        }
        name_.clear();
        if (::fchmod(fd_.get(), mode) != 0)
            return failed(problem, "cannot set the mode of " + out + ": " + std::strerror(errno));
        return true;
    }
    ~WorkDir() {
        std::error_code ec;
        if (!name_.empty()) // directories keep write permission for their owner
            fs::remove_all(path(), ec);
    }

  private:
    fs::path parent_;
    std::string base_, name_;
    Fd parent_fd_, fd_;
};

/* The signals that end a capture, and SIGCHLD: blocked throughout and read from a descriptor. */
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

sigset_t handled_signals() {
    sigset_t set;
    sigemptyset(&set);
    for (int s : kStopSignals)
        sigaddset(&set, s);
    sigaddset(&set, SIGCHLD);
    return set;
}

/* What a run of COMMAND gave. */
struct Run {
    int status = -1;                   // COMMAND's wait status
    int signal = 0;                    // the first of kStopSignals that reached us
    std::string problem;               // why the record cannot be used
    std::vector<nlohmann::json> lines; // the record of the processes that ended it properly
    std::size_t bytes = 0;
};

/* One process's connection, and what it sent. */
struct Peer {
    int fd;
    std::string data;
};

/* Takes a process's record when its connection ends, only when it ends with the end line. */
void take(Peer &peer, Run &run) {
    ::close(peer.fd);
    std::vector<nlohmann::json> lines;
    std::size_t at = 0;
    for (std::size_t end; (end = peer.data.find('\n', at)) != std::string::npos; at = end + 1) {
        auto value =
            nlohmann::json::parse(peer.data.begin() + static_cast<long>(at),
                                  peer.data.begin() + static_cast<long>(end), nullptr, false);
        if (value.is_discarded() || !value.is_object()) {
            run.problem = "the record is damaged";
            return;
        }
        lines.push_back(std::move(value));
    }
    if (at != peer.data.size() || lines.empty() || lines.back().value("fn", "") != "@end") {
        const std::string pid =
            lines.empty() ? "a process"
                          : "process " + std::to_string(lines[0].value("pid", std::int64_t{0}));
        if (run.problem.empty())
            run.problem = pid + " ended its record without the end line (it closed or reused "
                                "the record's descriptor, or was killed)";
        return;
    }
    lines.pop_back();
    for (auto &line : lines)
        run.lines.push_back(std::move(line));
}

/* Reaps every child that ended, keeping COMMAND's status; false when none is left. */
bool reap(pid_t command, Run &run, bool &ended) {
    for (;;) {
        int status;
        const pid_t pid = ::waitpid(-1, &status, WNOHANG);
        if (pid <= 0)
            return pid == 0 || errno != ECHILD;
        if (pid == command) {
            run.status = status;
            ended = true;
        }
    }
}

/*
 * Serves the socket until COMMAND and every process it left (ours, as we
 * reap orphans) have ended and every connection closed; processes outliving
 * COMMAND get kPeerWaitSeconds, and a stop signal ends the wait.
 */
void serve(int listener, int signals, pid_t pid, Run &run) {
    using Clock = std::chrono::steady_clock;
    std::vector<Peer> peers;
    bool ended = false, children = true;
    Clock::time_point deadline;
    for (;;) {
        if (ended && (run.signal != 0 || !run.problem.empty()))
            break;
        if (ended && !children && peers.empty()) {
            const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
            if (fd < 0)
                break;
            peers.push_back({fd, {}});
        }
        if (ended && Clock::now() >= deadline) {
            if (!peers.empty())
                run.problem = "a process that loaded libsysmgrcli was still running " +
                              std::to_string(kPeerWaitSeconds) + " s after the command ended";
            break;
        }
        // Once the record cannot be used, no more processes are taken.
        std::vector<pollfd> polled = {{signals, POLLIN, 0},
                                      {run.problem.empty() ? listener : -1, POLLIN, 0}};
        for (const Peer &p : peers)
            polled.push_back({p.fd, POLLIN, 0});
        if (::poll(polled.data(), polled.size(), ended ? 100 : -1) < 0 && errno != EINTR) {
            run.problem = std::string("poll: ") + std::strerror(errno);
            break;
        }
        signalfd_siginfo info;
        while ((polled[0].revents & POLLIN) != 0 &&
               ::read(signals, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
            const int s = static_cast<int>(info.ssi_signo);
            if (s == SIGCHLD) {
                const bool was_running = !ended;
                children = reap(pid, run, ended);
                if (was_running && ended)
                    deadline = Clock::now() + std::chrono::seconds(kPeerWaitSeconds);
                continue;
            }
            if (run.signal == 0)
                run.signal = s;
            // The terminal's signals reach the command itself, like a shell's foreground job's.
            if (!ended && (s == SIGTERM || s == SIGHUP))
                ::kill(pid, s);
        }
        for (std::size_t i = peers.size(); i-- > 0;) {
            if (polled[i + 2].revents == 0)
                continue;
            char chunk[65536];
            const ssize_t got = ::read(peers[i].fd, chunk, sizeof chunk);
            if (got < 0 && (errno == EINTR || errno == EAGAIN))
                continue;
            if (got > 0 && (run.bytes += static_cast<std::size_t>(got)) <= kMaxRecord) {
                peers[i].data.append(chunk, static_cast<std::size_t>(got));
                continue;
            }
            if (got > 0) {
                run.problem =
                    "the record is larger than " + std::to_string(kMaxRecord >> 20) + " MiB";
                ::close(peers[i].fd);
            } else {
                take(peers[i], run);
            }
            peers.erase(peers.begin() + static_cast<long>(i));
        }
        // After the peers polled, whose places in polled new ones would shift.
        while ((polled[1].revents & POLLIN) != 0 && run.problem.empty()) {
            const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
            if (fd < 0 && errno != EAGAIN && errno != EINTR)
                run.problem =
                    std::string("cannot take a process's record: ") + std::strerror(errno);
            if (fd < 0)
                break;
            peers.push_back({fd, {}});
            if (peers.size() > kMaxPeers)
                run.problem =
                    "more than " + std::to_string(kMaxPeers) + " processes recorded at once";
        }
    }
    for (const Peer &p : peers)
        ::close(p.fd);
}

/* Runs the command with the module and the socket in its environment; false with errno if not. */
bool run(const std::vector<std::string> &command, const std::string &module, WorkDir &work,
         mode_t mask, Run &out) {
    const std::string socket_path = (work.path() / kSocketName).string();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socket_path.size() >= sizeof address.sun_path) {
        out.problem = "the path of " + socket_path + " is longer than a socket's " +
                      std::to_string(sizeof address.sun_path - 1) + " bytes: choose a shorter DIR";
        return true;
    }
    std::memcpy(address.sun_path, socket_path.c_str(), socket_path.size() + 1);
    const sigset_t blocked = handled_signals();
    const Fd listener(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    const Fd signals(::signalfd(-1, &blocked, SFD_CLOEXEC | SFD_NONBLOCK));
    if (listener.get() < 0 || signals.get() < 0 ||
        ::bind(listener.get(), reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        ::listen(listener.get(), SOMAXCONN) != 0) {
        out.problem = "cannot listen on " + socket_path + ": " + std::strerror(errno);
        return true;
    }

    std::vector<std::string> env;
    for (char **e = environ; *e != nullptr; ++e)
        if (!std::string_view(*e).starts_with("LD_AUDIT=") &&
            !std::string_view(*e).starts_with(SYSMGR_CAPTURE_SOCKET_VARIABLE "="))
            env.emplace_back(*e);
    const std::string audit = std::getenv("LD_AUDIT") != nullptr ? std::getenv("LD_AUDIT") : "";
    env.push_back("LD_AUDIT=" + module + (audit.empty() ? "" : ":") + audit);
    env.push_back(SYSMGR_CAPTURE_SOCKET_VARIABLE "=" + socket_path);
    std::vector<std::string> args = command;
    const auto pointers = [](std::vector<std::string> &words) {
        std::vector<char *> out;
        for (std::string &w : words)
            out.push_back(w.data());
        out.push_back(nullptr);
        return out;
    };
    std::vector<char *> envp = pointers(env), argv = pointers(args);

    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &blocked);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    pid_t pid = -1;
    ::umask(mask); // the command makes its files as the user would
    const int error = posix_spawnp(&pid, argv[0], nullptr, &attr, argv.data(), envp.data());
    ::umask(077);
    posix_spawnattr_destroy(&attr);
    if (error == 0)
        serve(listener.get(), signals.get(), pid, out);
    ::unlinkat(work.fd(), kSocketName, 0);
    errno = error;
    return error == 0;
}

int pending_signal() {
    sigset_t pending;
    sigpending(&pending);
    for (int s : kStopSignals)
        if (sigismember(&pending, s))
            return s;
    return 0;
}

/* Writes the scenario once the simulator, loading it, has shown that it can answer every value. */
bool write_scenario(const Capture &capture, int dir, mode_t mode, std::string &problem) {
    std::string text;
    try {
        text = capture.scenario.dump(2) + "\n";
    } catch (const nlohmann::json::exception &) {
        return failed(problem,
                      "a text the platform gave is not UTF-8, which a scenario cannot hold");
    }
    char err[1024];
    if (sim_load_scenario(text.c_str(), "the captured scenario", err, sizeof err) != 0)
        return failed(problem, std::string("the simulator cannot replay this capture: ") + err);
    if (const int error = sysmgrcapture::write_new_file(dir, "scenario.json", text, mode))
        return failed(problem, std::string("cannot write scenario.json: ") + std::strerror(error));
    return true;
}

/* root/, scenario.json and MANIFEST, in the work directory. */
bool write_capture(Capture &capture, int dir, mode_t mode, std::string &problem) {
    if (::mkdirat(dir, "root", 0700) != 0)
        return failed(problem, std::string("cannot create root: ") + std::strerror(errno));
    const Fd root(::openat(dir, "root", kDirFlags));
    const bool written = root.get() >= 0 &&
                         sysmgrcapture::write_tree(root.get(), capture, capture.notes, problem) &&
                         ::fchmod(root.get(), mode) == 0;
    if (!written && problem.empty())
        problem = std::string("cannot write root: ") + std::strerror(errno);
    if (!written || !write_scenario(capture, dir, mode & 0666, problem))
        return false;
    if (const int error = sysmgrcapture::write_new_file(
            dir, "MANIFEST", sysmgrcapture::manifest_text(capture), mode & 0666))
        return failed(problem, std::string("cannot write MANIFEST: ") + std::strerror(error));
    return true;
}

} // namespace

int main(int argc, char **argv) {
    CLI::App app{"Captures a host's run of libsysmgrcli as a scenario that sysmgr-show replays",
                 "sysmgr-capture"};
    std::string out;
    bool redact = false;
    std::vector<std::string> command;
    app.add_option("--out", out, "Directory to create: scenario.json, root/ and MANIFEST")
        ->required();
    std::string redact_key;
    app.add_flag("--redact", redact,
                 "Replace serial numbers, host and domain names, e-mail, IP and MAC addresses "
                 "and image names by placeholders");
    const CLI::Option *key_option =
        app.add_option("--redact-key", redact_key,
                       "Make the placeholders with the 32-byte key in this file, which only its "
                       "owner may read (implies --redact)");
    app.add_option("command", command, "The host to run, with its arguments (after --)")
        ->required();
    app.failure_message([](const CLI::App *, const CLI::Error &e) {
        return "sysmgr-capture: " + std::string(e.what()) +
               "\nRun with --help for more information.\n";
    });
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError &e) {
        const int status = app.exit(e);
        return status == 0 ? 0 : kExitNotCaptured;
    }

    // Everything sysmgr-capture makes is private until DIR is complete; the
    // stop signals are read, not taken, so that the work directory always goes.
    const mode_t mask = ::umask(077);
    const sigset_t blocked = handled_signals();
    sigprocmask(SIG_BLOCK, &blocked, nullptr);
    // Processes COMMAND leaves behind become ours, so that their end is seen.
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);
    std::string problem;
    sysmgrcapture::RedactKey key;
    // --redact-key, even with an empty name, means redaction: redacted or nothing written.
    redact = redact || key_option->count() > 0;
    if (redact &&
        !(key_option->count() > 0 ? sysmgrcapture::load_redact_key(redact_key, key, problem)
                                  : sysmgrcapture::random_redact_key(key, problem)))
        return complain(problem);
    const std::string module = find_module(problem);
    WorkDir work;
    if (module.empty() || !work.create(out, problem))
        return complain(problem);
    Run ran;
    if (!run(command, module, work, mask, ran)) {
        const int error = errno;
        return complain(command[0] + ": " + std::strerror(error),
                        error == ENOENT ? kExitNotFound : kExitCannotRun);
    }
    if (ran.status != -1 && WIFSIGNALED(ran.status))
        return complain(command[0] + " was ended by signal " +
                            std::to_string(WTERMSIG(ran.status)) + ": nothing captured",
                        128 + WTERMSIG(ran.status));
    if (ran.signal != 0)
        return stopped(ran.signal);

    Capture capture;
    if (!ran.problem.empty() || !sysmgrcapture::build_capture(ran.lines, capture, problem))
        return complain((ran.problem.empty() ? problem : ran.problem) + "; nothing captured");
    capture.command = CLI::detail::join(command, " ");
    if (redact)
        sysmgrcapture::redact(capture, key);
    // DIR and what is in it: readable as the umask allows, writable by the owner only.
    const mode_t mode = ((0777 & ~mask) | 0700) & ~mode_t{022};
    if (!write_capture(capture, work.fd(), mode, problem))
        return complain(problem + "; nothing captured");
    if (const int s = pending_signal(); s != 0)
        return stopped(s);
    if (!work.finish(mode, problem))
        return complain(problem);
    return WEXITSTATUS(ran.status);
}
