// SPDX-License-Identifier: MIT
// sysmgr-show as a person uses it: every command-line mistake with its
// message and exit status, the enumeration listings, and the trace that
// explains a failure. UPDATE_GOLDEN=1 rewrites the trace transcripts.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "support/show_runner.h"

namespace {

using testsupport::read_file;
using testsupport::snapshot;

const std::string kSource = SYSMGRCLI_SOURCE_DIR;

// text with every "@" replaced by dir.
std::string at_dir(std::string text, const std::string &dir) {
    for (std::size_t at; (at = text.find('@')) != std::string::npos;)
        text.replace(at, 1, dir);
    return text;
}

// The words of text with "@" replaced by dir; "''" stands for an empty word.
std::vector<std::string> words(const std::string &text, const std::string &dir) {
    std::vector<std::string> out;
    std::istringstream in(at_dir(text, dir));
    for (std::string w; in >> w;)
        out.push_back(w == "''" ? "" : w);
    return out;
}

using Scratch = testsupport::ScratchDir;

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
        {"", "--root @/root version-alt", 3, "Software\n", ""}, // no /proc/meminfo: ends early
        {"", "--scenario - --format json redundancy", 0,
         "\"operational_redundancy_mode\": \"None\"", ""},
        {"", "--version", 0, "sysmgr-show 1.0.0\n", ""},
        {"", "redundancy --cmd 7", 1, "Invalid cmdID 7", ""},
        {"", "--scenario @/no-rx.json version-alt", 1, "", ""},
        {"SYSMGRCLI_LIB=@/none.so", "version", 2, "", "sysmgr-show: cannot load @/none.so: "},
        {"SYSMGRCLI_LIB=" OTHER_LIBRARY, "version-alt", 2, "",
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
         "sysmgr-show: --format: unknown format 'yaml' (use text, xml, json, keyvalue or "
         "printed)\n"},
        {"", "redundnacy", 2, "",
         "sysmgr-show: unknown subcommand 'redundnacy' (use redundancy, version, version-alt, enum "
         "or check)\n"},
        {"", "", 2, "",
         "sysmgr-show: no subcommand (use redundancy, version, version-alt, enum or check)"},
        {"", "--root @ check @", 2, "", "sysmgr-show: --root: not used by check\n"},
        {"", "check --jobs 0 @", 2, "", "sysmgr-show: --jobs: "},
        {"", "redundancy --bogus", 2, "", "sysmgr-show: unexpected argument '--bogus'\n"},
        {"", "--cmd 1 version-alt", 2, "", "sysmgr-show: --cmd: not used by version-alt\n"},
        {"", "--scenario @/none.json enum", 2, "", "sysmgr-show: --scenario: not used by enum\n"},
        {"", "--format json enum", 0, "{\n  \"enumerations\": [\n    \"sysmgr_cardstate_t\",", ""},
        {"", "enum", 0, "sysmgr_cardstate_t\nsysmgr_exitcode_t\nsysmgr_srv_death_reason_t\n", ""},
        {"", "--scenario @/same-slot.json redundancy", 2, "",
         "same-slot.json: $.slots.other_sup: the same slot as this_sup (set both)\n"},
        {"", "--cmd", 2, "", "sysmgr-show: --cmd: needs a value\n"},
        {"", "--cmd abc redundancy", 2, "",
         "sysmgr-show: --cmd: 'abc' is not a 32-bit decimal or 0x value\n"},
        {"", "--scenario a --scenario b redundancy", 2, "",
         "sysmgr-show: --scenario: given more than once\n"},
        {"", "--trace=x redundancy", 2, "", "sysmgr-show: --trace: takes no value\n"},
        {"", "--max-copy 0 version", 2, "",
         "sysmgr-show: --max-copy: '0' is not a number of MiB from 1 to 1048576\n"},
        // The files opened and the utilities the shell could not start, after the calls.
        {"", "--trace --root @/root version", 3, "Software\n",
         " files opened\n   1  /proc/cmdline = No such file or directory\n"},
        {"", "--trace --scenario @/no-imghdr.json --root @/root version", 3, "Software\n",
         " utilities not started\n   1  $ROOT/vornboot/bin/imghdr: not found\n"},
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
    std::ofstream(dir + "/no-imghdr.json") << R"({"tools": {"imghdr": null}})";
    std::ofstream(dir + "/same-slot.json") << R"({"slots": {"this_sup": 2}})";
    std::ofstream(dir + "/stdin.json") << read_file(kSource + "/scenarios/standby-no-answer.json");
    for (const Case &c : cases) {
        SCOPED_TRACE(c.args);
        std::vector<std::string> env{"TMPDIR=" + dir + "/tmp"};
        if (*c.env != '\0')
            env.push_back(at_dir(c.env, dir));
        const testsupport::RunResult run =
            testsupport::run_show(words(c.args, dir), env, dir + "/stdin.json");
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_NE(run.out.find(c.out), std::string::npos) << run.out;
        const std::string err = at_dir(c.err, dir);
        EXPECT_NE(run.err.find(err), std::string::npos) << run.err;
        if (c.status == 2 && err.rfind("sysmgr-show: --", 0) == 0) {
            EXPECT_NE(run.err.find(usage), std::string::npos) << "usage errors point to --help";
        }
        EXPECT_TRUE(std::filesystem::is_empty(dir + "/tmp")) << "temporary root left";
    }
}

