// SPDX-License-Identifier: MIT
// sysmgr-show: serves one show command of libsysmgrcli.so on the simulated
// platform and prints what the command delivered, rendered by render/.
//
// The program links the simulator and exports its platform functions, then
// loads the library with dlopen() the way the CLI back end does. Exit
// status: 0 output delivered, 1 no output, 2 usage, scenario or loading
// error, 3 a report that ended early, 4 the standard output cannot be
// written.
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
#include <fcntl.h>
#include <signal.h>
#include <sys/auxv.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>

#include "commands.h"
#include "host_io.h"
#include "render.h"
#include "replay_copy.h"
#include "streams.h"
#include "sysmgrsim/sim.h"

namespace {

constexpr int kExitDelivered = 0;
constexpr int kExitNoOutput = 1;
constexpr int kExitError = 2;
constexpr int kExitEndedEarly = 3;
constexpr int kExitWriteError = 4;

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
    std::optional<std::string> cmd_text; // --cmd as given, checked into cmd
    std::optional<int32_t> cmd;
    std::optional<std::string> max_copy_text; // --max-copy as given, checked into max_copy_mib
    std::uint64_t max_copy_mib = replay::kDefaultMaxCopyMiB; // data a --root copy may hold
    render::Format format = render::Format::text;
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

// The library's function for the entry, or null with a message shown.
void *entry_point(void *library, Entry entry) {
    const char *name = entry == Entry::dispatcher ? "sysmgr_cli_generic_show_func"
                                                  : "sysmgr_show_version_internal2";
    void *function = dlsym(library, name);
    if (function == nullptr)
        complain(std::string("the library has no ") + name);
    return function;
}

// Serves the command through the library's entry point.
void serve(void *function, Entry entry, cli_context_t &context) {
    sim_clear_records();
    if (entry == Entry::dispatcher) {
        reinterpret_cast<ShowFunc>(function)(&context);
        return;
    }
    sim_serve_report(&context, reinterpret_cast<VersionFunc>(function));
}

/*
 * The lines collected from the streams, which the tagged documents list (a
 * last line without its line end counts), then the notes on what was dropped.
 */
std::vector<render::StreamLine> stream_lines(const std::vector<StreamChunk> &chunks,
                                             const std::vector<std::string> &notes) {
    std::string pending[2];
    std::vector<render::StreamLine> lines;
    for (const StreamChunk &chunk : chunks) {
        std::string &text = pending[chunk.stream - 1];
        text += chunk.bytes;
        for (std::size_t end; (end = text.find('\n')) != std::string::npos; text.erase(0, end + 1))
            lines.push_back({chunk.stream, text.substr(0, end)});
    }
    for (int stream = 1; stream <= 2; ++stream) {
        if (!pending[stream - 1].empty())
            lines.push_back({stream, pending[stream - 1]});
    }
    for (const std::string &text : notes)
        lines.push_back({0, text});
    return lines;
}

/*
 * The rest of the trace after the platform calls and the utilities run:
 * the files the library opened, the utilities the shell could not start
 * (its "sh: N: COMMAND: not found" or "Permission denied" lines), and where
 * the values came from.
 */
std::string host_trace(const Options &opt, const std::vector<render::StreamLine> &lines) {
    std::string out = opened_files_trace();
    std::vector<std::string> unstarted;
    for (const auto &[stream, line] : lines) {
        const std::size_t colon = line.find(": ", 3);
        if (stream == 2 && line.rfind("sh: ", 0) == 0 && colon != std::string::npos &&
            (line.ends_with(": not found") || line.ends_with(": Permission denied")))
            unstarted.push_back(line.substr(colon + 2));
    }
    out += "trace: " + std::to_string(unstarted.size()) + " utilities not started\n";
    for (std::size_t i = 0; i < unstarted.size(); ++i)
        out += trace_line(i + 1, unstarted[i]);
    if (sigchld_ignored())
        out += "trace: SIGCHLD is ignored: system() fails (ECHILD) after its command has run, so "
               "the loader partition stays mounted and the loader cache empty\n";
    out +=
        opt.root
            ? "trace: files from the capture " + *opt.root +
                  " (copied to $ROOT), utilities and platform answers from the scenario\n"
            : "trace: files and utilities from the scenario, platform answers from the scenario\n";
    return out;
}

// Writes on the standard output after what stdio holds of it, in one write
// where the descriptor takes it; the first failure's errno is kept in failed.
void put_out(const std::string &text, int &failed) {
    int error = std::fflush(stdout) == 0 ? 0 : errno;
    for (std::size_t done = 0; error == 0 && done < text.size();) {
        const ssize_t n = write(STDOUT_FILENO, text.data() + done, text.size() - done);
        if (n >= 0)
            done += static_cast<std::size_t>(n);
        else if (errno != EINTR)
            error = errno;
    }
    if (failed == 0)
        failed = error;
}

/* A subcommand's answer written out: its status, or 4 when the standard output cannot take it. */
int put_answer(const std::string &out, int status) {
    int failed = 0;
    put_out(out, failed);
    if (failed == 0)
        return status;
    complain(std::string("cannot write the standard output: ") + std::strerror(failed));
    return kExitWriteError;
}

/*
 * Enough descriptors for the copy of a capture (two a directory level) and
 * the library's pipes: the soft limit is raised when it is lower, and a hard
 * limit too low is an error rather than a run that loses its output.
 */
constexpr rlim_t kOpenFilesNeeded = 256;

bool enough_open_files(std::string &problem) {
    rlimit limit;
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= kOpenFilesNeeded)
        return true;
    if (limit.rlim_max >= kOpenFilesNeeded) {
        limit.rlim_cur = kOpenFilesNeeded;
        if (setrlimit(RLIMIT_NOFILE, &limit) == 0)
            return true;
    }
    problem = "the limit of open files (" + std::to_string(limit.rlim_max) + ") is below the " +
              std::to_string(kOpenFilesNeeded) + " a run needs";
    return false;
}

