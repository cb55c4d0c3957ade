// SPDX-License-Identifier: MIT
// The system uptime report that closes command 1: its two exchanges with the
// System Manager, the kernel's uptime and the four lines.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "support/sim_fixture.h"
#include "sysmgrsim/sim.h"
#include "sysmgrsim/sim.hpp"

namespace {

using nlohmann::json;
using testsupport::Captured;

const std::string kEpoch = "Thu Jan  1 00:00:00 1970\n";
const std::string k59 = "0 days, 0 hours, 0 minutes, 59";

/*
 * Command 1 on a single-supervisor card: one line in place of the redundancy
 * block, then the uptime block; no kernel line when kernel is empty, not up
 * when active is.
 */
std::string block(const std::string &start, const std::string &system, const std::string &kernel,
                  const std::string &active) {
    return "Redundancy information not available for this platform\n"
           "\nSystem start time:          " +
           start + "\nSystem uptime:              " + system + " seconds\n" +
           (kernel.empty() ? "" : "Kernel uptime:              " + kernel + " seconds") + "\n" +
           (active.empty() ? "This supervisor is not up and running\n"
                           : "Active supervisor uptime:   " + active + " seconds\n");
}

/*
 * A single-supervisor card, up since cycle 0 at one cycle per millisecond,
 * started at the epoch, no prior uptime, 59 seconds on the clock and in
 * "/proc/uptime"; patched by the case.
 */
class Uptime : public testsupport::SimTest {
  protected:
    Captured run(const json &patch) {
        json scenario = {
            {"card", {{"card_kind", 5}}},
            {"scope_done", {{"scope_done", 1}, {"uptime_base", 0}, {"start_time", 0}}},
            {"prior_uptime", {{"prior_uptime", 0}}},
            {"timer", {{"cycles", 59000}, {"cycles_per_msec", 1}}},
            {"files", {{"/proc/uptime", "59.99 1.00\n"}}},
        };
        scenario.update(patch, true); // keeps nulls, which remove a default
        return show(scenario.dump());
    }
};

TEST_F(Uptime, SecondsSplitAndArithmetic) {
    struct Case {
        uint64_t msec;
        uint32_t prior;
        std::string system, active;
    };
    const std::string one = "1 days, 1 hours, 1 minutes, 1";
    const std::string most = "49710 days, 6 hours, 28 minutes, 15";
    const std::string wide = "57 days, 20 hours, 53 minutes, 20";
    const Case cases[] = {
        {90061000, 0, one, one},
        {4294967295000, 0, most, most},
        {59999, 0, k59, k59},
        {5000000000, 0, wide, wide}, // milliseconds beyond 32 bits
        {90061000, 100, "1 days, 1 hours, 2 minutes, 41", one},
        {10000, 4294967295u, "0 days, 0 hours, 0 minutes, 9", "0 days, 0 hours, 0 minutes, 10"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << c.msec << " " << c.prior);
        const Captured cap =
            run({{"timer", {{"cycles", c.msec}}}, {"prior_uptime", {{"prior_uptime", c.prior}}}});
        EXPECT_EQ(cap.err, "");
        EXPECT_EQ(testsupport::printed(), block(kEpoch, c.system, k59, c.active));
    }
}

TEST_F(Uptime, KernelLineFromProcUptime) {
    struct Case {
        json content; // null: the file is missing
        std::string kernel;
    };
    const Case cases[] = {
        {"90061.87 170000.00\n", "1 days, 1 hours, 1 minutes, 1"},
        {"2147483647.00 0.00\n", "24855 days, 3 hours, 14 minutes, 7"},
        {nullptr, ""},
        {"", ""},
        {"uptime\n", ""},
        {"-5.00 1.00\n", ""},
        {"99999999999.00 1.00\n", ""},
        {"99999999999999999999.00 1.00\n", ""},
        // The field's buffer holds 31 bytes: filled, one byte over, blanks around.
        {std::string(26, '0') + "90061 1.00\n", "1 days, 1 hours, 1 minutes, 1"},
        {std::string(27, '0') + "90061 1.00\n", "0 days, 2 hours, 30 minutes, 6"},
        {" \t90061.87 \n", "1 days, 1 hours, 1 minutes, 1"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.content.dump());
        run({{"files", {{"/proc/uptime", c.content}}}});
        EXPECT_EQ(testsupport::printed(), block(kEpoch, k59, c.kernel, k59));
    }
}

TEST_F(Uptime, AnswersAndFailuresOfTheExchanges) {
    // The answers: up since cycle 1000 and since December 2025, 100 seconds
    // of system uptime before. A failed exchange counts as all zeros; the
    // fault matrix has the other ways each exchange fails.
    const json answers = {
        {"timer", {{"cycles", 60000}}},
        {"scope_done", {{"uptime_base", 1000}, {"start_time", 1764892800}}},
        {"prior_uptime", {{"prior_uptime", 100}}},
    };
    const std::string december = "Fri Dec  5 00:00:00 2025\n";
    const std::string all = block(december, "0 days, 0 hours, 2 minutes, 39", k59, k59);
    const std::string not_up = block(december, "0 days, 0 hours, 2 minutes, 39", k59, "");
    const std::string no_scope = block(kEpoch, "0 days, 0 hours, 2 minutes, 40", k59, "");
    const std::string no_prior = block(december, k59, k59, k59);
    const std::string eio = "Input/output error (error-id 0x801E0005).\n";
    struct Case {
        json patch;
        std::string err, block;
    };
    const Case cases[] = {
        {{{"scope_done", {{"scope_done", 2}}}}, "", not_up},
        {{{"scope_done", {{"send_errno", 5}}}},
         "sysmgr_scope_done: unable to send message: " + eio,
         no_scope},
        {{{"prior_uptime", {{"send_errno", 5}}}},
         "sysmgr_uptime_internal: unable to send message: " + eio,
         no_prior},
        {{{"prior_uptime", {{"recv_errno", 0x1071}}}},
         std::string("sysmgr_uptime_internal: unable to receive uptime response: ") +
             std::strerror(0x1071) + " (error-id 0x801E0071).\n",
         no_prior},
        // Interrupted receives are repeated up to 10000 times in a row; a
        // transport that is never done being interrupted fails the receive.
        {{{"scope_done", {{"interrupts", 9999}}}, {"prior_uptime", {{"interrupts", 10000}}}},
         "",
         all},
        {{{"scope_done", {{"interrupts", 10001}}}},
         std::string("sysmgr_scope_done: unable to receive response: ") + std::strerror(4) +
             " (error-id 0x801E0004).\n",
         no_scope},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.patch.dump());
        json patch = answers;
        patch.update(c.patch, true);
        const Captured cap = run(patch);
        EXPECT_EQ(cap.err, c.err);
        EXPECT_EQ(testsupport::printed(), c.block);
    }
}

TEST_F(Uptime, RequestsAndReceiveOptions) {
    // A queue of the library's own: the back end's context carries none.
    run({{"context", {{"on_sup", 0}, {"mts_q", -1}}}});
    const auto sends = sysmgrsim::calls_named("mts_send");
    const auto receives = sysmgrsim::calls_named("mts_recv");
    ASSERT_EQ(sends.size(), 2u);
    ASSERT_EQ(receives.size(), 2u);
    EXPECT_EQ(sends[0].args, (std::vector<int64_t>{101, 0xFE000000, 3, 0x9AC, 0, 0, 0, 0}));
    EXPECT_EQ(sends[1].args, (std::vector<int64_t>{101, 0xFE000000, 3, 0x9F6, 0, 0, 0, 0}));
    for (auto args : {receives[0].args, receives[1].args}) {
        ASSERT_EQ(args.size(), 11u);
        args[4] = 0; // the token, which the transport checks itself
        EXPECT_EQ(args, (std::vector<int64_t>{101, 1, 0, 5, 0, 0, 0, 0, 0, 0, 0}));
    }
}

} // namespace
