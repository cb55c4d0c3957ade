// SPDX-License-Identifier: MIT
// The entry point: receive handle, the redundancy requests of command 1, the
// values it prints and the system uptime report that closes it; the error
// identifiers and queue handles they use. Failures and what each sends are
// in fault_test.cc.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>
#include <tuple>
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

class Dispatch : public testsupport::SimTest {};

json local(json fields) {
    return {{"supervisors", {{"local", std::move(fields)}}}};
}

TEST_F(Dispatch, OnlyPeerStatesAskTheOtherSupervisor) {
    const uint32_t peer_states[] = {30, 31, 35, 36, 48, 49, 50, 51};
    for (uint32_t state = 0; state <= 100; ++state) {
        SCOPED_TRACE(state);
        show(local({{"internal_state", state}}).dump());
        const bool asked = std::find(std::begin(peer_states), std::end(peer_states), state) !=
                           std::end(peer_states);
        EXPECT_EQ(calls_named("cmi_remote_req_resp").size(), asked ? 1u : 0u);
        EXPECT_EQ(sim_send_count(), 1);
    }
}

TEST_F(Dispatch, RequestsCarryTheContextsQueueAndTexts) {
    // Without a queue of the back end's the local request goes out on one the
    // library binds (the first is 100), the uptime exchanges on another; the
    // remote request gets the field as it is.
    for (const auto &[mts_q, local_queue, uptime_queue] :
         {std::tuple{-1, 100, 101}, std::tuple{7, 7, 7}}) {
        SCOPED_TRACE(mts_q);
        show(
            json{{"context",
                  {{"on_sup", 0}, {"mts_q", mts_q}, {"cmi_text1", "alpha"}, {"cmi_text2", "beta"}}},
                 {"supervisors", {{"local", {{"peer_node", "0x0503"}}}}}}
                .dump());
        const auto requests = calls_named("cmi_req_resp");
        const auto remote = calls_named("cmi_remote_req_resp");
        ASSERT_EQ(requests.size(), 1u);
        ASSERT_EQ(remote.size(), 1u);
        EXPECT_EQ(requests[0].args, (std::vector<int64_t>{0x9c3, 1, 0, 3, local_queue, 5}));
        EXPECT_EQ(remote[0].args, (std::vector<int64_t>{0x9c3, 1, 0, 3, 0x503, mts_q, 5}));
        EXPECT_EQ(requests[0].texts, (std::vector<std::string>{"alpha", "beta"}));
        EXPECT_EQ(remote[0].texts, requests[0].texts);
        for (const char *name : {"mts_send", "mts_recv"}) {
            const auto exchanges = calls_named(name);
            ASSERT_EQ(exchanges.size(), 2u) << name;
            for (const auto &call : exchanges)
                EXPECT_EQ(call.args.at(0), uptime_queue) << name;
        }
    }
}

TEST_F(Dispatch, WideValuesAndRecordsReadTheSameOnEveryTarget) {
    // Times past 2038 up to the last unsigned 32-bit second, the 64-bit
    // fields and integers, each read from a record the platform fills.
    const std::string y2106 = "Sun Feb  7 06:28:15 2106";
    struct Case {
        json patch;
        uint32_t tag;
        std::string text;
    } cases[] = {
        {{{"scope_done", {{"start_time", 0x80000000u}}}}, 0x305c000c, "Tue Jan 19 03:14:08 2038\n"},
        {{{"scope_done", {{"start_time", 0xffffffffu}}}}, 0x305c000c, y2106 + "\n"},
        {{{"scope_done", {{"uptime_base", 0x100000000u}}},
          {"timer", {{"cycles", 0x10000e678u}, {"cycles_per_msec", 1}}}},
         0x115c0018,
         "59"},
        {{{"backend", {{"command", 107}}},
          {"images", {{"/var/run/curr-ks.hdr", {{"build_time", 0xffffffffu}}}}}},
         0x305c0023,
         "02/07/2106 06:28:15"},
        {{{"backend", {{"command", 107}}},
          {"last_reset", {{"entries", {{{"reason", 9}, {"time", 0xffffffffu}}}}}}},
         0x405c0035,
         y2106},
        {{{"backend", {{"command", 107}}},
          {"slot0_fs", {{"block_size", 0x1000000}, {"blocks", 0x1000000}}}},
         0x155c002f,
         "281474976710"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.patch.dump());
        show(c.patch.dump());
        const auto values = testsupport::recorded_values();
        const auto found = std::find_if(values.begin(), values.end(),
                                        [&](const auto &v) { return v.tag == c.tag; });
        ASSERT_NE(found, values.end());
        EXPECT_EQ(found->text, c.text);
    }
}

