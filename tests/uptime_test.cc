// The system uptime report that closes command 1: its two exchanges with the
// System Manager, the kernel's uptime and the four lines.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "platform/mts.h"
#include "support/sim_fixture.h"
#include "sysmgrcli/sysmgrcli.h"
#include "sysmgrsim/sim.h"
#include "sysmgrsim/sim.hpp"

namespace {

using nlohmann::json;
using sysmgrsim::calls_named;
using testsupport::Captured;

/*
 * The uptime block alone (the local System Manager answers with a failure
 * status), with the timer counting milliseconds one cycle each, the epoch as
 * start time and the kernel up 59 seconds, patched by the case.
 */
class Uptime : public testsupport::SimTest {
  protected:
    void SetUp() override {
        SimTest::SetUp();
        setenv("TZ", "UTC", 1);
    }
    void TearDown() override {
        EXPECT_EQ(sim_queues_bound(), 0);
        EXPECT_EQ(sim_messages_outstanding(), 0);
        SimTest::TearDown();
    }

    Captured run(const json &patch) {
        json scenario = {
            {"supervisors", {{"local", {{"status", "0x401e0003"}}}}},
            {"scope_done", {{"scope_done", 1}, {"uptime_base", 0}, {"start_time", 0}}},
            {"prior_uptime", {{"prior_uptime", 0}}},
            {"timer", {{"cycles", 0}, {"cycles_per_msec", 1}}},
            {"files", {{"/proc/uptime", "59.99 1.00\n"}}},
        };
        overlay(scenario, patch);
        Captured cap = show(scenario.dump());
        const std::string status_message =
            std::string("sysmgr_cli_show_redundancy_status: the master System Manager returned "
                        "a failure (") +
            syserr2str(0x401e0003) + ").\n";
        EXPECT_EQ(cap.err.rfind(status_message, 0), 0u) << cap.err;
        cap.err.erase(0, status_message.size());
        return cap;
    }

    /*
     * Writes patch's values over base, keeping its nulls: the simulator
     * applies the result as a merge patch, where null removes a default.
     */
    static void overlay(json &base, const json &patch) {
        for (const auto &[key, value] : patch.items()) {
            if (value.is_object() && base.contains(key) && base[key].is_object())
                overlay(base[key], value);
            else
                base[key] = value;
        }
    }

