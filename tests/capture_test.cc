// SPDX-License-Identifier: MIT
// sysmgr-capture: a live run, captured, replays through sysmgr-show byte for
// byte (capture_hostile_test.cc: the runs that cannot be captured).
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "support/show_runner.h"

namespace {

namespace fs = std::filesystem;
using testsupport::read_file;
using testsupport::run_program;
using testsupport::run_show;
using testsupport::RunResult;

const std::string kSource = SYSMGRCLI_SOURCE_DIR;

/* The output without what says where it came from, the one part a replay changes. */
std::string comparable(const std::string &out, const std::string &format) {
    if (format == "json" && !out.empty()) {
        auto doc = nlohmann::ordered_json::parse(out);
        for (auto &report : doc)
            report.erase("sources");
        return doc.dump(1);
    }
    const std::size_t begin = out.find("<sources>");
    const std::size_t end = out.find("</sources>");
    if (format == "xml" && begin != std::string::npos && end != std::string::npos)
        return out.substr(0, begin) + out.substr(end);
    return out;
}

/* A trace without its last line, which says where the files and utilities came from. */
std::string calls(const std::string &trace) {
    return trace.substr(0, trace.rfind("trace: files"));
}

class Capture : public ::testing::Test {
  protected:
    void SetUp() override {
        // The emulator runs one program; the captured host would be a second.
        if (std::string(SYSMGR_SHOW_EMULATOR).size() > 0)
            GTEST_SKIP() << "capture runs hosts natively only";
        ASSERT_FALSE(dir_.empty());
    }

    RunResult capture(const std::string &name, const std::vector<std::string> &command,
                      const std::vector<std::string> &options = {}) {
        std::vector<std::string> argv = {SYSMGR_CAPTURE_PATH, "--out", (dir_ / name).string()};
        argv.insert(argv.end(), options.begin(), options.end());
        argv.push_back("--");
        argv.insert(argv.end(), command.begin(), command.end());
        // A sanitized host's leak check stops its threads from a tracer at exit,
        // which has crashed on a loaded machine with the audit module's second C
        // library in the process; leaks are checked in runs without the module.
        return run_program(argv, {"TZ=UTC", "LC_ALL=C", "ASAN_OPTIONS=detect_leaks=0"});
    }

    /* Captures sysmgr-show on a scenario, replays it, and compares the two runs. */
    void round_trip(const std::string &scenario, const std::string &command,
                    const std::string &format) {
        SCOPED_TRACE(scenario + " " + command + " " + format);
        const std::string name = std::to_string(++runs_);
        const fs::path scenario_file = dir_ / (name + ".json");
        std::ofstream(scenario_file) << scenario;
        // In text the trace shows every platform call, its arguments and its result.
        std::vector<std::string> options = {"--format", format, command};
        if (format == "text")
            options.insert(options.begin(), "--trace");
        std::vector<std::string> live_argv = {SYSMGR_SHOW_PATH, "--scenario",
                                              scenario_file.string()};
        live_argv.insert(live_argv.end(), options.begin(), options.end());
        const RunResult live = capture(name, live_argv);
        ASSERT_TRUE(fs::exists(dir_ / name / "scenario.json")) << live.err;
        std::vector<std::string> replay_argv = {"--scenario",
                                                (dir_ / name / "scenario.json").string(), "--root",
                                                (dir_ / name / "root").string()};
        replay_argv.insert(replay_argv.end(), options.begin(), options.end());
        const RunResult replay = run_show(replay_argv);
        const RunResult checked = run_show({"check", (dir_ / name).string()});
        EXPECT_EQ(checked.status, 0) << checked.err;
        EXPECT_EQ(checked.out, (dir_ / name).string() + ": identical\n");
        EXPECT_EQ(live.status, replay.status);
        EXPECT_EQ(comparable(live.out, format), comparable(replay.out, format));
        EXPECT_EQ(calls(live.err), calls(replay.err));
        // In text, the library's standard-output lines come first, then the report.
        if (format == "text") {
            std::string printed;
            const auto record = nlohmann::json::parse(read_file(dir_ / name / "printed.json"));
            for (const auto &p : record.at("printed"))
                printed += p.at("call") == "stdout" ? p.at("text").get<std::string>() : "";
            EXPECT_EQ(live.out, printed + read_file(dir_ / name / "output.txt"));
        }
    }

