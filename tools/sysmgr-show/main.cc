// sysmgr-show: serves one show command of libsysmgrcli.so on the simulated
// platform and prints what the command delivered.
//
// The program links libsysmgrsim.so, so every platform function is in the
// global scope, then loads the library with dlopen() the way the CLI back end
// does. Exit status: 0 output delivered, 1 no output, 2 usage, scenario or
// loading error.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include <dlfcn.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>

#include "commands.h"
#include "sysmgrsim/sim.h"

namespace {

constexpr int kExitDelivered = 0;
constexpr int kExitNoOutput = 1;
constexpr int kExitError = 2;

using ShowFunc = int32_t (*)(cli_context_t *);
using VersionFunc = int (*)(int32_t, void *);

// How the command reaches the library.
enum class Entry {
    dispatcher,  // sysmgr_cli_generic_show_func, which sends the output itself
    version_alt, // sysmgr_show_version_internal2; this program sends, as a back end would
};

struct Options {
    std::optional<std::string> scenario; // "-": the standard input
    std::optional<std::string> root;
    std::optional<int32_t> cmd;
    sim_format format = SIM_FORMAT_TEXT;
    bool trace = false;
    std::string enumeration;
    std::string enum_argument;
};

// What the scenario file may hold at most, as the simulator reads files.
constexpr std::size_t kMaxScenarioBytes = 16u << 20;

void complain(const std::string &message) {
    std::fprintf(stderr, "sysmgr-show: %s\n", message.c_str());
}

// libsysmgrcli.so, loaded with RTLD_NOW and closed on scope exit.
class Library {
  public:
    Library() = default;
    Library(const Library &) = delete;
    Library &operator=(const Library &) = delete;
    ~Library() {
        if (handle_ != nullptr)
            dlclose(handle_);
    }

    /*
     * $SYSMGRCLI_LIB when set (and then only that), else "libsysmgrcli.so.1"
     * by the loader's search, which takes this program's RUNPATH before the
     * system's directories: the build tree's library directory, or once
     * installed the library directory of the same installed tree. A
     * sanitizer's dlopen() searches as its own library, not as this program,
     * so the library directory beside this program's is tried after that.
     */
    bool open(std::string &problem) {
        const char *chosen = std::getenv("SYSMGRCLI_LIB");
        const bool given = chosen != nullptr && chosen[0] != '\0';
        if (!given)
            chosen = "libsysmgrcli.so.1";
        handle_ = dlopen(chosen, RTLD_NOW);
        if (handle_ != nullptr)
            return true;
        // The first failure is the one to report: the fallback only retries.
        const char *error = dlerror();
        const std::string why = error != nullptr ? error : "?";
        if (!given) {
            std::error_code ec;
            const auto beside = std::filesystem::read_symlink("/proc/self/exe", ec).parent_path() /
                                SYSMGR_SHOW_LIB_DIR / chosen;
            if (!ec)
                handle_ = dlopen(beside.c_str(), RTLD_NOW);
        }
        if (handle_ == nullptr) {
            problem = std::string("cannot load ") + chosen + ": " + why;
            return false;
        }
        return true;
    }

    void *handle() const { return handle_; }

  private:
    void *handle_ = nullptr;
};

// A temporary directory removed with everything in it on scope exit.
class TempRoot {
  public:
    TempRoot() = default;
    TempRoot(const TempRoot &) = delete;
    TempRoot &operator=(const TempRoot &) = delete;
    ~TempRoot() {
        if (!path_.empty()) {
            std::error_code ec;
            std::filesystem::remove_all(path_, ec);
        }
    }

    /*
     * Under $TMPDIR when set; else in memory (the user's runtime directory,
     * else /dev/shm) when one is writable, since a run creates and removes
     * a whole small tree and on a disk with online discard each removal
     * costs milliseconds; else /tmp.
     */
    bool create(std::string &problem) {
        std::string tmpl = base_directory() + "/sysmgr-show.XXXXXX";
        if (mkdtemp(tmpl.data()) == nullptr) {
            problem = "cannot create a directory from " + tmpl + ": " + std::strerror(errno);
            return false;
        }
        path_ = tmpl;
        return true;
    }

    const std::string &path() const { return path_; }

  private:
    static std::string base_directory() {
        for (const char *name : {"TMPDIR", "XDG_RUNTIME_DIR"}) {
            const char *dir = std::getenv(name);
            if (dir != nullptr && dir[0] == '/' && access(dir, W_OK | X_OK) == 0)
                return dir;
        }
        return access("/dev/shm", W_OK | X_OK) == 0 ? "/dev/shm" : "/tmp";
    }

    std::string path_;
};

// The whole standard input, at most kMaxScenarioBytes.
bool read_standard_input(std::string &text, std::string &problem) {
    char chunk[65536];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, stdin)) > 0;) {
        text.append(chunk, n);
        if (text.size() > kMaxScenarioBytes) {
            problem = "standard input: more than 16 MiB";
            return false;
        }
    }
    if (std::ferror(stdin)) {
        problem = std::string("standard input: ") + std::strerror(errno);
        return false;
    }
    return true;
}

