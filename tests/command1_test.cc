// SPDX-License-Identifier: MIT
// Command 1: the entry point's receive handle and redundancy requests, the
// values it prints, the redundancy state printers and rules, and the system
// uptime report that closes it; the error identifiers and queue handles they
// use. Failures and what each sends are in fault_test.cc.
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "platform/mts.h"
#include "platform/records.h"
#include "support/sim_fixture.h"
#include "sysmgrcli/sysmgrcli.h"
#include "sysmgrsim/sim.h"
#include "sysmgrsim/sim.hpp"

namespace {

using nlohmann::json;
using sysmgrsim::calls_named;
using testsupport::Captured;
using testsupport::recorded_values;

/* Text of the recorded value with this tag, "<none>" when absent. */
std::string value_of(uint32_t tag) {
    for (const auto &v : recorded_values())
        if (v.tag == tag)
            return v.text;
    return "<none>";
}

class Dispatch : public testsupport::SimTest {};

TEST_F(Dispatch, OnlyPeerStatesAskTheOtherSupervisor) {
    const std::set<uint32_t> peer_states = {30, 31, 35, 36, 48, 49, 50, 51};
    for (uint32_t state = 0; state <= 100; ++state) {
        SCOPED_TRACE(state);
        show({{"supervisors", {{"local", {{"internal_state", state}}}}}});
        EXPECT_EQ(calls_named("cmi_remote_req_resp").size(), peer_states.count(state));
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
                 {"supervisors", {{"local", {{"peer_node", "0x0503"}}}}}});
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
        show(c.patch);
        EXPECT_EQ(value_of(c.tag), c.text);
    }
}

/* ---- Redundancy state printers, the operational mode and single-supervisor
 * rules, the redundancy status report and the active-state summary; the
 * texts the golden transcripts show are not repeated here. */

class Redundancy : public testsupport::SimTest {};

TEST_F(Redundancy, PrintersGiveOneTaggedTextWithItsNul) {
    enum Printer { internal, sup, rdn };
    struct Case {
        Printer printer;
        uint32_t value;
        int32_t local_flag, peer_flag;
        const char *text;
    };
    const char *sync = "HA synchronization in progress";
    const Case cases[] = {
        {internal, 31, 7, -1, "HA standby"},
        {internal, 31, 1, 0, sync},
        {internal, 31, 0, 1, sync},
        {internal, 37, 0, 0, "Shutting down"},
        {internal, 39, 0, 0, "HA switchover in progress"},
        {internal, 40, 0, 0, "Offline"},
        {internal, 48, 1, 1, sync},
        {internal, 49, 0, 0, "Standby (failed)"},
        {internal, 50, 0, 0, "Active with failed standby"},
        {internal, 93, 0, 0, "Warm switchover in progress"},
        {internal, 38, 0, 0, "Other"},
        {internal, 94, 0, 0, "Other"},
        {sup, 0, 0, 0, "Unknown"},
        {sup, 4, 0, 0, "Offline"},
        {sup, 5, 0, 0, "Unknown"},
        {rdn, 1, 0, 0, "Initializing"},
        {rdn, 7, 0, 0, "Active, SC not present"},
        {rdn, 8, 0, 0, "Unknown"},
    };
    load();
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << c.printer << " " << c.value);
        sim_clear_records();
        if (c.printer == internal)
            print_sysmgr_internal_state_t(c.value, rx(), 0x305c0042, c.local_flag, c.peer_flag);
        else if (c.printer == sup)
            print_sysmgr_supstate_t(c.value, rx(), 0x305c0042);
        else
            print_rdn_sup_status_t(c.value, rx(), 0x305c0042);
        const auto values = recorded_values();
        ASSERT_EQ(values.size(), 1u);
        EXPECT_EQ(values[0].tag, 0x305c0042u);
        EXPECT_EQ(values[0].text, c.text);
        EXPECT_EQ(values[0].len, values[0].text.size() + 1);
    }
}

TEST(OperationalMode, FollowsThePairOfStatesAndTheFlags) {
    struct Case {
        uint32_t local, peer;
        int32_t local_flag, peer_flag;
        int32_t mode;
    };
    const Case cases[] = {
        {35, 31, 1, 1, 0}, {31, 35, 1, 1, 0}, {35, 31, 7, -1, 0}, {35, 31, 1, 0, 1},
        {35, 31, 0, 1, 1}, {35, 31, 0, 0, 1}, {31, 35, 0, 1, 1},  {36, 30, 0, 0, 1},
        {30, 36, 1, 1, 1}, {35, 35, 1, 1, 2}, {31, 31, 1, 1, 2},  {34, 0, 0, 0, 2},
        {36, 36, 0, 0, 2}, {30, 30, 1, 1, 2}, {35, 30, 1, 1, 2},  {36, 31, 1, 1, 2},
        {51, 31, 1, 1, 2},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(get_operational_red_mode(c.local, c.peer, c.local_flag, c.peer_flag), c.mode)
            << c.local << " " << c.peer << " " << c.local_flag << " " << c.peer_flag;
    }
}