    const testsupport::ScratchDir scratch_;
    const fs::path dir_ = scratch_.dir;
    int runs_ = 0;
};

constexpr const char *kCommands[] = {"redundancy", "version", "version-alt"};

TEST_F(Capture, EveryExampleScenarioReplaysInEveryFormat) {
    for (const auto &entry : fs::directory_iterator(kSource + "/scenarios"))
        for (const char *command : kCommands)
            for (const char *format : {"text", "xml", "json"})
                round_trip(read_file(entry.path()), command, format);
}

// Answers a live platform gives that only an extended scenario holds, and injected faults.
TEST_F(Capture, UnusualAnswersAndFaultsReplay) {
    const std::string patches[] = {
        R"({"hostname": {"result": -1, "errno": 110}})",
        R"({"hostname": {"name": "sw\u0000junk", "terminated": false}})",
        R"({"supervisors": {"peer": {"length": 29}}})",
        R"({"supervisors": {"local": {"result": "0x40AA0012"}}})",
        R"({"scope_done": {"interrupts": 2, "uptime_base": 0}, "timer": {"cycles": 1000003,
            "cycles_per_msec": 7}})",
        R"({"tools": {"imghdr": ["1\n", "2\n"], "flash_size": null}})",
        R"({"chassis": {"serial": "S123456789012345678901234567890123456789012345678901234567890123",
            "name": null}, "bios": {"result": -5}})",
        R"({"files": {"/proc/meminfo": null}, "last_reset": {"result": -1}})",
    };
    for (const std::string &patch : patches)
        for (const char *command : kCommands)
            round_trip(patch, command, "text");
}

// Independence from the simulator: the example host on its own platform.
TEST_F(Capture, ExampleHostOnItsOwnPlatformReplays) {
    for (const auto &[command, show] : {std::pair{"1", "redundancy"}, {"107", "version"}}) {
        const RunResult live = capture(command, {"sh", kSource + "/examples/run.sh",
                                                 EXAMPLE_HOST_PATH, command, SYSMGRCLI_LIBRARY});
        ASSERT_EQ(live.status, 0) << live.err;
        const RunResult replay =
            run_show({"--scenario", (dir_ / command / "scenario.json").string(), "--root",
                      (dir_ / command / "root").string(), show});
        EXPECT_EQ(live.out, replay.out) << command;
    }
}

/* Every file below dir, with its contents: what a check must leave as it was. */
std::string tree_of(const fs::path &dir) {
    std::string all;
    for (const auto &f : fs::recursive_directory_iterator(dir))
        all += f.path().string() + "\n" + (f.is_regular_file() ? read_file(f.path()) : "");
    return all;
}

TEST_F(Capture, CheckNamesWhatChangedAndRefusesWhatIsNoCapture) {
    ASSERT_EQ(capture("v", {SYSMGR_SHOW_PATH, "version"}).status, 0);
    const fs::path v = dir_ / "v";
    // A build whose literal text changed in place, and a capture whose device name was edited.
    std::string library = read_file(SYSMGRCLI_LIBRARY);
    library.replace(library.find("Software\n"), 9, "Sortware\n");
    std::ofstream(dir_ / "patched.so", std::ios::binary) << library;
    fs::copy(v, dir_ / "edited", fs::copy_options::recursive);
    auto printed = nlohmann::ordered_json::parse(read_file(v / "printed.json"));
    for (auto &p : printed["printed"])
        if (p.value("tag", "") == "0x305C002D" && p.contains("value"))
            p["value"] = "7377697463680a00";
    std::ofstream(dir_ / "edited" / "printed.json") << printed.dump(2);
    // Refused: no capture there, an older capture, a cut record.
    fs::create_directories(dir_ / "none" / "empty");
    fs::copy(v, dir_ / "old", fs::copy_options::recursive);
    fs::remove(dir_ / "old" / "printed.json");
    fs::copy(v, dir_ / "cut", fs::copy_options::recursive);
    fs::resize_file(dir_ / "cut" / "printed.json", 100);
    const std::string before = tree_of(dir_);
    const struct {
        std::vector<std::string> env;
        fs::path path;
        int status;
        std::string out;
    } rows[] = {
        {{"SYSMGRCLI_LIB=" + (dir_ / "patched.so").string()},
         v,
         1,
         v.string() + ": differs\n--- captured\n+++ replayed\n@@ -4,6 +4,6 @@\n Parts of this "
                      "software are licensed by their authors; their\n licence texts ship with "
                      "every release.\n \n-Software\n+Sortware\n   BIOS:      version 3.6.0\n"
                      "   loader:    version 3.6(0)\n"},
        {{},
         dir_ / "edited",
         1,
         (dir_ / "edited").string() + ": differs\ntags whose values changed: 0x305C002D "
                                      "(device_name)\n"},
        {{},
         dir_ / "missing",
         2,
         (dir_ / "missing").string() + ": cannot be checked: No such "
                                       "file or directory\n"},
        {{},
         dir_ / "none",
         2,
         (dir_ / "none").string() + ": cannot be checked: not a capture, "
                                    "and none is below it\n"},
        {{},
         dir_ / "old",
         2,
         (dir_ / "old").string() + ": cannot be checked: no printed.json: a "
                                   "capture made before print calls were "
                                   "recorded\n"},
        {{},
         dir_ / "cut",
         2,
         (dir_ / "cut").string() + ": cannot be checked: printed.json is "
                                   "damaged or not a record of print calls\n"},
    };
    for (const auto &row : rows) {
        const RunResult r = run_show({"check", row.path.string()}, row.env);
        EXPECT_EQ(r.status, row.status) << row.path;
        EXPECT_EQ(r.out, row.out);
    }
    // A directory of captures: one line each, in the same order whatever the jobs.
    const RunResult one = run_show({"check", "--jobs", "1", dir_.string()});
    EXPECT_EQ(one.status, 2);
    EXPECT_EQ(one.out, run_show({"check", "--jobs", "4", dir_.string()}).out);
    EXPECT_EQ(before, tree_of(dir_));
}

