// SPDX-License-Identifier: MIT
// The entry point: receive handle, the redundancy requests of command 1 and
// the values it prints. Failures and what each sends are in fault_test.cc.
#include <algorithm>
#include <cstdint>
#include <iterator>
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
    // library binds (the first is 100); the remote one gets the field as it is.
    for (const auto &[mts_q, local_queue] : {std::pair{-1, 100}, std::pair{7, 7}}) {
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
    }
}

TEST_F(Dispatch, Command1ValuesCarryTheirTagsAndLengths) {
    // The default switch: both supervisors answer, the kernel line is shown.
    // Texts count their NUL; the uptime figures are 32-bit integers.
    const std::pair<uint32_t, uint32_t> expected[] = {
        {0x305c0002, 3},  {0x305c0003, 3}, {0x305c0004, 8}, {0x305c0005, 7},  {0x305c0006, 7},
        {0x305c0007, 23}, {0x305c0008, 8}, {0x305c0009, 8}, {0x305c000a, 11}, {0x305c000b, 11},
        {0x305c000c, 26}, {0x115c000d, 4}, {0x115c000e, 4}, {0x115c000f, 4},  {0x115c0010, 4},
        {0x115c0011, 4},  {0x115c0012, 4}, {0x115c0013, 4}, {0x115c0014, 4},  {0x115c0015, 4},
        {0x115c0016, 4},  {0x115c0017, 4}, {0x115c0018, 4},
    };
    show();
    const auto values = testsupport::recorded_values();
    ASSERT_EQ(values.size(), std::size(expected));
    for (std::size_t i = 0; i < values.size(); ++i) {
        EXPECT_EQ(values[i].tag, expected[i].first) << i;
        EXPECT_EQ(values[i].len, expected[i].second) << i;
        EXPECT_EQ(values[i].format, "%s") << i;
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

} // namespace