/*
 * What a script sees in each format: the document alone on the standard
 * output (the library's lines in it and on the standard error), the status
 * of an early end, of a write error and of a signal, no temporary root left
 * and a capture given with --root left as it was.
 */
TEST(SysmgrShow, ScriptsSeeOnlyTheDocumentAndHonestStatuses) {
    struct Case {
        const char *run; // a shell command; $S is sysmgr-show --format F, $P sysmgr-show, $D the
                         // scratch directory, w waits until the waiting cat on PATH runs
        int status;
        std::string err;         // found in the standard error
        std::string out[4] = {}; // found in the standard output in text, xml, json and keyvalue
    };
    const std::string cannot = "sysmgr-show: cannot write the standard output: ";
    const std::string full = cannot + "No space left on device\n",
                      closed = cannot + "Bad file descriptor\n";
    const Case cases[] = {
        {"$S version",
         0,
         "",
         {"Software\n", "<complete>true</complete>", "\"complete\": true",
          "\nshow_version.complete=true\n"}},
        {"$S --root $D/cap version",
         0,
         "",
         {"sysmgr_get_loader_ver Couldn't open cmdline file \n",
          "<message stream=\"stdout\">sysmgr_get_loader_ver Couldn't open cmdline file "
          "</message>",
          "{\n        \"stream\": \"stdout\",\n        \"text\": \"sysmgr_get_loader_ver "
          "Couldn't "
          "open cmdline file \"\n      }",
          "\nshow_version.messages.0.stream=stdout\nshow_version.messages.0.text="
          "sysmgr_get_loader_ver Couldn't open cmdline file \n"}},
        {"$S --scenario " SYSMGRCLI_SOURCE_DIR "/scenarios/version-no-meminfo.json version",
         3,
         "",
         {"error: failed to read /proc/meminfo\n", "<complete>false</complete>",
          "\"complete\": false", "\nshow_version.complete=false\n"}},
        {"$S version >/dev/full", 4, full},
        {"$S redundancy >&-", 4, closed},
        {"PATH=$D/slow:$PATH $S --root $D/cap version & w; kill -TERM $!; wait $!", 143, ""},
        {"PATH=$D/slow:$PATH $S --root $D/cap version & w; kill -HUP $!; wait $!", 129, ""},
        {"$S redundancy | true; exit ${PIPESTATUS[0]}", 141, ""},
        // Nothing sent: still a document in each tagged format, which says so.
        {"$S --cmd 5 redundancy",
         1,
         "",
         {"Invalid cmdID 5\n", "<delivered>false</delivered>", "\"delivered\": false",
          "\nshow_command.delivered=false\n"}},
        {"$S --scenario " SYSMGRCLI_SOURCE_DIR "/scenarios/bind-fails.json redundancy",
         1,
         "Bind Failed",
         {"", "<message stream=\"stderr\">get_mts_q_handle :: Bind Failed",
          "\"text\": \"get_mts_q_handle :: Bind Failed", "\nshow_redundancy.delivered=false\n"}},
        // enum, which writes text or json whatever the format asked of the others.
        {"$P enum >/dev/full", 4, full},
        {"$P --format json enum srv_state_t 35 >&-", 4, closed},
    };
    Scratch scratch;
    const std::string &dir = scratch.dir;
    ASSERT_FALSE(dir.empty());
    namespace fs = std::filesystem;
    fs::create_directories(dir + "/tmp");
    fs::create_directories(dir + "/cap/proc");
    fs::create_directories(dir + "/slow");
    std::ofstream(dir + "/cap/proc/meminfo") << "MemTotal: 8253588 kB\n";
    // The cat the image-header stand-in runs says when it has started, then hangs.
    std::ofstream(dir + "/slow/cat") << "#!/bin/sh\n: >\"$D/started\"\nexec sleep 5\n";
    fs::permissions(dir + "/slow/cat", fs::perms::owner_all);
    const std::string before = snapshot(dir + "/cap") + snapshot(dir + "/slow");
    const char *formats[] = {"text", "xml", "json", "keyvalue"};
    for (const Case &c : cases) {
        for (int f = 0; f < 4; ++f) {
            SCOPED_TRACE(std::string(formats[f]) + ": " + c.run);
            // "$*": sysmgr-show, behind the emulator in a cross build.
            const std::string script =
                std::string("P=\"$*\"; S=\"$* --format ") + formats[f] + "\"; " +
                "w() { for _ in $(seq 500); do [ -e \"$D/started\" ] && break; sleep 0.01; done; " +
                "rm -f \"$D/started\"; }; " + c.run;
            std::vector<std::string> argv = {"bash", "-c", script, "sysmgr-show"};
            for (const std::string &word : testsupport::show_command())
                argv.push_back(word);
            const testsupport::RunResult run = testsupport::run_program(
                argv, {"D=" + dir, "TMPDIR=" + dir + "/tmp", "TZ=UTC", "LC_ALL=C"});
            EXPECT_EQ(run.status, c.status) << run.err;
            EXPECT_NE(run.out.find(c.out[f]), std::string::npos) << run.out;
            EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
            if (f == 2 && !run.out.empty()) {
                EXPECT_TRUE(nlohmann::json::accept(run.out)) << run.out;
            }
            if (f == 1 && !run.out.empty()) {
                std::ofstream(dir + "/out.xml") << run.out;
                std::smatch root; // the document element, which names its schema
                std::regex_search(run.out, root, std::regex("<show_(redundancy|command|version)"));
                const std::string xsd =
                    SYSMGRCLI_SOURCE_DIR "/schema/show-" + root[1].str() + ".xsd";
                const testsupport::RunResult valid = testsupport::run_program(
                    {"xmllint", "--noout", "--schema", xsd, dir + "/out.xml"});
                EXPECT_EQ(valid.status, 0) << valid.err;
            }
            EXPECT_TRUE(fs::is_empty(dir + "/tmp")) << "temporary root left";
        }
    }
    EXPECT_EQ(snapshot(dir + "/cap") + snapshot(dir + "/slow"), before) << "a capture changed";
}