// Loads the scenario chosen, or the default; false with a message shown.
bool load_scenario(const Options &opt) {
    char err[1024];
    if (!opt.scenario) {
        sim_reset();
        return true;
    }
    int loaded;
    if (*opt.scenario == "-") {
        std::string text, problem;
        if (!read_standard_input(text, problem)) {
            complain(problem);
            return false;
        }
        loaded = sim_load_scenario(text.c_str(), "standard input", err, sizeof err);
    } else {
        loaded = sim_load_scenario_file(opt.scenario->c_str(), err, sizeof err);
    }
    if (loaded != 0)
        complain(err);
    return loaded == 0;
}

/*
 * Whether this process ignores SIGCHLD, as many daemons do. Children are then
 * reaped by the kernel and system() cannot wait for them: the library's
 * mount of the boot loader partition runs, system() returns -1 (ECHILD), and
 * the fill of the loader cache stops there, before the umount.
 */
bool sigchld_ignored() {
    struct sigaction current;
    return sigaction(SIGCHLD, nullptr, &current) == 0 &&
           (current.sa_handler == SIG_IGN || (current.sa_flags & SA_NOCLDWAIT) != 0);
}

// Serves the command through the library's entry; false when it lacks it.
bool serve(void *library, Entry entry, cli_context_t &context) {
    if (entry == Entry::dispatcher) {
        auto show = reinterpret_cast<ShowFunc>(dlsym(library, "sysmgr_cli_generic_show_func"));
        if (show == nullptr) {
            complain("the library has no sysmgr_cli_generic_show_func");
            return false;
        }
        sim_clear_records();
        show(&context);
        return true;
    }
    auto report = reinterpret_cast<VersionFunc>(dlsym(library, "sysmgr_show_version_internal2"));
    if (report == nullptr) {
        complain("the library has no sysmgr_show_version_internal2");
        return false;
    }
    sim_clear_records();
    void *rx = cmd_paraminfo_to_rxhandle(&context);
    report(context.mts_q, rx);
    cmd_prt_send(rx);
    return true;
}

// Runs one show command on the scenario chosen.
int run_show(const Options &opt, int32_t command, Entry entry) {
    char err[1024];
    if (!load_scenario(opt))
        return kExitError;
    sim_set_command(opt.cmd.value_or(command));
    sim_set_format(opt.format);

    // The files the library reads: a directory given, or the scenario's
    // "files" written under a temporary root. Either way the sudo stand-in
    // comes first on PATH (under the temporary root, or in a temporary
    // directory beside a given one, which stays untouched).
    TempRoot temp;
    std::string problem;
    if (!temp.create(problem)) {
        complain(problem);
        return kExitError;
    }
    const std::string *root = opt.root ? &*opt.root : &temp.path();
    if (!opt.root) {
        if (sim_write_files(temp.path().c_str(), err, sizeof err) < 0) {
            complain(std::string("cannot write the scenario's files: ") + err);
            return kExitError;
        }
    } else if (sim_install_sudo((temp.path() + "/" SIM_SUDO_DIR).c_str(), err, sizeof err) != 0) {
        complain(std::string("cannot install the sudo stand-in: ") + err);
        return kExitError;
    }
    if (setenv("SYSMGRCLI_ROOT", root->c_str(), 1) != 0) {
        complain(std::string("cannot set SYSMGRCLI_ROOT: ") + std::strerror(errno));
        return kExitError;
    }
    // The utilities log what ran beside the sudo stand-in, in the temporary
    // directory either way, never in a root that was given.
    const std::string run_log = temp.path() + "/" SIM_SUDO_DIR "/run.log";
    if (opt.trace && sim_log_runs(run_log.c_str()) != 0) {
        complain("cannot log the utilities' runs");
        return kExitError;
    }

    Library library;
    if (!library.open(problem)) {
        complain(problem);
        return kExitError;
    }
    cli_context_t context;
    sim_fill_context(&context);
    if (!serve(library.handle(), entry, context))
        return kExitError;

    // The library's own lines on the standard output come first.
    std::fflush(stdout);
    const bool delivered = sim_output_delivered() != 0;
    const std::string output = delivered ? sim_output() : "";
    std::fputs(output.c_str(), stdout);
    std::fflush(stdout);
    if (opt.trace) {
        // On a terminal the trace starts on a line of its own.
        if (!output.empty() && output.back() != '\n')
            std::fputc('\n', stderr);
        std::fputs(sim_trace(root->c_str()), stderr);
        if (sigchld_ignored())
            std::fputs("trace: SIGCHLD is ignored: system() fails (ECHILD) after its command has "
                       "run, so the loader partition stays mounted and the loader cache empty\n",
                       stderr);
        sim_log_runs(nullptr);
    }
    return delivered ? kExitDelivered : kExitNoOutput;
}

int run_enum(const Options &opt) {
    std::string problem;
    Library library;
    if (!library.open(problem)) {
        complain(problem);
        return kExitError;
    }
    return run_enum_command(library.handle(), opt.enumeration, opt.enum_argument);
}

