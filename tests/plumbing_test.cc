// SPDX-License-Identifier: MIT
// Error identifiers and the queue handle functions. The CMI request wrapper's
// arguments are checked with the dispatcher's requests.
#include <cerrno>
#include <cstdint>
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
using testsupport::Captured;

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