TEST_F(Redundancy, SingleSupervisorRuleByCardKindAndModuleType) {
    struct Case {
        int32_t result;
        int card_kind, module_type;
        int32_t single;
    };
    const Case cases[] = {
        {0, 5, 99, 1},  {0, 5, 0, 1},   {0, 1, 87, 1},  {0, 1, 88, 1},  {0, 1, 73, 1},
        {0, 1, 148, 1}, {0, 0, 100, 1}, {0, 1, 89, 0},  {0, 1, 99, 0},  {0, 1, 149, 0},
        {0, 1, 72, 0},  {0, 4, 0, 0},   {-1, 5, 87, 0}, {22, 1, 73, 0}, {0, 6, 65535, 0},
    };
    const auto single_sup = [this](int32_t result, int kind, int type) {
        load(json{{"card", {{"result", result}, {"card_kind", kind}, {"module_type", type}}}});
        card_module_info_t record{};
        return libsysmgrcli_pd_is_card_single_sup(&record);
    };
    for (const Case &c : cases) {
        EXPECT_EQ(single_sup(c.result, c.card_kind, c.module_type), c.single)
            << c.result << " " << c.card_kind << " " << c.module_type;
    }
}

TEST_F(Redundancy, ReportValuesFollowBothSupervisors) {
    const char *sync = "HA synchronization in progress";
    struct Case {
        const char *name;
        uint32_t admin_mode, local_state, local_flag;
        bool with_peer;
        uint32_t peer_state, peer_flag;
        const char *admin, *oper, *this_internal, *other_internal;
    };
    const Case cases[] = {
        {"standby not synced", 1, 35, 1, true, 31, 0, "HA", "Warm", "Active with HA standby", sync},
        {"seen from the standby", 0, 31, 1, true, 35, 0, "Warm", "Warm", sync,
         "Active with HA standby"},
        {"standby did not answer", 2, 31, 1, false, 0, 0, "Warm", "None", sync, "<none>"},
    };
    load();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        sim_clear_records();
        const sysmgr_rdn_status_rsp_t local{0,     c.local_state, 2,           3, 1,
                                            0x502, c.admin_mode,  c.local_flag};
        const sysmgr_rdn_status_rsp_t peer{0, c.peer_state, 3, 2, 2, 0x501, 1, c.peer_flag};
        print_show_redundancy_status_pd(&local, c.with_peer ? &peer : nullptr, 1, rx());
        EXPECT_EQ(value_of(0x305c0002), c.admin);
        EXPECT_EQ(value_of(0x305c0003), c.oper);
        EXPECT_EQ(value_of(0x305c0007), c.this_internal);
        EXPECT_EQ(value_of(0x305c000b), c.other_internal);
    }
}

TEST_F(Redundancy, SupervisorNamesFromTheSlotRecord) {
    struct Case {
        json slots;
        const char *this_name, *other_name;
    };
    const Case cases[] = {
        {{{"this_sup", 2}, {"other_sup", 1}, {"byte3", 7}, {"byte4", 7}}, "(sup-1)", "(sup-1)"},
        {{{"this_sup", 2}, {"other_sup", 1}, {"byte3", 0}, {"byte4", 1}}, "(sup-2)", "(sup-1)"},
        {{{"this_sup", 255}, {"other_sup", 0}, {"byte3", 1}, {"byte4", 0}}, "(sup-255)", "(sup-0)"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.slots.dump());
        load({{"slots", c.slots}});
        const sysmgr_rdn_status_rsp_t local{0, 34, 2, 0, 1, 0x502, 1, 0};
        print_show_redundancy_status_pd(&local, nullptr, 0, rx());
        EXPECT_EQ(value_of(0x305c0004), c.this_name);
        EXPECT_EQ(value_of(0x305c0008), c.other_name);
    }
}

TEST_F(Redundancy, ActiveStateSummary) {
    struct Case {
        json local;
        std::string out, err;
    };
    const Case cases[] = {
        {{{"internal_state", 34}}, "Redundancy state: Active with no standby\n", ""},
        {{{"internal_state", 50}}, "Redundancy state: Active with failed standby\n", ""},
        {{{"internal_state", 31}}, "Redundancy state: Other\n", ""},
        {{{"internal_state", 35}, {"status", 0x401e0003}}, "", ""},
        {{{"result", -1}, {"errno", 5}},
         "",
         "sysmgr_show_redundancy_active_state: CMI returned a failure: Input/output error "
         "(error-id 0x801E0005).\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.local.dump());
        load(json{{"supervisors", {{"local", c.local}}}});
        const auto cap =
            testsupport::capture([&] { sysmgr_show_redundancy_active_state(rx(), &context_, 7); });
        EXPECT_EQ(testsupport::printed(), c.out);
        EXPECT_EQ(cap.err, c.err);
        EXPECT_EQ(sim_queues_bound(), 0);
        for (const auto &v : recorded_values())
            EXPECT_EQ(v.tag, 7u);
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
        return show(scenario);
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
        EXPECT_EQ(std::string(error_str(c.rc)), c.text); // copied: the next call may reuse it
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
                  {"mts", {{"bind_errno", c.bind_errno}}}});
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
