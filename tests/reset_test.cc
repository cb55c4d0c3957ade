// SPDX-License-Identifier: MIT
// The kernel uptime and last reset lines that close the version reports.
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "support/sim_fixture.h"
#include "sysmgrcli/sysmgrcli.h"
#include "sysmgrsim/sim.h"

namespace {

using nlohmann::json;

/*
 * The version report's closing lines on a scenario with no plug-ins, so
 * that everything after the flash sizes is the kernel uptime and last reset.
 */
class Reset : public testsupport::SimTest {
  protected:
    std::string tail(json patch) {
        json scenario = {{"plugins", {{"count", 0}, {"names", json::array()}}}};
        scenario.update(patch, true);
        load(scenario.dump());
        testsupport::capture(
            [this] { sysmgr_show_version_internal_generic_pd(&context_, rx(), 1); });
        const std::string out = testsupport::printed();
        const std::string flash_end = "(expansion flash)\n\n";
        const std::size_t at = out.find(flash_end);
        return at == std::string::npos ? "(no flash lines)\n" + out
                                       : out.substr(at + flash_end.size());
    }

    /* One ring entry, reason 9, no time; next_index 1 selects it. */
    static json entry(const std::string &version, uint32_t reason = 9,
                      const std::string &service = "") {
        return {{"reason", reason},
                {"service", service},
                {"system_version", version},
                {"time", 0},
                {"usecs", 0}};
    }
    static json history(const std::vector<json> &entries, uint32_t next_index = 1) {
        return {{"last_reset",
                 {{"result", 0}, {"next_index", next_index}, {"entries", json(entries)}}}};
    }
};

TEST_F(Reset, PlainTextExample) {
    json patch = history({entry("1.0")});
    patch["files"] = {{"/proc/uptime", "90061.87 170000.00\n"}};
    EXPECT_EQ(tail(patch), "Kernel uptime is 1 day(s), 1 hour(s), 1 minute(s), 1 second(s)\n"
                           "\nLast reset \n"
                           "  Reason: Reset Requested by CLI command reload\n"
                           "  System version: 1.0\n"
                           "  Service: \n");
}

TEST_F(Reset, KernelUptimeFromProcUptime) {
    const std::string rest = "\nLast reset \n  Reason: Unknown\n  System version: \n  Service: \n";
    struct Case {
        json content; // null: no file
        std::string line;
    };
    const Case cases[] = {
        {"59.99 1.00\n", "Kernel uptime is 0 day(s), 0 hour(s), 0 minute(s), 59 second(s)\n"},
        {nullptr, "\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.content.dump());
        json patch = history({entry("", 0)});
        patch["files"] = {{"/proc/uptime", c.content}};
        EXPECT_EQ(tail(patch), c.line + rest);
    }
}

TEST_F(Reset, EntryReasonAndFieldBounds) {
    const std::vector<json> ring = {entry("e0"), entry("e1"), entry("e2"), entry("e3")};
    const std::string service32(32, 's');
    const std::string version64(64, 'v');
    struct Case {
        json patch;
        std::string expected; // a line of the last reset block
    };
    const Case cases[] = {
        {history(ring, 0), "  System version: e3\n"},
        {history(ring, 1), "  System version: e0\n"},
        {history(ring, 3), "  System version: e2\n"},
        {history(ring, 4), "  System version: e3\n"},
        {history(ring, 6), "  System version: e1\n"}, // beyond the ring: taken modulo 4
        {history(ring, 0xFFFFFFFF), "  System version: e2\n"},
        {history({entry("", 158)}), "  Reason: Reset due to soft reload attempt failure\n"},
        {history({entry("", 159)}), "  Reason: Not defined\n"},
        {history({entry("", 0xFFFFFFFF)}), "  Reason: Not defined\n"},
        {history({entry("", 103)}), "  Reason: Policy trigger initiated reset: \n"},
        // Fields that fill their record space without a terminator.
        {history({entry("", 0, service32)}), "  Service: " + service32 + "\n"},
        {history({entry(version64)}), "  System version: " + version64.substr(0, 63) + "\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.patch.dump());
        EXPECT_NE(tail(c.patch).find(c.expected), std::string::npos) << tail(c.patch);
    }
}

const json kTimed = {{"reason", 9},
                     {"service", "vpc"},
                     {"system_version", "4.2(1)"},
                     {"time", 1764918669},
                     {"usecs", 517326}};

// Every reset-reason text, against the reviewed list in tests/golden/.
TEST_F(Reset, EveryReasonCodeHasItsReviewedText) {
    std::ifstream in(SYSMGRCLI_SOURCE_DIR "/tests/golden/reset-reasons.json");
    const json reviewed = json::parse(in);
    const std::pair<const char *, std::vector<std::string>> tables[] = {
        {"rr_string", {std::begin(rr_string), std::end(rr_string)}},
        {"sup_device_rr_string",
         {std::begin(sup_device_rr_string), std::end(sup_device_rr_string)}},
    };
    for (const auto &[name, texts] : tables)
        EXPECT_EQ(texts, reviewed.at(name).get<std::vector<std::string>>()) << name;
}

// The same lines, tagged from each report's own set: the days, hours,
// minutes and seconds of the kernel uptime, then the last reset's
// microseconds, time, reason, system version and service.
TEST_F(Reset, EachReportTagsTheClosingValuesFromItsOwnSet) {
    struct Case {
        bool alternate;
        std::vector<uint32_t> tags;
    };
    const Case cases[] = {
        {false,
         {0x115c0030, 0x115c0031, 0x115c0032, 0x115c0033, 0x115c0034, 0x405c0035, 0x305c0036,
          0x305c0037, 0x305c0038}},
        {true,
         {0x112f0031, 0x112f0032, 0x112f0033, 0x112f0034, 0x112f0035, 0x402f0036, 0x302f0037,
          0x302f0038, 0x302f0039}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.alternate ? "alternate" : "version");
        load(history({kTimed}).dump());
        testsupport::capture([&] {
            if (c.alternate)
                sysmgr_show_version_internal2(context_.mts_q, rx());
            else
                sysmgr_show_version_internal_generic_pd(&context_, rx(), 1);
        });
        std::vector<uint32_t> tags;
        for (const sysmgrsim::Print &p : testsupport::recorded_values())
            tags.push_back(p.tag);
        ASSERT_GE(tags.size(), c.tags.size());
        EXPECT_EQ(std::vector<uint32_t>(tags.end() - c.tags.size(), tags.end()), c.tags);
    }
}

} // namespace
