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
#include <map>
#include <optional>
#include <string>
#include <system_error>

#include <dlfcn.h>
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
    std::string scenario;
    std::string root;
    std::optional<int32_t> cmd;
    sim_format format = SIM_FORMAT_TEXT;
    std::string enumeration;
    std::string enum_argument;
};

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
     * installed the library directory of the same installed tree.
     */
    bool open(std::string &problem) {
        const char *chosen = std::getenv("SYSMGRCLI_LIB");
        if (chosen == nullptr || chosen[0] == '\0')
            chosen = "libsysmgrcli.so.1";
        handle_ = dlopen(chosen, RTLD_NOW);
        if (handle_ == nullptr) {
            const char *why = dlerror();
            problem = std::string("cannot load ") + chosen + ": " + (why != nullptr ? why : "?");
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

    bool create(std::string &problem) {
        std::error_code ec;
        std::filesystem::path base = std::filesystem::temp_directory_path(ec);
        if (ec)
            base = "/tmp";
        std::string tmpl = (base / "sysmgr-show.XXXXXX").string();
        if (mkdtemp(tmpl.data()) == nullptr) {
            problem = "cannot create a directory from " + tmpl + ": " + std::strerror(errno);
            return false;
        }
        path_ = tmpl;
        return true;
    }

    const std::string &path() const { return path_; }

  private:
    std::string path_;
};

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

// Runs one show command; the scenario is loaded and the command chosen.
int run_show(const Options &opt, int32_t command, Entry entry) {
    char err[1024];
    if (!opt.scenario.empty()) {
        if (sim_load_scenario_file(opt.scenario.c_str(), err, sizeof err) != 0) {
            complain(err);
            return kExitError;
        }
    } else {
        sim_reset();
    }
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
    const std::string *root = &opt.root;
    if (opt.root.empty()) {
        if (sim_write_files(temp.path().c_str(), err, sizeof err) < 0) {
            complain(std::string("cannot write the scenario's files: ") + err);
            return kExitError;
        }
        root = &temp.path();
    } else if (sim_install_sudo(temp.path().c_str(), err, sizeof err) != 0) {
        complain(std::string("cannot install the sudo stand-in: ") + err);
        return kExitError;
    }
    if (setenv("SYSMGRCLI_ROOT", root->c_str(), 1) != 0) {
        complain(std::string("cannot set SYSMGRCLI_ROOT: ") + std::strerror(errno));
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
    if (!sim_output_delivered())
        return kExitNoOutput;
    std::fputs(sim_output(), stdout);
    std::fflush(stdout);
    return kExitDelivered;
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

int run(int argc, char **argv) {
    Options opt;
    CLI::App app{"Runs a System Manager show command of libsysmgrcli.so on a simulated switch.",
                 "sysmgr-show"};
    app.fallthrough();
    app.require_subcommand(1);
    app.add_option("--scenario", opt.scenario,
                   "JSON scenario applied over the default one (a merge patch)")
        ->type_name("FILE");
    app.add_option("--root", opt.root,
                   "take the files the library reads under DIR instead of the scenario's files")
        ->type_name("DIR");
    app.add_option("--cmd", opt.cmd, "send command identifier N instead of the subcommand's")
        ->type_name("N");
    // Output renderings: plain text, or the tagged XML and JSON forms.
    const std::map<std::string, sim_format> formats{
        {"text", SIM_FORMAT_TEXT}, {"xml", SIM_FORMAT_XML}, {"json", SIM_FORMAT_JSON}};
    app.add_option("--format", opt.format, "output format: text (default), xml or json")
        ->transform(CLI::CheckedTransformer(formats, CLI::ignore_case).description(""))
        ->type_name("FORMAT");

    CLI::App *redundancy = app.add_subcommand("redundancy", "redundancy status and system uptime");
    CLI::App *version = app.add_subcommand("version", "version report");
    CLI::App *version_alt = app.add_subcommand(
        "version-alt", "alternate version report, through sysmgr_show_version_internal2");
    CLI::App *enumeration =
        app.add_subcommand("enum", "look a System Manager enumeration value or name up");
    enumeration->add_option("NAME", opt.enumeration, "enumeration, such as srv_state_t")
        ->required();
    enumeration->add_option("VALUE|SYMBOL", opt.enum_argument, "a number or a symbol")->required();

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError &e) {
        return app.exit(e) == 0 ? 0 : kExitError;
    }

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