// A scenario that cannot be used is named with the JSON path of its problem.
TEST(SysmgrShow, ScenarioProblemsNameTheirPath) {
    const std::pair<std::string, const char *> cases[] = {
        {"{\"card\": ", "$: malformed JSON: parse error at line 1, column 10"},
        {R"({"supervisors": {"local": {"state": 1}}})", "$.supervisors.local.state: unknown key"},
        {R"({"backend": {"rx_null": 1}})", "$.backend.rx_null: expected true or false"},
        {R"({"card": {"result": "0x1g"}})",
         "$.card.result: expected an integer or a \"0x...\" text"},
        {R"({"card": {"card_kind": 256}})", "$.card.card_kind: out of range (0 to 255)"},
        {R"({"context": {"debug": null}})", "$.context.debug: missing"},
        {R"({"files": {"/proc/../etc/x": ""}})",
         "$.files['/proc/../etc/x']: expected an absolute path without empty, \".\" or \"..\" "
         "parts"},
        {std::string(100000, '[') + std::string(100000, ']'), "$: nested deeper than 16 levels"},
        {R"({"chassis": {"serial": ")" + std::string(65, 's') + "\"}}",
         "$.chassis.serial: text longer than 64 bytes"},
        {R"({"last_reset": {"entries": [{}, {}, {}, {}, {}]}})",
         "$.last_reset.entries: more than 4 elements"},
        {R"({"supervisors": {"peer": {"result": -1}}})",
         "$.supervisors.peer.errno: result -1 needs an errno (1 to 4095)"},
        {R"({"context": {"mts_q": 1, "debug": 0, "mts_q": 2}})", "$.context.mts_q: duplicate key"},
        {R"({"cmp": {"version_lines": ["a", 1e999]}})",
         "$.cmp.version_lines[1]: number out of range"},
        {R"({"tools": {"imghdr": []}})",
         "$.tools.imghdr: expected a text or a non-empty array of texts"},
        {R"({"error_texts": {"0x1FFFFFFFF": "x"}})",
         "$.error_texts['0x1FFFFFFFF']: expected an error identifier, \"0x...\" or decimal, of 32 "
         "bits"},
    };
    Scratch scratch;
    ASSERT_FALSE(scratch.dir.empty());
    for (const auto &[patch, message] : cases) {
        SCOPED_TRACE(message);
        std::ofstream(scratch.dir + "/bad.json", std::ios::binary) << patch;
        const testsupport::RunResult run =
            testsupport::run_show({"--scenario", "-", "redundancy"}, {}, scratch.dir + "/bad.json");
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.err.rfind(std::string("sysmgr-show: standard input: ") + message, 0), 0u)
            << run.err;
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
        {"enum srv_state_property_t 0xffffffff", 1, "-1 (no name)\n"},
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
}