    /* The uptime block's lines for these figures. */
    static std::string block(const std::string &start, const std::string &system,
                             const std::string &kernel, const std::string &active) {
        return "\nSystem start time:          " + start +
               "\nSystem uptime:              " + system + " seconds\n" +
               (kernel.empty() ? "" : "Kernel uptime:              " + kernel + " seconds") + "\n" +
               (active.empty() ? "This supervisor is not up and running\n"
                               : "Active supervisor uptime:   " + active + " seconds\n");
    }
};

const std::string kEpoch = "Thu Jan  1 00:00:00 1970\n";
const std::string k59 = "0 days, 0 hours, 0 minutes, 59";

TEST_F(Uptime, ValuesCarryTheirTagsAndLengths) {
    run(json{{"timer", {{"cycles", 90061000}}}});
    EXPECT_EQ(std::string(sim_output()),
              block(kEpoch, "1 days, 1 hours, 1 minutes, 1", k59, "1 days, 1 hours, 1 minutes, 1"));
    const auto values = testsupport::recorded_values();
    ASSERT_EQ(values.size(), 13u);
    EXPECT_EQ(values[0].tag, 0x305c000cu);
    EXPECT_EQ(values[0].len, kEpoch.size() + 1);
    EXPECT_EQ(values[0].text, kEpoch);
    for (std::size_t i = 1; i < values.size(); ++i) {
        EXPECT_EQ(values[i].tag, 0x115c000cu + i) << i;
        EXPECT_EQ(values[i].len, 4u) << i;
        EXPECT_EQ(values[i].format, "%s") << i;
    }
}

TEST_F(Uptime, SecondsSplitAndArithmetic) {
    struct Case {
        const char *name;
        json patch;
        const char *system;
        const char *active;
    };
    const Case cases[] = {
        {"one of each",
         {{"timer", {{"cycles", 90061000}}}},
         "1 days, 1 hours, 1 minutes, 1",
         "1 days, 1 hours, 1 minutes, 1"},
        {"largest count",
         {{"timer", {{"cycles", 4294967295000}}}},
         "49710 days, 6 hours, 28 minutes, 15",
         "49710 days, 6 hours, 28 minutes, 15"},
        {"under a minute", {{"timer", {{"cycles", 59999}}}}, k59.c_str(), k59.c_str()},
        {"prior uptime adds to the system line",
         {{"timer", {{"cycles", 90061000}}}, {"prior_uptime", {{"prior_uptime", 100}}}},
         "1 days, 1 hours, 2 minutes, 41",
         "1 days, 1 hours, 1 minutes, 1"},
        {"milliseconds beyond 32 bits",
         {{"timer", {{"cycles", 5000000000}}}},
         "57 days, 20 hours, 53 minutes, 20",
         "57 days, 20 hours, 53 minutes, 20"},
        {"quotient keeps its low 32 bits",
         {{"timer", {{"cycles", 4294967357000}}}},
         "0 days, 0 hours, 1 minutes, 1",
         "0 days, 0 hours, 1 minutes, 1"},
        {"sum wraps at 32 bits",
         {{"timer", {{"cycles", 10000}}}, {"prior_uptime", {{"prior_uptime", 4294967295u}}}},
         "0 days, 0 hours, 0 minutes, 9",
         "0 days, 0 hours, 0 minutes, 10"},
        {"base after the counter",
         {{"timer", {{"cycles", 0}}}, {"scope_done", {{"uptime_base", 1000}}}},
         "14714 days, 5 hours, 45 minutes, 18",
         "14714 days, 5 hours, 45 minutes, 18"},
        {"base counts from its own cycle",
         {{"timer", {{"cycles", 90061000 + 7000}}}, {"scope_done", {{"uptime_base", 7000}}}},
         "1 days, 1 hours, 1 minutes, 1",
         "1 days, 1 hours, 1 minutes, 1"},
        {"cycles per millisecond divide first",
         {{"timer", {{"cycles", 180122000000}, {"cycles_per_msec", 2000}}}},
         "1 days, 1 hours, 1 minutes, 1",
         "1 days, 1 hours, 1 minutes, 1"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const Captured cap = run(c.patch);
        EXPECT_EQ(cap.err, "");
        EXPECT_EQ(std::string(sim_output()), block(kEpoch, c.system, k59, c.active));
    }
}

TEST_F(Uptime, KernelLineFromProcUptime) {
    struct Case {
        json content; // null: the file is missing
        const char *kernel;
    };
    const Case cases[] = {
        {"59.99 1.00\n", k59.c_str()},
        {"90061.87 170000.00\n", "1 days, 1 hours, 1 minutes, 1"},
        {"  42\n", "0 days, 0 hours, 0 minutes, 42"},
        {"2147483647.00 0.00\n", "24855 days, 3 hours, 14 minutes, 7"},
        {nullptr, ""},
        {"", ""},
        {"uptime\n", ""},
        {"-5.00 1.00\n", ""},
        {"99999999999.00 1.00\n", ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.content.dump());
        run(json{{"timer", {{"cycles", 59000}}}, {"files", {{"/proc/uptime", c.content}}}});
        EXPECT_EQ(std::string(sim_output()), block(kEpoch, k59, c.kernel, k59));
    }
}

TEST_F(Uptime, StartTimeAndScopeDone) {
    struct Case {
        uint32_t scope_done;
        uint32_t start_time;
        const char *start;
        bool up;
    };
    const Case cases[] = {
        {1, 1764892800, "Fri Dec  5 00:00:00 2025\n", true},
        {0, 1764892800, "Fri Dec  5 00:00:00 2025\n", false},
        {2, 0, "Thu Jan  1 00:00:00 1970\n", false},
        {1, 4294967295u, "Sun Feb  7 06:28:15 2106\n", true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.scope_done);
        run(json{{"timer", {{"cycles", 59000}}},
                 {"scope_done", {{"scope_done", c.scope_done}, {"start_time", c.start_time}}}});
        EXPECT_EQ(std::string(sim_output()), block(c.start, k59, k59, c.up ? k59 : ""));
    }
}

TEST_F(Uptime, FailedExchangesReportAndCountAsZero) {
    // The scope-done answer would say: up since cycle 1000, started in 2025;
    // the prior-uptime answer: 100 seconds. A failed exchange loses its part.
    const json answers = {
        {"timer", {{"cycles", 60000}}},
        {"scope_done", {{"uptime_base", 1000}, {"start_time", 1764892800}}},
        {"prior_uptime", {{"prior_uptime", 100}}},
    };
    const std::string december = "Fri Dec  5 00:00:00 2025\n";
    const std::string sixty = "0 days, 0 hours, 1 minutes, 0";
    const std::string fifty_nine = k59;
    const std::string prior_plus = "0 days, 0 hours, 2 minutes, 39";
    struct Case {
        const char *name;
        json faults;
        std::string err;
        std::string start, system, active;
    };
    const Case cases[] = {
        {"scope-done send",
         {{"scope_done", {{"send_errno", 5}}}},
         "sysmgr_scope_done: unable to send message: Input/output error (error-id 0x801E0005).\n",
         kEpoch,
         "0 days, 0 hours, 2 minutes, 40",
         ""},
        {"scope-done receive",
         {{"scope_done", {{"recv_errno", 110}}}},
         "sysmgr_scope_done: unable to receive response: Connection timed out "
         "(error-id 0x801E006E).\n",
         kEpoch,
         "0 days, 0 hours, 2 minutes, 40",
         ""},
        {"prior-uptime send",
         {{"prior_uptime", {{"send_errno", 5}}}},
         "sysmgr_uptime_internal: unable to send message: Input/output error "
         "(error-id 0x801E0005).\n",
         december,
         fifty_nine,
         fifty_nine},
        {"prior-uptime receive",
         {{"prior_uptime", {{"recv_errno", 0x1071}}}},
         std::string("sysmgr_uptime_internal: unable to receive uptime response: ") +
             std::strerror(0x1071) + " (error-id 0x801E0071).\n",
         december,
         fifty_nine,
         fifty_nine},
        {"both",
         {{"scope_done", {{"recv_errno", 5}}}, {"prior_uptime", {{"send_errno", 104}}}},
         "sysmgr_scope_done: unable to receive response: Input/output error "
         "(error-id 0x801E0005).\n"
         "sysmgr_uptime_internal: unable to send message: Connection reset by peer "
         "(error-id 0x801E0068).\n",
         kEpoch,
         sixty,
         ""},
        {"interrupted receives are repeated silently",
         {{"scope_done", {{"interrupts", 3}}}, {"prior_uptime", {{"interrupts", 1}}}},
         "",
         december,
         prior_plus,
         fifty_nine},
        {"interrupted, then failed",
         {{"scope_done", {{"interrupts", 2}, {"recv_errno", 5}}}},
         "sysmgr_scope_done: unable to receive response: Input/output error "
         "(error-id 0x801E0005).\n",
         kEpoch,
         "0 days, 0 hours, 2 minutes, 40",
         ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        json patch = answers;
        overlay(patch, c.faults);
        const Captured cap = run(patch);
        EXPECT_EQ(cap.err, c.err);
        EXPECT_EQ(cap.out, "");
        EXPECT_EQ(std::string(sim_output()), block(c.start, c.system, k59, c.active));
        EXPECT_EQ(calls_named("mts_send").size(), 2u);
        EXPECT_EQ(sim_send_count(), 1);
    }
}

TEST_F(Uptime, ExchangesGoToTheSystemManagerOnTheReportsQueue) {
    struct Case {
        const char *name;
        json patch;
        int64_t queue;
        std::size_t receives, drops;
    };
    // With no queue of the back end's, the local request binds 100 and the
    // report its own, 101. A request is dropped once its token is taken and
    // an answer once read; nothing after a failure.
    const Case cases[] = {
        {"own queue", json::object(), 101, 2, 4},
        {"back end's queue", {{"context", {{"mts_q", 7}}}}, 7, 2, 4},
        {"send fails", {{"scope_done", {{"send_errno", 5}}}}, 101, 1, 2},
        {"receive fails", {{"prior_uptime", {{"recv_errno", 5}}}}, 101, 2, 3},
        {"interrupted",
         {{"scope_done", {{"interrupts", 3}}}, {"prior_uptime", {{"interrupts", 1}}}},
         101,
         6,
         4},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        run(c.patch);
        const auto sends = calls_named("mts_send");
        ASSERT_EQ(sends.size(), 2u);
        EXPECT_EQ(sends[0].args, (std::vector<int64_t>{c.queue, 0xFE000000, 3, 0x9AC, 0, 0, 0, 0}));
        EXPECT_EQ(sends[1].args, (std::vector<int64_t>{c.queue, 0xFE000000, 3, 0x9F6, 0, 0, 0, 0}));
        const auto receives = calls_named("mts_recv");
        ASSERT_EQ(receives.size(), c.receives);
        for (const auto &r : receives) {
            ASSERT_EQ(r.args.size(), 11u);
            std::vector<int64_t> options(r.args.begin() + 1, r.args.end());
            options[3] = 0; // the token, checked by the transport itself
            EXPECT_EQ(r.args[0], c.queue);
            EXPECT_EQ(options, (std::vector<int64_t>{1, 0, 5, 0, 0, 0, 0, 0, 0, 0}));
        }
        const auto drops = calls_named("mts_drop");
        EXPECT_EQ(drops.size(), c.drops);
        for (const auto &d : drops)
            EXPECT_EQ(d.args, std::vector<int64_t>{c.queue});
    }
}

} // namespace
