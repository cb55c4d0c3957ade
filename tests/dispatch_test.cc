// The entry point: receive handle, command identifiers, the redundancy
// requests of command 1, their failures, the single send and the releases.
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

class Dispatch : public testsupport::SimTest {
  protected:
    /* Every call leaves no queue bound and no message undropped. */
    void TearDown() override {
        EXPECT_EQ(sim_queues_bound(), 0);
        EXPECT_EQ(sim_messages_outstanding(), 0);
        SimTest::TearDown();
    }
};

json local_patch(json local) {
    return json{{"supervisors", {{"local", std::move(local)}}}};
}

TEST_F(Dispatch, NullReceiveHandleOnlyPutsItsLine) {
    const Captured cap = show(R"({"backend": {"rx_null": true}})");
    EXPECT_EQ(cap.out, "receive handler NULL \n");
    EXPECT_EQ(cap.err, "");
    EXPECT_TRUE(calls_named("cmd_req_cmdId_getnext").empty());
    EXPECT_TRUE(sysmgrsim::prints().empty());
    EXPECT_EQ(sim_send_count(), 0);
}

TEST_F(Dispatch, UnknownCommandsAreRejectedWithoutOutput) {
    for (const int32_t cmd : {0, 2, -1, 106, 108, INT32_MAX}) {
        SCOPED_TRACE(cmd);
        const Captured cap = show(json{{"backend", {{"command", cmd}}}}.dump());
        EXPECT_EQ(cap.out, "Invalid cmdID " + std::to_string(cmd) + "\n");
        EXPECT_EQ(cap.err, "");
        EXPECT_TRUE(sysmgrsim::prints().empty());
        EXPECT_EQ(sim_send_count(), 0);
        EXPECT_TRUE(calls_named("cmi_req_resp").empty());
        EXPECT_EQ(calls_named("cmd_req_cmdId_getnext").size(), 1u);
    }
}