/* ---- The system uptime report that closes command 1 ---------------------- */

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

/* ---- Error identifiers and queue handles -------------------------------- */

TEST(ErrorId, MinusOneStandsForErrnoOtherValuesForThemselves) {
    struct Case {
        int32_t rc;
        int err;
        uint32_t id;
        const char *text;
    };
    const Case cases[] = {
        {-1, 0x0002, 0x801E0002, "No such file or directory"},
        {-1, 0x1005, 0x801E0005, "Unknown error 4101"},
        {-1, 0x0000, 0x801E0000, "Success"},
        {-1, 0x0FFF, 0x801E0FFF, "Unknown error 4095"},
        {0, 0x0005, 0x00000000, "Success"},
        {-2, 0x0005, 0xFFFFFFFE, "unknown error 0xFFFFFFFE"},
        {0x40aa0012, 5, 0x40aa0012, "System Manager not ready"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << c.rc << " errno " << c.err);
        errno = c.err;
        EXPECT_EQ(error_id(c.rc), c.id);
        errno = c.err;
        const std::string text = error_str(c.rc); // copied: the next call may reuse it
        EXPECT_EQ(text, c.text);
    }
}

/* The bind and unbind calls recorded so far, e.g. "bind 2 -1 0 NAME; unbind 100 0; ". */
std::string binds_and_unbinds() {
    std::string s;
    for (const sysmgrsim::Call &call : sysmgrsim::calls()) {
        if (call.name != "mts_bind" && call.name != "mts_unbind")
            continue;
        s += call.name.substr(4);
        for (const int64_t a : call.args)
            s += " " + std::to_string(a);
        for (const std::string &t : call.texts)
            s += " " + t;
        s += "; ";
    }
    return s;
}

class Handles : public testsupport::SimTest {};

TEST_F(Handles, GetThenRelease) {
    struct Case {
        const char *name;
        bool default_vdc; // the context-free pair
        int32_t mts_q, on_sup, bind_errno;
        uint32_t result;
        int32_t handle;
        const char *calls, *err;
    };
    const char *own = "bind 2 -1 0 LIB_SYSMGR_CLI; unbind 100 0; ";
    const Case cases[] = {
        {"back end's queue", false, 7, 0, 0, 0, 7, "", ""},
        {"back end's queue on sup", false, 7, 1, 0, 0, 7, "", ""},
        {"own queue", false, -1, 0, 0, 0, 100, own, ""},
        {"on-sup flag other than 1", false, -1, 2, 0, 0, 100, own, ""},
        {"none on sup", false, -1, 1, 0, 0, -1, "unbind -1 0; ",
         "get_mts_q_handle: Unexpected case of invalid queue on sup!\n"},
        {"bind fails", false, -1, 0, 12, 0, -1, "bind 2 -1 0 LIB_SYSMGR_CLI; unbind -1 0; ",
         "get_mts_q_handle :: Bind Failed - Cannot allocate memory\n"},
        {"default vdc", true, 7, 1, 0, 0, 100, "bind 1 -1 0 LIB_SYSMGR_CLI_ON_SUP; unbind 100 0; ",
         ""},
        {"default vdc bind fails", true, 7, 0, 0x1005, 0x801E0005, -1,
         "bind 1 -1 0 LIB_SYSMGR_CLI_ON_SUP; unbind -1 0; ", ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        load(json{{"context", {{"mts_q", c.mts_q}, {"on_sup", c.on_sup}}},
                  {"mts", {{"bind_errno", c.bind_errno}}}}
                 .dump());
        int32_t handle = 12345, got = 1;
        const Captured cap = testsupport::capture([&] {
            got = c.default_vdc ? get_default_vdc_mts_q_handle(&handle)
                                : get_mts_q_handle(&context_, &handle);
            c.default_vdc ? release_default_vdc_mts_q_handle(&handle)
                          : release_mts_q_handle(&context_, &handle);
        });
        EXPECT_EQ(static_cast<uint32_t>(got), c.result);
        EXPECT_EQ(handle, c.handle);
        EXPECT_EQ(binds_and_unbinds(), c.calls);
        EXPECT_EQ(cap.err, c.err);
        EXPECT_EQ(sim_queues_bound(), 0);
    }
}

} // namespace
