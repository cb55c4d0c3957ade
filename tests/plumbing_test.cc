// Error identifiers, the queue handle functions and the CMI request wrapper.
#include <cerrno>
#include <cstdint>
#include <cstring>
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

using Args = std::vector<int64_t>;
using Texts = std::vector<std::string>;

TEST(ErrorId, MinusOneEncodesErrnoOtherValuesPassThrough) {
    struct Case {
        int32_t rc;
        int err;
        uint32_t id;
    };
    const Case cases[] = {
        {-1, 2, 0x801E0002},
        {-1, 0x1005, 0x801E0005},
        {-1, 0, 0x801E0000},
        {-1, 0xFFF, 0x801E0FFF},
        {0, 5, 0},
        {0x1234, 5, 0x1234},
        {-2, 5, 0xFFFFFFFE},
        {INT32_MIN, 5, 0x80000000},
        {0x40aa0012, 5, 0x40aa0012},
    };
    for (const Case &c : cases) {
        errno = c.err;
        EXPECT_EQ(error_id(c.rc), c.id) << c.rc << " errno " << c.err;
    }
}

TEST(ErrorStr, MinusOneDescribesErrnoOtherValuesTheSystemManagersText) {
    for (const int32_t rc : {-1, 0, 0x40aa0012, -2}) {
        errno = ENOENT;
        const std::string expected = rc == -1 ? std::strerror(ENOENT) : syserr2str(rc);
        EXPECT_EQ(error_str(rc), expected) << rc;
    }
}

class Handles : public testsupport::SimTest {};

TEST_F(Handles, OrdinaryHandleIsTheBackEndsOrOneOfOurOwn) {
    struct Case {
        const char *name;
        int32_t mts_q, on_sup, bind_errno;
        int32_t handle;
        std::vector<Args> binds;
        std::vector<Args> unbinds;
        const char *err;
    };
    const Case cases[] = {
        {"back end's queue", 7, 0, 0, 7, {}, {}, ""},
        {"back end's queue on sup", 7, 1, 0, 7, {}, {}, ""},
        {"own queue", -1, 0, 0, 100, {{2, -1, 0}}, {{100, 0}}, ""},
        {"none on sup",
         -1,
         1,
         0,
         -1,
         {},
         {{-1, 0}},
         "get_mts_q_handle: Unexpected case of invalid queue on sup!\n"},
        {"bind fails",
         -1,
         0,
         12,
         -1,
         {{2, -1, 0}},
         {{-1, 0}},
         "get_mts_q_handle :: Bind Failed - Cannot allocate memory\n"},
        {"on-sup flag other than 1", -1, 2, 0, 100, {{2, -1, 0}}, {{100, 0}}, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        load(json{{"context", {{"mts_q", c.mts_q}, {"on_sup", c.on_sup}}},
                  {"mts", {{"bind_errno", c.bind_errno}}}}
                 .dump());
        int32_t handle = 12345;
        int32_t got = 1, released = 1;
        const Captured cap = testsupport::capture([&] {
            got = get_mts_q_handle(&context_, &handle);
            released = release_mts_q_handle(&context_, &handle);
        });
        EXPECT_EQ(got, 0);
        EXPECT_EQ(released, 0);
        EXPECT_EQ(handle, c.handle);
        EXPECT_EQ(cap.err, c.err);
        EXPECT_EQ(cap.out, "");
        std::vector<Args> binds, unbinds;
        for (const auto &call : calls_named("mts_bind")) {
            binds.push_back(call.args);
            EXPECT_EQ(call.texts, Texts{"LIB_SYSMGR_CLI"});
        }
        for (const auto &call : calls_named("mts_unbind"))
            unbinds.push_back(call.args);
        EXPECT_EQ(binds, c.binds);
        EXPECT_EQ(unbinds, c.unbinds);
        EXPECT_EQ(sim_queues_bound(), 0);
    }
}

TEST_F(Handles, DefaultVdcHandleIgnoresTheContext) {
    struct Case {
        int32_t bind_errno;
        int32_t result, handle;
    };
    for (const Case c : {Case{0, 0, 100}, Case{12, static_cast<int32_t>(0x801E000C), -1},
                         Case{0x1005, static_cast<int32_t>(0x801E0005), -1}}) {
        SCOPED_TRACE(c.bind_errno);
        load(json{{"context", {{"mts_q", 7}}}, {"mts", {{"bind_errno", c.bind_errno}}}}.dump());
        int32_t handle = 12345;
        int32_t got = 1, released = 1;
        const Captured cap = testsupport::capture([&] {
            got = get_default_vdc_mts_q_handle(&handle);
            released = release_default_vdc_mts_q_handle(&handle);
        });
        EXPECT_EQ(got, c.result);
        EXPECT_EQ(released, 0);
        EXPECT_EQ(handle, c.handle);
        EXPECT_EQ(cap.err, "");
        const auto binds = calls_named("mts_bind");
        ASSERT_EQ(binds.size(), 1u);
        EXPECT_EQ(binds[0].args, (Args{1, -1, 0}));
        EXPECT_EQ(binds[0].texts, Texts{"LIB_SYSMGR_CLI_ON_SUP"});
        const auto unbinds = calls_named("mts_unbind");
        ASSERT_EQ(unbinds.size(), 1u);
        EXPECT_EQ(unbinds[0].args, (Args{c.handle, 0}));
        EXPECT_EQ(sim_queues_bound(), 0);
    }
}

TEST_F(Handles, CmiWrapperAsksServiceThreeOnTheCommandsQueue) {
    struct Case {
        uint32_t opcode;
        int32_t mts_q, queue;
    };
    for (const Case c : {Case{0x9c3, -1, 100}, Case{0x9c3, 9, 9}, Case{0x394, -1, 100}}) {
        SCOPED_TRACE(::testing::Message() << c.opcode << " " << c.mts_q);
        load(json{{"context", {{"mts_q", c.mts_q}, {"cmi_text1", "one"}, {"cmi_text2", "two"}}}}
                 .dump());
        void *response = nullptr;
        uint32_t length = 0;
        const int32_t rc = cmi_wrapper(c.opcode, 1, 0, &response, &length, &context_, 5);
        const auto calls = calls_named("cmi_req_resp");
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(calls[0].args, (Args{c.opcode, 1, 0, 3, c.queue, 5}));
        EXPECT_EQ(calls[0].texts, (Texts{"one", "two"}));
        EXPECT_EQ(sim_queues_bound(), 0);
        if (rc == 0) {
            std::free(response);
        }
    }
}

} // namespace