/*
 * The trace of a failure is the way to find out why a report is empty or
 * looks wrong: it must name the failing call and its error, which the guide
 * to command 1 describes. The report on the standard output stays what it
 * is without --trace.
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
        EXPECT_EQ(trace, testsupport::golden_or_update(golden, trace));
        // The integrator's guide to command 1 describes every platform call it makes.
        const std::string guide = read_file(kSource + "/docs/command-1-inputs.md");
        std::istringstream lines(trace);
        for (std::string line; std::getline(lines, line);) {
            const std::size_t paren = line.find('(');
            const std::size_t name = line.find("  ", 3) + 2;
            if (line.rfind("   ", 0) == 0 && paren != std::string::npos && name < paren) {
                EXPECT_NE(guide.find("`" + line.substr(name, paren - name) + "("),
                          std::string::npos)
                    << line;
            }
        }
    }
    // Ignored SIGCHLD: the mount without its umount, and the line that says why.
    std::vector<std::string> argv = {"env", "--ignore-signal=CHLD"};
    for (const std::string &word : testsupport::show_command())
        argv.push_back(word);
    argv.insert(argv.end(), {"--trace", "version"});
    const testsupport::RunResult ignoring = testsupport::run_program(argv);
    EXPECT_NE(ignoring.err.find("bootloader\n   2  $ROOT/vornboot"), std::string::npos)
        << ignoring.err;
    EXPECT_NE(ignoring.err.find("\ntrace: SIGCHLD is ignored: "), std::string::npos);
}

} // namespace