TEST_F(Dispatch, LocalRequestOutcomes) {
    const std::string op = "sysmgr_cli_show_redundancy_status: ";
    struct Case {
        const char *name;
        json local;
        std::string err;
        bool sent; // the uptime block printed and the output sent
    };
    const Case cases[] = {
        {"errno failure",
         {{"result", -1}, {"errno", 5}},
         op + "CMI returned a failure: Input/output error (error-id 0x801E0005).\n",
         false},
        {"error identifier",
         {{"result", "0x40aa0012"}},
         op + "CMI returned a failure: " + syserr2str(0x40aa0012) + " (error-id 0x40AA0012).\n",
         false},
        {"short response",
         {{"length", 31}},
         op + "short redundancy status response (31 bytes, expected 32).\n",
         false},
        {"empty response",
         {{"length", 0}},
         op + "short redundancy status response (0 bytes, expected 32).\n",
         false},
        {"nonzero status",
         {{"status", "0x401e0003"}},
         op + "the master System Manager returned a failure (" + syserr2str(0x401e0003) + ").\n",
         true},
        {"longer response", {{"length", 40}, {"internal_state", 34}}, "", true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const Captured cap = show(local_patch(c.local).dump());
        EXPECT_EQ(cap.err, c.err);
        EXPECT_EQ(cap.out, "");
        EXPECT_EQ(sim_send_count(), c.sent ? 1 : 0);
        const std::string out = sim_output();
        if (!c.sent) {
            EXPECT_EQ(out, "");
        } else if (c.err.empty()) {
            EXPECT_EQ(out.rfind("Redundancy mode\n", 0), 0u) << out;
        } else {
            EXPECT_EQ(out.rfind("\nSystem start time:", 0), 0u) << out;
        }
        EXPECT_EQ(calls_named("cmi_req_resp").size(), 1u);
        EXPECT_TRUE(calls_named("cmi_remote_req_resp").empty());
    }
}

TEST_F(Dispatch, OnlyPeerStatesAskTheOtherSupervisor) {
    const uint32_t peer_states[] = {30, 31, 35, 36, 48, 49, 50, 51};
    for (uint32_t state = 0; state <= 100; ++state) {
        SCOPED_TRACE(state);
        show(local_patch({{"internal_state", state}}).dump());
        const bool peer = std::find(std::begin(peer_states), std::end(peer_states), state) !=
                          std::end(peer_states);
        EXPECT_EQ(calls_named("cmi_remote_req_resp").size(), peer ? 1u : 0u);
        EXPECT_EQ(sim_send_count(), 1);
        EXPECT_EQ(sysmgrsim::prints().empty(), false);
    }
}

TEST_F(Dispatch, RemoteRequestFailuresStillPrintBothBlocks) {
    const std::string error_line =
        "\n\nError in getting supervisor and internal state of other supervisor.\n"
        "\nSystem start time:";
    struct Case {
        const char *name;
        json patch;
        std::string err;
    };
    const Case cases[] = {
        {"errno failure", {{"supervisors", {{"peer", {{"result", -1}, {"errno", 110}}}}}}, ""},
        {"error identifier", {{"supervisors", {{"peer", {{"result", "0x40aa0005"}}}}}}, ""},
        {"short response",
         {{"supervisors", {{"peer", {{"length", 16}}}}}},
         "sysmgr_cli_show_redundancy_status: short redundancy status response (16 bytes, "
         "expected 32).\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const Captured cap = show(c.patch.dump());
        EXPECT_EQ(cap.err, c.err);
        const std::string out = sim_output();
        EXPECT_NE(out.find(error_line), std::string::npos) << out;
        EXPECT_NE(out.find("         operational:\tNone\n"), std::string::npos) << out;
        EXPECT_EQ(sim_send_count(), 1);
    }
}

TEST_F(Dispatch, RequestsCarryTheContextsQueueAndTexts) {
    struct Case {
        int32_t mts_q;
        int32_t local_queue; // the queue the local request goes out on
    };
    // With no queue of the back end's the library binds its own (the first
    // handle is 100) for the local request; the remote request is given the
    // context's field as it is.
    for (const Case c : {Case{-1, 100}, Case{7, 7}}) {
        SCOPED_TRACE(c.mts_q);
        show(json{{"context", {{"mts_q", c.mts_q}, {"cmi_text1", "alpha"}, {"cmi_text2", "beta"}}},
                  {"supervisors", {{"local", {{"peer_node", "0x0503"}}}}}}
                 .dump());
        const auto local = calls_named("cmi_req_resp");
        ASSERT_EQ(local.size(), 1u);
        EXPECT_EQ(local[0].args, (std::vector<int64_t>{0x9c3, 1, 0, 3, c.local_queue, 5}));
        EXPECT_EQ(local[0].texts, (std::vector<std::string>{"alpha", "beta"}));
        const auto remote = calls_named("cmi_remote_req_resp");
        ASSERT_EQ(remote.size(), 1u);
        EXPECT_EQ(remote[0].args, (std::vector<int64_t>{0x9c3, 1, 0, 3, 0x503, c.mts_q, 5}));
        EXPECT_EQ(remote[0].texts, (std::vector<std::string>{"alpha", "beta"}));
    }
}

TEST_F(Dispatch, FailedSendNamesTheCommandAndLine) {
    struct Case {
        int32_t command;
        int32_t send_result;
        const char *out;
    };
    const Case cases[] = {
        {1, 3, "sysmgr_cli_show_redundancy_status: cmd_prt_send() returned 3 on line 948\n"},
        {1, -1, "sysmgr_cli_show_redundancy_status: cmd_prt_send() returned -1 on line 948\n"},
        {107, 3, "sysmgr_cli_show_version: cmd_prt_send() returned 3 on line 1387\n"},
        {107, 0, ""},
        {1, 0, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << c.command << " " << c.send_result);
        const Captured cap = show(
            json{{"backend", {{"command", c.command}, {"send_result", c.send_result}}}}.dump());
        EXPECT_EQ(cap.out, c.out);
        EXPECT_EQ(cap.err, "");
        EXPECT_EQ(sim_send_count(), 1);
    }
}

} // namespace