// The subcommands, as the usage message names them.
constexpr const char *kSubcommands = "redundancy, version, version-alt or enum";

// --format's texts; nothing else (no numbers) names a format.
bool parse_format(const std::string &text, sim_format &format) {
    static constexpr struct {
        const char *name;
        sim_format format;
    } kFormats[] = {{"text", SIM_FORMAT_TEXT}, {"xml", SIM_FORMAT_XML}, {"json", SIM_FORMAT_JSON}};
    for (const auto &f : kFormats) {
        if (text == f.name) {
            format = f.format;
            return true;
        }
    }
    return false;
}

/*
 * The checks CLI11 leaves to us, each a usage error: an empty scenario name,
 * a root that is not an existing directory, an unknown format.
 */
bool check_options(Options &opt, const std::string &format, std::string &problem) {
    if (opt.scenario && opt.scenario->empty()) {
        problem = "--scenario: empty file name (use - for the standard input)";
        return false;
    }
    if (opt.root) {
        struct stat st;
        if (opt.root->empty()) {
            problem = "--root: empty directory name";
            return false;
        }
        if (stat(opt.root->c_str(), &st) != 0) {
            problem = "--root " + *opt.root + ": " + std::strerror(errno);
            return false;
        }
        if (!S_ISDIR(st.st_mode)) {
            problem = "--root " + *opt.root + ": " + std::strerror(ENOTDIR);
            return false;
        }
        // The library refuses a relative root.
        std::error_code ec;
        const std::filesystem::path absolute = std::filesystem::absolute(*opt.root, ec);
        if (ec) {
            problem = "--root " + *opt.root + ": " + ec.message();
            return false;
        }
        opt.root = absolute.string();
    }
    if (!format.empty() && !parse_format(format, opt.format)) {
        problem = "--format: unknown format '" + format + "' (use text, xml or json)";
        return false;
    }
    return true;
}

int usage_error(const std::string &problem) {
    complain(problem);
    std::fputs("Try 'sysmgr-show --help' for more information.\n", stderr);
    return kExitError;
}

int run(int argc, char **argv) {
    Options opt;
    std::string format;
    CLI::App app{"Runs a System Manager show command of libsysmgrcli.so on a simulated switch.",
                 "sysmgr-show"};
    app.fallthrough();
    app.require_subcommand(0, 1);
    app.allow_extras();
    app.set_version_flag("--version", "sysmgr-show " SYSMGR_SHOW_VERSION);
    app.add_option("--scenario", opt.scenario,
                   "JSON scenario applied over the default one (a merge patch); - reads it from "
                   "the standard input")
        ->type_name("FILE");
    app.add_option("--root", opt.root,
                   "take the files the library reads under DIR instead of the scenario's files")
        ->type_name("DIR");
    app.add_option("--cmd", opt.cmd, "send command identifier N instead of the subcommand's")
        ->type_name("N");
    app.add_option("--format", format, "output format: text (default), xml or json")
        ->type_name("FORMAT");
    app.add_flag("--trace", opt.trace,
                 "after the output, list on the standard error every platform call the command "
                 "made, with its result, and the utilities it ran");

    CLI::App *redundancy = app.add_subcommand("redundancy", "redundancy status and system uptime");
    CLI::App *version = app.add_subcommand("version", "version report");
    CLI::App *version_alt = app.add_subcommand(
        "version-alt", "alternate version report, through sysmgr_show_version_internal2");
    CLI::App *enumeration = app.add_subcommand(
        "enum", "list the enumerations, the rows of one, or look a value or name up");
    enumeration->add_option("NAME", opt.enumeration, "enumeration, such as srv_state_t");
    enumeration->add_option("VALUE|SYMBOL", opt.enum_argument, "a number or a symbol");
    for (CLI::App *sub : {redundancy, version, version_alt, enumeration})
        sub->allow_extras(false);

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp &e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion &e) {
        return app.exit(e);
    } catch (const CLI::ParseError &e) {
        return usage_error(e.what());
    }

    const std::vector<std::string> extras = app.remaining();
    if (app.get_subcommands().empty()) {
        if (extras.empty())
            return usage_error(std::string("no subcommand (use ") + kSubcommands + ")");
        if (extras.front().rfind("-", 0) == 0)
            return usage_error("unknown option '" + extras.front() + "'");
        return usage_error("unknown subcommand '" + extras.front() + "' (use " + kSubcommands +
                           ")");
    }
    if (!extras.empty())
        return usage_error("unexpected argument '" + extras.front() + "'");
    std::string problem;
    if (!check_options(opt, format, problem))
        return usage_error(problem);

    if (*redundancy)
        return run_show(opt, 1, Entry::dispatcher);
    if (*version)
        return run_show(opt, 107, Entry::dispatcher);
    // Rendered under the version report's names.
    if (*version_alt)
        return run_show(opt, 107, Entry::version_alt);
    return run_enum(opt);
}

} // namespace

int main(int argc, char **argv) {
    try {
        return run(argc, argv);
    } catch (const std::exception &e) {
        complain(e.what());
    } catch (...) {
        complain("unexpected failure");
    }
    return kExitError;
}
