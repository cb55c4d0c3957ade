// SPDX-License-Identifier: MIT
// sysmgr-capture --out DIR [--redact] -- COMMAND [ARGS...]
//
// Runs COMMAND, any host that loads libsysmgrcli, with the audit module
// libsysmgrcapture.so, then turns what the library's platform calls
// answered, the files it read and the utilities it ran into DIR: a scenario
// (scenario.json), the files as the run first found them with stand-ins for
// the utilities (root/), and MANIFEST. sysmgr-show --scenario DIR/scenario.json
// --root DIR/root replays the run. DIR is written whole or not at all.
//
// Exit status: COMMAND's when the capture was written; 125 when nothing was
// captured; 126 when COMMAND cannot be run, 127 when it is not found; 128+N
// when it was ended by signal N.
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "capture.h"
#include "capture_log.h"
#include "sysmgrsim/sim.h"

extern char **environ;

namespace {

namespace fs = std::filesystem;
using sysmgrcapture::Capture;
using sysmgrcapture::FoundFile;

constexpr int kExitNotCaptured = 125;
constexpr int kExitCannotRun = 126;
constexpr int kExitNotFound = 127;

void complain(const std::string &message) {
    std::fprintf(stderr, "sysmgr-capture: %s\n", message.c_str());
}

/*
 * The audit module: $SYSMGR_CAPTURE_MODULE when set, else in the build
 * tree's library directory or the installed private one, relative to this
 * program.
 */
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

/* A directory beside DIR that becomes DIR when complete, and goes otherwise. */
class WorkDir {
  public:
    bool create(const fs::path &out, std::string &problem) {
        std::string name = out.string() + ".partial.XXXXXX";
        if (mkdtemp(name.data()) == nullptr) {
            problem = "cannot create " + name + ": " + std::strerror(errno);
            return false;
        }
        path_ = name;
        // A directory like any other the user makes, not mkdtemp's private one.
        const mode_t mask = umask(0);
        umask(mask);
        fs::permissions(path_, static_cast<fs::perms>(0777 & ~mask));
        return true;
    }
    const fs::path &path() const { return path_; }
    bool finish(const fs::path &out, std::string &problem) {
        if (std::rename(path_.c_str(), out.c_str()) != 0) {
            problem = "cannot rename " + path_.string() + " to " + out.string() + ": " +
                      std::strerror(errno);
            return false;
        }
        path_.clear();
        return true;
    }
    ~WorkDir() {
        std::error_code ec;
        if (!path_.empty()) {
            // Directories keep write permission for their owner, so the tree can go.
            fs::remove_all(path_, ec);
        }
    }

