// sysmgr-show as a person uses it: every command-line mistake with its
// message and exit status, the enumeration listings, and the trace that
// explains a failure. UPDATE_GOLDEN=1 rewrites the trace transcripts.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/show_runner.h"

namespace {

const std::string kSource = SYSMGRCLI_SOURCE_DIR;

std::string read_file(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The words of text with "@" replaced by dir; "''" stands for an empty word.
std::vector<std::string> words(const std::string &text, const std::string &dir) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string w; in >> w;) {
        for (std::size_t at; (at = w.find('@')) != std::string::npos;)
            w.replace(at, 1, dir);
        out.push_back(w == "''" ? "" : w);
    }
    return out;
}

// A scratch directory removed on scope exit.
struct Scratch {
    std::string dir;
    Scratch() {
        char tmpl[] = "/tmp/sysmgr_show_test.XXXXXX";
        dir = mkdtemp(tmpl) != nullptr ? tmpl : "";
    }
    ~Scratch() { std::filesystem::remove_all(dir); }
};

// sysmgr-show with the arguments, the standard input read from stdin_file.
testsupport::RunResult run_with_input(const std::vector<std::string> &args,
                                      const std::vector<std::string> &env,
                                      const std::string &stdin_file) {
    std::vector<std::string> argv{"sh", "-c", "f=$1; shift; exec \"$@\" < \"$f\"", "sh",
                                  stdin_file};
    const auto show = testsupport::show_command();
    argv.insert(argv.end(), show.begin(), show.end());
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<std::string> vars = env;
    vars.insert(vars.end(), {"TZ=UTC", "LC_ALL=C"});
    return testsupport::run_program(argv, vars);
}

TEST(SysmgrShow, CommandLineMistakesAndExitStatuses) {
    struct Case {
        const char *env;  // one more variable, or ""
        const char *args; // separated by blanks; "@" is the scratch directory
        int status;
        const char *out; // found in the standard output
        const char *err; // found in the standard error ("@" as above)
    };
    const std::string usage = "\nTry 'sysmgr-show --help' for more information.\n";
    const Case cases[] = {
        // What works, and the statuses of no output and of a library problem.
        {"", "--root @/root redundancy", 0, "0 days, 0 hours, 0 minutes, 59 seconds", ""},
        {"", "--root @/root version-alt", 0, "Software\n", ""},
        {"", "--scenario - --format json redundancy", 0,
         "\"operational_redundancy_mode\": \"None\"", ""},
        {"", "--version", 0, "sysmgr-show 1.0.0\n", ""},
        {"", "redundancy --cmd 7", 1, "Invalid cmdID 7", ""},
        {"", "--scenario @/no-rx.json version-alt", 1, "", ""},
        {"SYSMGRCLI_LIB=@/none.so", "version", 2, "", "sysmgr-show: cannot load @/none.so: "},
        {"SYSMGRCLI_LIB=" SIM_LIBRARY, "version-alt", 2, "",
         "sysmgr-show: the library has no sysmgr_show_version_internal2\n"},
        // Scenarios that cannot be used.
        {"", "--scenario @/none.json redundancy", 2, "",
         "sysmgr-show: @/none.json: No such file or directory\n"},
        {"", "--scenario @ redundancy", 2, "", "sysmgr-show: @: Is a directory\n"},
        {"", "--scenario @/unknown.json version", 2, "",
         "sysmgr-show: @/unknown.json: $.cards: unknown key\n"},
        {"", "--scenario '' redundancy", 2, "",
         "sysmgr-show: --scenario: empty file name (use - for the standard input)\n"},
        // Options and subcommands.
        {"", "--root @/none redundancy", 2, "",
         "sysmgr-show: --root @/none: No such file or directory\n"},
        {"", "--root @/unknown.json redundancy", 2, "",
         "sysmgr-show: --root @/unknown.json: Not a directory\n"},
        {"", "--format yaml redundancy", 2, "",
         "sysmgr-show: --format: unknown format 'yaml' (use text, xml or json)\n"},
        {"", "--format 1 redundancy", 2, "", "unknown format '1'"},
        {"", "redundnacy", 2, "",
         "sysmgr-show: unknown subcommand 'redundnacy' (use redundancy, version, version-alt or "
         "enum)\n"},
        {"", "", 2, "",
         "sysmgr-show: no subcommand (use redundancy, version, version-alt or enum)"},
        {"", "redundancy --bogus", 2, "", "sysmgr-show: unexpected argument '--bogus'\n"},
        {"", "--cmd", 2, "", "--cmd"},
        // The utilities that ran, after the calls.
        {"", "--trace version", 0, "Software\n",
         " utilities run\n   1  sudo /bin/mount -o ro $ROOT/mnt/bootloader\n"},
    };
    Scratch scratch;
    const std::string &dir = scratch.dir;
    ASSERT_FALSE(dir.empty());
    std::filesystem::create_directories(dir + "/tmp");
    std::filesystem::create_directories(dir + "/root/proc");
    std::ofstream(dir + "/root/proc/uptime") << "59.99 100.00\n";
    std::ofstream(dir + "/unknown.json") << R"({"cards": {}})";
    std::ofstream(dir + "/no-rx.json") << R"({"backend": {"rx_null": true}})";
    std::ofstream(dir + "/stdin.json") << read_file(kSource + "/scenarios/standby-no-answer.json");
    for (const Case &c : cases) {
        SCOPED_TRACE(c.args);
        std::vector<std::string> env{"TMPDIR=" + dir + "/tmp"};
        if (*c.env != '\0')
            env.push_back(words(c.env, dir).front());
        const testsupport::RunResult run =
            run_with_input(words(c.args, dir), env, dir + "/stdin.json");
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_NE(run.out.find(c.out), std::string::npos) << run.out;
        std::string err = c.err;
        for (std::size_t at; (at = err.find('@')) != std::string::npos;)
            err.replace(at, 1, dir);
        EXPECT_NE(run.err.find(err), std::string::npos) << run.err;
        if (c.status == 2 && err.rfind("sysmgr-show: --", 0) == 0) {
            EXPECT_NE(run.err.find(usage), std::string::npos) << "usage errors point to --help";
        }
        EXPECT_TRUE(std::filesystem::is_empty(dir + "/tmp")) << "temporary root left";
    }
}