TEST_F(Capture, RedactionFollowsTheKeyAndTheReplayIsConsistent) {
    const fs::path scenario = dir_ / "addresses.json";
    std::ofstream(scenario) << R"({"files": {"/proc/cmdline":
        "ip=192.168.1.10 mac=00:11:22:33:44:55 loader_ver=\"3.6(0)\"\n"}})";
    const fs::path key = dir_ / "key", open_key = dir_ / "open-key";
    for (const fs::path &k : {key, open_key})
        std::ofstream(k) << std::string(32, 'k');
    fs::permissions(key, fs::perms::owner_read | fs::perms::owner_write);
    fs::permissions(open_key, fs::perms::owner_read | fs::perms::group_read);
    const std::vector<std::string> show = {SYSMGR_SHOW_PATH, "--scenario", scenario.string(),
                                           "version"};
    const RunResult live = capture("a", show, {"--redact-key", key.string()});
    ASSERT_EQ(capture("b", show, {"--redact-key", key.string()}).status, 0);
    ASSERT_EQ(capture("c", show, {"--redact"}).status, 0);
    EXPECT_EQ(read_file(dir_ / "a" / "scenario.json"), read_file(dir_ / "b" / "scenario.json"));
    EXPECT_NE(read_file(dir_ / "a" / "scenario.json"), read_file(dir_ / "c" / "scenario.json"));
    const RunResult refused = capture("d", show, {"--redact-key", open_key.string()});
    EXPECT_EQ(refused.status, 125);
    EXPECT_NE(refused.err.find("group or others can read it"), std::string::npos) << refused.err;
    EXPECT_FALSE(fs::exists(dir_ / "d"));
    const RunResult replay = run_show({"--scenario", (dir_ / "a" / "scenario.json").string(),
                                       "--root", (dir_ / "a" / "root").string(), "version"});
    EXPECT_EQ(run_show({"check", (dir_ / "a").string()}).status, 0);
    const struct {
        std::string text;
        bool printed; // by the live report
    } originals[] = {{"SUP0032178", true},           {"Device name: switch", true},
                     {"vorn-kickstart.4.2.1", true}, {"vorn-system.4.2.1", true},
                     {"192.168.1.10", false},        {"00:11:22:33:44:55", false}};
    std::string captured =
        read_file(dir_ / "a" / "MANIFEST") + read_file(dir_ / "a" / "scenario.json") +
        read_file(dir_ / "a" / "printed.json") + read_file(dir_ / "a" / "output.txt");
    for (const auto &f : fs::recursive_directory_iterator(dir_ / "a" / "root"))
        captured += read_file(f.path());
    for (const auto &original : originals) {
        EXPECT_EQ(live.out.find(original.text) != std::string::npos, original.printed)
            << original.text;
        EXPECT_EQ(replay.out.find(original.text), std::string::npos) << original.text;
        EXPECT_EQ(captured.find(original.text), std::string::npos) << original.text;
    }
    // Line for line the same report but where a line held a redacted value.
    std::istringstream a(live.out), b(replay.out);
    for (std::string x, y; std::getline(a, x) && std::getline(b, y);)
        EXPECT_TRUE(x == y || std::any_of(std::begin(originals), std::end(originals),
                                          [&x](const auto &o) { return x.find(o.text) != x.npos; }))
            << x << " | " << y;
}

} // namespace