  private:
    fs::path path_;
};

pid_t g_child = -1;

extern "C" void pass_on(int signal) {
    if (g_child > 0)
        kill(g_child, signal);
}

/*
 * Runs the command with the audit module and the record's path in its
 * environment; the wait status, or -1 with errno from starting it.
 */
int run(const std::vector<std::string> &command, const std::string &module,
        const std::string &record) {
    std::vector<std::string> env;
    for (char **e = environ; *e != nullptr; ++e)
        if (std::strncmp(*e, "LD_AUDIT=", 9) != 0 &&
            std::strncmp(*e, SYSMGR_CAPTURE_LOG_VARIABLE "=", sizeof SYSMGR_CAPTURE_LOG_VARIABLE) !=
                0)
            env.emplace_back(*e);
    const char *audit = std::getenv("LD_AUDIT");
    env.push_back("LD_AUDIT=" + module + (audit != nullptr && audit[0] != '\0' ? ":" : "") +
                  (audit != nullptr ? audit : ""));
    env.push_back(SYSMGR_CAPTURE_LOG_VARIABLE "=" + record);
    std::vector<char *> envp, argv;
    for (std::string &e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> args = command;
    for (std::string &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    // Like a shell's foreground job: the terminal's signals reach the command,
    // and ours are passed on to it, so that it ends first and DIR is tidied.
    struct sigaction ignore {
    }, forward{}, old_int{}, old_quit{}, old_term{}, old_hup{};
    ignore.sa_handler = SIG_IGN;
    forward.sa_handler = pass_on;
    sigaction(SIGINT, &ignore, &old_int);
    sigaction(SIGQUIT, &ignore, &old_quit);
    sigaction(SIGTERM, &forward, &old_term);
    sigaction(SIGHUP, &forward, &old_hup);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGQUIT);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    const int error = posix_spawnp(&pid, argv[0], nullptr, &attr, argv.data(), envp.data());
    posix_spawnattr_destroy(&attr);
    int status = -1;
    if (error == 0) {
        g_child = pid;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        g_child = -1;
    }
    sigaction(SIGINT, &old_int, nullptr);
    sigaction(SIGQUIT, &old_quit, nullptr);
    sigaction(SIGTERM, &old_term, nullptr);
    sigaction(SIGHUP, &old_hup, nullptr);
    errno = error;
    return error == 0 ? status : -1;
}

bool read_record(const fs::path &path, std::vector<nlohmann::json> &out, std::string &problem) {
    std::ifstream in(path);
    std::string line;
    for (std::size_t n = 1; std::getline(in, line); ++n) {
        auto value = nlohmann::json::parse(line, nullptr, false);
        if (value.is_discarded() || !value.is_object()) {
            problem = "the record is damaged at line " + std::to_string(n);
            return false;
        }
        out.push_back(std::move(value));
    }
    return true;
}

/* The files as first found, under root; directories' modes set last, keeping the owner's write. */
bool write_root(const Capture &capture, const fs::path &root, std::string &problem) {
    std::vector<FoundFile> files = capture.files;
    std::sort(files.begin(), files.end(),
              [](const FoundFile &a, const FoundFile &b) { return a.path < b.path; });
    std::error_code ec;
    fs::create_directory(root, ec);
    std::vector<std::pair<fs::path, unsigned>> directories;
    for (const FoundFile &f : files) {
        const fs::path target = root / fs::path(f.path).relative_path();
        if (f.state == "absent" || f.state == "other" || target == root)
            continue;
        fs::create_directories(target.parent_path(), ec);
        if (f.state == "directory") {
            fs::create_directory(target, ec);
            directories.emplace_back(target, f.mode | 0700);
        } else if (f.state == "symlink") {
            fs::create_symlink(f.target, target, ec);
        } else {
            std::ofstream file(target, std::ios::binary);
            if (!file.write(f.data.data(), static_cast<std::streamsize>(f.data.size())).flush())
                ec = std::make_error_code(std::errc::io_error);
            else
                fs::permissions(target, static_cast<fs::perms>(f.mode), ec);
        }
        if (ec) {
            problem = "cannot write " + target.string() + ": " + ec.message();
            return false;
        }
    }
    for (auto d = directories.rbegin(); d != directories.rend(); ++d)
        fs::permissions(d->first, static_cast<fs::perms>(d->second), ec);
    return true;
}

/*
 * Loads the scenario into the simulator, which checks that it can answer
 * every recorded value, and puts its stand-ins for the utilities in the root.
 */
bool write_scenario(const Capture &capture, const fs::path &dir, std::string &problem) {
    std::string text;
    try {
        text = capture.scenario.dump(2) + "\n";
    } catch (const nlohmann::json::exception &) {
        problem = "a text the platform gave is not UTF-8, which a scenario cannot hold";
        return false;
    }
    char err[1024];
    if (sim_load_scenario(text.c_str(), "the captured scenario", err, sizeof err) != 0) {
        problem = std::string("the simulator cannot replay this capture: ") + err;
        return false;
    }
    if (sim_write_tools((dir / "root").c_str(), err, sizeof err) != 0) {
        problem = std::string("cannot write the utilities' stand-ins: ") + err;
        return false;
    }
    std::ofstream(dir / "scenario.json") << text;
    return true;
}

std::string joined(const std::vector<std::string> &words) {
    std::string out;
    for (const std::string &w : words)
        out += (out.empty() ? "" : " ") + w;
    return out;
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
    app.add_flag("--redact", redact,
                 "Replace serial numbers, host names, addresses and image paths by placeholders");
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

    std::string problem;
    std::error_code ec;
    if (fs::exists(fs::symlink_status(out, ec))) {
        complain(out + " exists: name a new directory");
        return kExitNotCaptured;
    }
    const std::string module = find_module(problem);
    WorkDir work;
    if (module.empty() || !work.create(out, problem)) {
        complain(problem);
        return kExitNotCaptured;
    }
    const fs::path record = work.path() / "record";
    const int status = run(command, module, record.string());
    if (status < 0) {
        const int error = errno;
        complain(command[0] + ": " + std::strerror(error));
        return error == ENOENT ? kExitNotFound : kExitCannotRun;
    }
    if (WIFSIGNALED(status)) {
        complain(command[0] + " was ended by signal " + std::to_string(WTERMSIG(status)) +
                 ": nothing captured");
        return 128 + WTERMSIG(status);
    }

    Capture capture;
    std::vector<nlohmann::json> lines;
    if (!read_record(record, lines, problem) ||
        !sysmgrcapture::build_capture(lines, capture, problem)) {
        complain(problem + "; nothing captured");
        return kExitNotCaptured;
    }
    fs::remove(record, ec);
    capture.command = joined(command);
    if (redact)
        sysmgrcapture::redact(capture);
    if (!write_root(capture, work.path() / "root", problem) ||
        !write_scenario(capture, work.path(), problem)) {
        complain(problem + "; nothing captured");
        return kExitNotCaptured;
    }
    std::ofstream(work.path() / "MANIFEST") << sysmgrcapture::manifest_text(capture);
    if (!work.finish(out, problem)) {
        complain(problem);
        return kExitNotCaptured;
    }
    return WEXITSTATUS(status);
}