TEST(SysmgrShow, EnumerationListingsAndLookups) {
    struct Case {
        const char *args;
        int status;
        const char *output; // the standard output, or the standard error when status is 2
    };
    const Case cases[] = {
        {"enum sysmgr_redundancy_mode_t", 0,
         "0 SYSMGR_REDUN_MODE_HA\n1 SYSMGR_REDUN_MODE_WARM\n2 SYSMGR_REDUN_MODE_NONE\n"},
        {"enum SYSMGR_REDUNDANCY_MODE_T 2", 0, "2 SYSMGR_REDUN_MODE_NONE\n"},
        {"enum srv_state_t 35", 0, "35 SRV_STATE_MASTER_ACTIVE_HOTSTDBY\n"},
        {"enum srv_state_t 0x22", 0, "34 SRV_STATE_MASTER_ACTIVE_ALONE\n"},
        {"enum srv_state_t srv_state_master_offline", 0, "40 SRV_STATE_MASTER_OFFLINE\n"},
        {"enum srv_state_t SRV_STATE_NOT_STARTED", 0, "0 SRV_STATE_NOT_STARTED\n"},
        {"enum sysmgr_exitcode_t 16", 1, "16 (no name)\n"},
        {"enum srv_state_property_t -1", 1, "-1 (no name)\n"},
        {"enum srv_state_t SRV_STATE", 1, "SRV_STATE (unknown name)\n"},
        {"enum srv_state_t 0x100000000", 2,
         "sysmgr-show: '0x100000000' is not a 32-bit decimal or 0x value\n"},
        {"enum srv_stat_t 35", 2,
         "sysmgr-show: unknown enumeration 'srv_stat_t' (did you mean 'srv_state_t'?)\n"},
        {"enum rdn_sup_status", 2,
         "sysmgr-show: unknown enumeration 'rdn_sup_status' (did you mean 'rdn_sup_status_t'?)\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.args);
        const testsupport::RunResult run = testsupport::run_show(words(c.args, ""));
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(c.status == 2 ? run.err : run.out, c.output);
    }

    // With no name: the 42 enumerations, in the library's order.
    const testsupport::RunResult all = testsupport::run_show({"enum"});
    EXPECT_EQ(all.status, 0);
    EXPECT_EQ(all.out.rfind("sysmgr_cardstate_t\nsysmgr_exitcode_t\n", 0), 0u) << all.out;
    EXPECT_EQ(std::count(all.out.begin(), all.out.end(), '\n'), 42);
}

/*
 * The trace of a failure is the way to find out why a report is empty or
 * looks wrong: it must name the failing call and its error. The report on
 * the standard output stays what it is without --trace.
 */
TEST(SysmgrShow, TraceExplainsFailures) {
    for (const char *scenario : {"standby-no-answer", "sysmgr-down", "bind-fails"}) {
        SCOPED_TRACE(scenario);
        const std::string file = kSource + "/scenarios/" + scenario + ".json";
        const testsupport::RunResult plain =
            testsupport::run_show({"--scenario", file, "redundancy"});
        const testsupport::RunResult traced =
            testsupport::run_show({"--trace", "--scenario", file, "redundancy"});
        EXPECT_EQ(traced.status, plain.status);
        EXPECT_EQ(traced.out, plain.out);
        ASSERT_EQ(traced.err.rfind(plain.err, 0), 0u) << "the library's messages come first";
        const std::string trace = traced.err.substr(plain.err.size());
        const std::string golden = kSource + "/tests/golden/" + scenario + ".redundancy.trace";
        const char *update = std::getenv("UPDATE_GOLDEN");
        if (update != nullptr && std::string(update) == "1")
            std::ofstream(golden, std::ios::binary) << trace;
        EXPECT_EQ(trace, read_file(golden));
    }
}

} // namespace
