// SPDX-License-Identifier: MIT
// sysmgr-capture --out DIR [--redact | --redact-key FILE] -- COMMAND [ARGS...]
// (sysmgr-capture(1)). Runs COMMAND with the audit module, whose record comes
// over a socket and stays in memory, then writes DIR by descriptor in a
// private directory beside it that a rename replacing nothing makes DIR.
#include <cerrno>
#include <chrono>
#include <csignal>
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

namespace {

namespace fs = std::filesystem;
using sysmgrcapture::Capture;
using tree::Fd;

constexpr int kExitNotCaptured = 125;
constexpr int kExitCannotRun = 126;
constexpr int kExitNotFound = 127;
constexpr const char *kSocketName = "record";
constexpr std::size_t kMaxRecord = std::size_t{64} << 20; // bytes kept from all processes
constexpr std::size_t kMaxPeers = 256;                    // processes recording at once
constexpr int kPeerWaitSeconds = 10; // for processes still running after COMMAND ended
// The signals that end a capture; with SIGCHLD they are blocked throughout and read from a
// descriptor, so that the work directory always goes.
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

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

std::string error_text(const std::string &what) {
    return what + ": " + std::strerror(errno);
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

/* A private (0700) directory beside DIR that becomes DIR when complete, and goes otherwise. */
struct WorkDir {
    fs::path parent;
    std::string base, name;
    Fd parent_fd, fd;

    bool create(const std::string &out, std::string &problem) {
        std::string trimmed = out;
        while (trimmed.size() > 1 && trimmed.back() == '/')
            trimmed.pop_back();
        const fs::path given(trimmed);
        base = given.filename().string();
        if (base.empty() || base == "." || base == "..")
            return failed(problem, "--out " + out + ": name a new directory");
        std::error_code ec;
        parent = fs::absolute(given.has_parent_path() ? given.parent_path() : ".", ec);
        parent_fd.reset(::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        struct stat st;
        if (ec || parent_fd.get() < 0 || ::fstat(parent_fd.get(), &st) != 0)
            return failed(problem,
                          parent.string() + ": " + (ec ? ec.message() : std::strerror(errno)));
        const tree::Unsafe unsafe = tree::unsafe_directory(st, ::geteuid());
        if (unsafe != tree::Unsafe::no)
            return failed(problem, parent.string() + ": another user can change this directory (" +
                                       (unsafe == tree::Unsafe::others_write
                                            ? tree::kOthersWrite
                                            : "it belongs to another user") +
                                       "): name a DIR in a directory only you or root control");
        if (::fstatat(parent_fd.get(), base.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
            return failed(problem, out + " exists: name a new directory");
        std::string made = (parent / (base + ".partial.XXXXXX")).string();
        if (::mkdtemp(made.data()) != nullptr) {
            name = fs::path(made).filename().string();
            fd.reset(::openat(parent_fd.get(), name.c_str(), tree::kDirFlags));
        }
        return (fd.get() >= 0 && ::fchmod(fd.get(), 0700) == 0) ||
               failed(problem, error_text("cannot create " + out + ".partial.*"));
    }
    /* Renames the directory to DIR, never over anything, then gives it its mode. */
    bool finish(mode_t mode, std::string &problem) {
        const std::string out = (parent / base).string();
        if (::renameat2(parent_fd.get(), name.c_str(), parent_fd.get(), base.c_str(),
                        RENAME_NOREPLACE) != 0) {
            const int error = errno;
            return failed(problem,
                          error == EEXIST ? out + " appeared meanwhile: it is left as it is"
                          : error == EINVAL || error == ENOSYS
                              ? "the file system of " + out +
                                    " cannot rename without replacing: choose another place"
                              : "cannot rename " + (parent / name).string() + " to " + out + ": " +
                                    std::strerror(error));
        }
        name.clear();
        return ::fchmod(fd.get(), mode) == 0 ||
               failed(problem, error_text("cannot set the mode of " + out));
    }
    ~WorkDir() {
        std::error_code ec;
        if (!name.empty()) // directories keep write permission for their owner
            fs::remove_all(parent / name, ec);
    }
};

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
    int status = -1;                   // COMMAND's wait status, -1 while it runs
    int signal = 0;                    // the first of kStopSignals that reached us
    std::string problem;               // why the record cannot be used
    std::vector<nlohmann::json> lines; // the record of the processes that ended it properly
};

/* Takes a process's record when its connection ends, only when it ends with the end line. */
void take(const std::string &data, Run &run) {
    std::vector<nlohmann::json> lines;
    std::size_t at = 0;
    for (std::size_t end; (end = data.find('\n', at)) != std::string::npos; at = end + 1) {
        lines.push_back(nlohmann::json::parse(data.begin() + static_cast<long>(at),
                                              data.begin() + static_cast<long>(end), nullptr,
                                              false));
        if (!lines.back().is_object()) {
            run.problem = "the record is damaged";
            return;
        }
    }
    if (at != data.size() || lines.empty() || lines.back().value("fn", "") != "@end") {
        if (run.problem.empty())
            run.problem =
                (lines.empty()
                     ? "a process"
                     : "process " + std::to_string(lines[0].value("pid", std::int64_t{0}))) +
                " ended its record without the end line (it closed or reused the "
                "record's descriptor, or was killed)";
        return;
    }
    run.lines.insert(run.lines.end(), std::make_move_iterator(lines.begin()),
                     std::make_move_iterator(lines.end() - 1));
}

/*
 * Serves the socket until COMMAND and every process it left (ours, as we
 * reap orphans) have ended and every connection closed; processes outliving
 * COMMAND get kPeerWaitSeconds, and a stop signal ends the wait.
 */
void serve(int listener, int signals, pid_t pid, Run &run) {
    using Clock = std::chrono::steady_clock;
    // The signals, the listener, then a process's connection each, with what it sent.
    std::vector<pollfd> polled = {{signals, POLLIN, 0}, {listener, POLLIN, 0}};
    std::vector<std::string> data(2);
    std::size_t bytes = 0;
    bool children = true;
    Clock::time_point deadline;
    for (;;) {
        const bool ended = run.status != -1, idle = ended && !children && polled.size() == 2;
        if (ended && (run.signal != 0 || !run.problem.empty()))
            break;
        if (ended && !idle && Clock::now() >= deadline) {
            if (polled.size() > 2)
                run.problem = "a process that loaded libsysmgrcli was still running " +
                              std::to_string(kPeerWaitSeconds) + " s after the command ended";
            break;
        }
        // Once the record cannot be used, no more processes are taken; once all is over, only
        // connections already made are.
        polled[1].fd = run.problem.empty() ? listener : -1;
        const int ready = ::poll(polled.data(), polled.size(), !ended ? -1 : idle ? 0 : 100);
        if (ready < 0 && errno != EINTR) {
            run.problem = error_text("poll");
            break;
        }
        if (ready == 0 && idle)
            break;
        for (signalfd_siginfo info;
             (polled[0].revents & POLLIN) != 0 &&
             ::read(signals, &info, sizeof info) == static_cast<ssize_t>(sizeof info);) {
            const int s = static_cast<int>(info.ssi_signo);
            // Reaps every child that ended, keeping COMMAND's status.
            for (int status; s == SIGCHLD;) {
                const pid_t child = ::waitpid(-1, &status, WNOHANG);
                if (child <= 0) {
                    children = child == 0 || errno != ECHILD;
                    break;
                }
                if (child == pid) {
                    run.status = status;
                    deadline = Clock::now() + std::chrono::seconds(kPeerWaitSeconds);
                }
            }
            if (s != SIGCHLD && run.signal == 0)
                run.signal = s;
            // The terminal's signals reach the command itself, like a shell's foreground job's.
            if (run.status == -1 && (s == SIGTERM || s == SIGHUP))
                ::kill(pid, s);
        }
        for (std::size_t i = polled.size(); i-- > 2;) {
            if (polled[i].revents == 0)
                continue;
            char chunk[65536];
            const ssize_t got = ::read(polled[i].fd, chunk, sizeof chunk);
            if (got < 0 && (errno == EINTR || errno == EAGAIN))
                continue;
            if (got > 0 && (bytes += static_cast<std::size_t>(got)) <= kMaxRecord) {
                data[i].append(chunk, static_cast<std::size_t>(got));
                continue;
            }
            if (got > 0)
                run.problem =
                    "the record is larger than " + std::to_string(kMaxRecord >> 20) + " MiB";
            else
                take(data[i], run);
            ::close(polled[i].fd);
            polled.erase(polled.begin() + static_cast<long>(i));
            data.erase(data.begin() + static_cast<long>(i));
        }
        // After the connections read, whose places in polled new ones would shift.
        while ((polled[1].revents & POLLIN) != 0 && run.problem.empty()) {
            const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
            if (fd < 0 && errno != EAGAIN && errno != EINTR)
                run.problem = error_text("cannot take a process's record");
            if (fd < 0)
                break;
            polled.push_back({fd, POLLIN, 0});
            data.emplace_back();
            if (polled.size() - 2 > kMaxPeers)
                run.problem =
                    "more than " + std::to_string(kMaxPeers) + " processes recorded at once";
        }
    }
    for (std::size_t i = 2; i < polled.size(); ++i)
        ::close(polled[i].fd);
}

/* Runs the command with the module and the socket in its environment; false with errno if not. */
bool run(std::vector<std::string> command, const std::string &module, const WorkDir &work,
         mode_t mask, Run &out) {
    const std::string socket_path = (work.parent / work.name / kSocketName).string();
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
        out.problem = error_text("cannot listen on " + socket_path);
        return true;
    }
    // The command inherits our environment, with the module audited before any other.
    const char *audit = std::getenv("LD_AUDIT");
    const std::string audited = module + (audit != nullptr && audit[0] != '\0' ? ":" : "") +
                                (audit != nullptr ? audit : "");
    ::setenv("LD_AUDIT", audited.c_str(), 1);
    ::setenv(SYSMGR_CAPTURE_SOCKET_VARIABLE, socket_path.c_str(), 1);
    std::vector<char *> argv;
    for (std::string &word : command)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &blocked);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    pid_t pid = -1;
    ::umask(mask); // the command makes its files as the user would
    const int error = posix_spawnp(&pid, argv[0], nullptr, &attr, argv.data(), environ);
    ::umask(077);
    posix_spawnattr_destroy(&attr);
    if (error == 0)
        serve(listener.get(), signals.get(), pid, out);
    ::unlinkat(work.fd.get(), kSocketName, 0);
    errno = error;
    return error == 0;
}

} // namespace

int main(int argc, char **argv) {
    CLI::App app{"Captures a host's run of libsysmgrcli as a scenario that sysmgr-show replays",
                 "sysmgr-capture"};
    std::string out, redact_key;
    bool redact = false;
    std::vector<std::string> command;
    app.add_option("--out", out, "Directory to create: scenario.json, root/ and MANIFEST")
        ->required();
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
        return app.exit(e) == 0 ? 0 : kExitNotCaptured;
    }

    // Everything sysmgr-capture makes is private until DIR is complete.
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
    if (!sysmgrcapture::write_capture(capture, work.fd.get(), mode, problem))
        return complain(problem + "; nothing captured");
    sigset_t pending;
    sigpending(&pending);
    for (int s : kStopSignals)
        if (sigismember(&pending, s))
            return stopped(s);
    if (!work.finish(mode, problem))
        return complain(problem);
    return WEXITSTATUS(ran.status);
}