/*
 * The temporary directory's root/ (SYSMGRCLI_ROOT): the scenario's files, or
 * a copy of the capture given with the scenario's utilities written over its
 * own, which are never copied. The copy is made by descriptor, so that
 * nothing is written outside root/.
 */
bool fill_root(const Options &opt, const TempRoot &temp, const std::string &root,
               std::string &problem) {
    char err[1024];
    if (mkdirat(temp.fd(), "root", 0700) != 0 || mkdirat(temp.fd(), "bin", 0700) != 0) {
        problem =
            "cannot create the temporary root in " + temp.path() + ": " + std::strerror(errno);
        return false;
    }
    if (!opt.root) {
        if (sim_write_files(root.c_str(), err, sizeof err) >= 0)
            return true;
        problem = std::string("cannot write the scenario's files: ") + err;
        return false;
    }
    const int from = open(opt.root->c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const int to = openat(temp.fd(), "root", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    const int error = errno;
    const bool copied =
        from >= 0 && to >= 0 && replay::copy_capture(from, to, opt.max_copy_mib << 20, problem);
    if (from < 0 || to < 0)
        problem = std::strerror(error);
    for (const int fd : {from, to})
        if (fd >= 0)
            close(fd);
    if (!copied) {
        problem = "--root " + *opt.root + ": cannot copy it: " + problem;
        return false;
    }
    if (sim_write_tools(root.c_str(), err, sizeof err) != 0) {
        problem = std::string("cannot write the utilities: ") + err;
        return false;
    }
    return true;
}

/*
 * Runs one show command on the scenario chosen. The files the library reads
 * are always under a temporary root: the scenario's "files", or a copy of the
 * capture given, so that what the library writes there (var/tmp, tmp) never
 * reaches the capture. The sudo stand-in comes first on PATH from bin/ beside
 * that root, out of the library's reach.
 */
int run_show(const Options &opt, int32_t command, Entry entry) {
    char err[1024];
    std::string problem;
    if (!enough_open_files(problem)) {
        complain(problem);
        return kExitError;
    }
    remove_root_on_signals();
    if (!load_scenario(opt))
        return kExitError;
    sim_set_command(opt.cmd.value_or(command));
    sim_set_xml_agent(opt.format == render::Format::xml);

    TempRoot temp;
    if (!temp.create(problem)) {
        complain(problem);
        return kExitError;
    }
    const std::string root = temp.path() + "/root", bin = temp.path() + "/bin";
    if (!fill_root(opt, temp, root, problem)) {
        complain(problem);
        return kExitError;
    }
    if (sim_install_sudo(bin.c_str(), err, sizeof err) != 0) {
        complain(std::string("cannot install the sudo stand-in: ") + err);
        return kExitError;
    }
    if (setenv("SYSMGRCLI_ROOT", root.c_str(), 1) != 0) {
        complain(std::string("cannot set SYSMGRCLI_ROOT: ") + std::strerror(errno));
        return kExitError;
    }
    // The utilities log what ran beside the sudo stand-in.
    const std::string run_log = bin + "/run.log";
    if (opt.trace && sim_log_runs(run_log.c_str()) != 0) {
        complain("cannot log the utilities' runs");
        return kExitError;
    }

    Library library;
    if (!library.open(problem)) {
        complain(problem);
        return kExitError;
    }
    void *function = entry_point(library.handle(), entry);
    if (function == nullptr)
        return kExitError;
    cli_context_t context;
    sim_fill_context(&context);
    // A document lists the library's lines and the trace the utilities that
    // could not start; a plain text run passes them on as they are written.
    StreamCapture streams;
    if ((opt.trace || opt.format != render::Format::text) && !streams.start(problem)) {
        complain(problem);
        return kExitError;
    }
    record_opens(root);
    serve(function, entry, context);
    stop_recording_opens();
    streams.stop();
    const std::vector<std::string> stream_notes = streams.notes();
    const render::Command served{.id = opt.cmd.value_or(command),
                                 .prints = sysmgrsim::prints(),
                                 .lines = stream_lines(streams.chunks(), stream_notes),
                                 .delivered = sim_output_delivered() != 0,
                                 .files_captured = opt.root.has_value(),
                                 .start_time = sim_answered_start_time()};

    // Everything is taken from the root before it goes, then written.
    const std::string output = render::render(opt.format, served);
    std::string trace;
    if (opt.trace) {
        trace = sim_trace(nullptr) + host_trace(opt, served.lines); // the root shown as $ROOT below
        for (std::size_t at; (at = trace.find(root)) != std::string::npos;)
            trace.replace(at, root.size(), "$ROOT");
    }
    sim_log_runs(nullptr);
    const bool removed = temp.remove(problem);

    // The library's own lines come first: in text on the stream it wrote
    // them to, in a document's format all on the standard error.
    int failed = 0;
    bool error_line_open = false; // the standard error's last line lacks its end
    for (const StreamChunk &chunk : streams.chunks()) {
        if (chunk.stream == 1 && opt.format == render::Format::text) {
            put_out(chunk.bytes, failed);
        } else {
            std::fwrite(chunk.bytes.data(), 1, chunk.bytes.size(), stderr);
            error_line_open = !chunk.bytes.empty() && chunk.bytes.back() != '\n';
        }
    }
    // What was left out or dropped, on a line of its own.
    if (error_line_open && !stream_notes.empty())
        std::fputc('\n', stderr);
    for (const std::string &note : stream_notes)
        complain(note);
    put_out(output, failed);
    if (opt.trace) {
        // On a terminal the trace starts on a line of its own.
        if (!output.empty() && output.back() != '\n')
            std::fputc('\n', stderr);
        std::fputs(trace.c_str(), stderr);
    }
    // A line the library wrote straight to a standard output that took
    // nothing: an empty write tells why.
    if (failed == 0 && std::ferror(stdout))
        failed = write(STDOUT_FILENO, "", 0) < 0 ? errno : EIO;
    if (failed != 0) {
        complain(std::string("cannot write the standard output: ") + std::strerror(failed));
        return kExitWriteError;
    }
    if (!removed) {
        complain(problem);
        return kExitError;
    }
    if (!served.delivered)
        return kExitNoOutput;
    return render::complete(served.id, served.prints) ? kExitDelivered : kExitEndedEarly;
}

int run_enum(const Options &opt) {
    std::string problem;
    Library library;
    if (!library.open(problem)) {
        complain(problem);
        return kExitError;
    }
    std::string out;
    const int status = run_enum_command(library.handle(), opt.enumeration, opt.enum_argument,
                                        opt.format == render::Format::json, out);
    return put_answer(out, status);
}

// The subcommands, as the usage message names them.
constexpr const char *kSubcommands = "redundancy, version, version-alt, enum or check";

// --format's texts; nothing else (no numbers) names a format.
bool parse_format(const std::string &text, Options &opt) {
    static constexpr struct {
        const char *name;
        render::Format format;
    } kFormats[] = {{"text", render::Format::text},
                    {"xml", render::Format::xml},
                    {"json", render::Format::json},
                    {"keyvalue", render::Format::keyvalue},
                    {"printed", render::Format::printed}};
    for (const auto &f : kFormats) {
        if (text == f.name) {
            opt.format = f.format;
            return true;
        }
    }
    return false;
}

/*
 * The checks CLI11 leaves to us, each a usage error: a command identifier
 * that is no number, a copy cap out of range, an empty scenario name, a root that is not an
 * existing directory, an unknown format.
 */
bool check_options(Options &opt, const std::string &format, std::string &problem) {
    if (opt.cmd_text) {
        int32_t cmd = 0;
        if (!parse_int32(*opt.cmd_text, cmd)) {
            problem = "--cmd: '" + *opt.cmd_text + "' is not a 32-bit decimal or 0x value";
            return false;
        }
        opt.cmd = cmd;
    }
    if (opt.max_copy_text) {
        int32_t mib = 0;
        if (!parse_int32(*opt.max_copy_text, mib) || mib < 1 || mib > (1 << 20)) {
            problem = "--max-copy: '" + *opt.max_copy_text + "' is not a number of MiB from 1 to " +
                      std::to_string(1 << 20);
            return false;
        }
        opt.max_copy_mib = static_cast<std::uint64_t>(mib);
    }
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
    if (!format.empty() && !parse_format(format, opt)) {
        problem =
            "--format: unknown format '" + format + "' (use text, xml, json, keyvalue or printed)";
        return false;
    }
    return true;
}

/*
 * Whether a subcommand uses an option: enum takes only --format, the
 * alternate version report is always command 107, the others take all.
 */
bool uses_option(const std::string &subcommand, const std::string &option) {
    if (option == "--help" || option == "--version")
        return true;
    if (subcommand == "enum")
        return option == "--format";
    if (subcommand == "check")
        return false;
    return subcommand != "version-alt" || option != "--cmd";
}

/*
 * CLI11's complaints in this program's words. Its messages start with the
 * option's name ("--cmd: 1 required N missing", "--scenario: At Most 1
 * required but received 2"), except a value given to a flag ("Could not
 * convert: --trace = x"); anything else keeps CLI11's text.
 */
std::string parse_problem(const CLI::ParseError &e) {
    const std::string what = e.what();
    const std::string option = what.substr(0, what.find(':'));
    const bool mismatch = dynamic_cast<const CLI::ArgumentMismatch *>(&e) != nullptr;
    if (mismatch && what.ends_with(" missing"))
        return option + ": needs a value";
    if (mismatch && what.find(" required but received ") != std::string::npos)
        return option + ": given more than once";
    const std::string convert = "Could not convert: ";
    if (dynamic_cast<const CLI::ConversionError *>(&e) != nullptr && what.starts_with(convert))
        return what.substr(convert.size(), what.find(" = ") - convert.size()) + ": takes no value";
    return what;
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
    app.footer("Exit statuses, the documents' members, files and examples: man sysmgr-show");
    app.fallthrough();
    app.require_subcommand(0, 1);
    app.allow_extras();
    app.set_version_flag("--version", "sysmgr-show " SYSMGR_SHOW_VERSION);
    app.add_option("--scenario", opt.scenario,
                   "JSON scenario applied over the default one (a merge patch); - reads it from "
                   "the standard input")
        ->type_name("FILE");
    app.add_option("--root", opt.root,
                   "take the files the library reads from a copy of DIR instead of the "
                   "scenario's files")
        ->type_name("DIR");
    app.add_option("--max-copy", opt.max_copy_text,
                   "copy at most MiB of the --root capture's data (default 64)")
        ->type_name("MiB");
    app.add_option("--cmd", opt.cmd_text, "send command identifier N instead of the subcommand's")
        ->type_name("N");
    app.add_option("--format", format,
                   "output format: text (default), xml, json, keyvalue or printed (the "
                   "print calls, as a capture's printed.json)")
        ->type_name("FORMAT");
    app.add_flag("--trace", opt.trace,
                 "after the output, list on the standard error every platform call the command "
                 "made, with its result, the utilities it ran or could not start and the files "
                 "the library opened");

    CLI::App *redundancy = app.add_subcommand("redundancy", "redundancy status and system uptime");
    CLI::App *version = app.add_subcommand("version", "version report");
    CLI::App *version_alt = app.add_subcommand(
        "version-alt", "alternate version report, through sysmgr_show_version_internal2");
    CLI::App *enumeration = app.add_subcommand(
        "enum", "list the enumerations, the rows of one, or look a value or name up");
    enumeration->add_option("NAME", opt.enumeration, "enumeration, such as srv_state_t");
    enumeration->add_option("VALUE|SYMBOL", opt.enum_argument, "a number or a symbol");
    CLI::App *check = app.add_subcommand(
        "check", "replay captures with this library and compare what it prints with theirs");
    std::vector<std::string> captures;
    unsigned jobs = std::max(1L, sysconf(_SC_NPROCESSORS_ONLN));
    std::string check_format = "text";
    check->add_option("--jobs", jobs, "captures checked at once (default: the processors)")
        ->check(CLI::Range(1u, 1024u));
    check->add_option("--format", check_format, "text (default) or json")
        ->check(CLI::IsMember({"text", "json"}));
    check->add_option("CAPTURE", captures, "a capture directory, or a directory holding some")
        ->required();
    for (CLI::App *sub : {redundancy, version, version_alt, enumeration, check})
        sub->allow_extras(false);

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp &e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion &e) {
        return app.exit(e);
    } catch (const CLI::ParseError &e) {
        return usage_error(parse_problem(e));
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
    const std::string subcommand = app.get_subcommands().front()->get_name();
    for (const CLI::Option *o : app.get_options()) {
        if (o->count() > 0 && !uses_option(subcommand, o->get_name()))
            return usage_error(o->get_name() + ": not used by " + subcommand);
    }
    std::string problem;
    if (*check) {
        std::string out;
        const int status = run_check_command(captures, jobs, check_format == "json", out);
        return put_answer(out, status);
    }
    if (!check_options(opt, format, problem))
        return usage_error(problem);
    if (*enumeration &&
        (opt.format == render::Format::xml || opt.format == render::Format::keyvalue ||
         opt.format == render::Format::printed))
        return usage_error("--format: enum writes text or json");

    if (*redundancy)
        return run_show(opt, 1, Entry::dispatcher);
    if (*version)
        return run_show(opt, 107, Entry::dispatcher);
    // Rendered under the version report's names.
    if (*version_alt)
        return run_show(opt, 107, Entry::version_alt);
    return run_enum(opt);
}

/*
 * A standard stream that is closed gets /dev/null for reading in its place:
 * nothing else (a socket, a temporary file) takes its number, and writing
 * to it fails as it would have.
 */
void occupy_closed_streams() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) < 0 && errno == EBADF)
            (void)open("/dev/null", O_RDONLY); // the lowest number free: fd
    }
}

} // namespace

int main(int argc, char **argv) {
    occupy_closed_streams();
    // Set-user-ID, set-group-ID or file capabilities: the environment and the
    // arguments come from someone with less privilege than the process, and
    // this program trusts both (SYSMGRCLI_LIB, TMPDIR, PATH for the library's
    // utilities, --root).
    if (getauxval(AT_SECURE) != 0) {
        complain("refusing to run with more privilege than the user who started it "
                 "(set-user-ID, set-group-ID or file capabilities)");
        return kExitError;
    }
    // A line at a time, so that the library's lines on both streams keep their order.
    std::setvbuf(stdout, nullptr, _IOLBF, BUFSIZ);
    try {
        return run(argc, argv);
    } catch (const std::exception &e) {
        complain(e.what());
    } catch (...) {
        complain("unexpected failure");
    }
    return kExitError;
}
