// SPDX-License-Identifier: MIT
// Redundancy state printers, the operational mode rule, the single-supervisor
// rule, the redundancy status report and the active-state summary. The texts
// that the golden transcripts show are not repeated here.
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "platform/records.h"
#include "support/sim_fixture.h"
#include "sysmgrcli/sysmgrcli.h"
#include "sysmgrsim/sim.h"

namespace {

using nlohmann::json;
using testsupport::recorded_values;

class Redundancy : public testsupport::SimTest {};

/* Text of the recorded value with this tag, "<none>" when absent. */
std::string value_of(uint32_t tag) {
    for (const auto &v : recorded_values()) {
        if (v.tag == tag)
            return v.text;
    }
    return "<none>";
}

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
        {internal, 48, 1, 1, sync},
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
        load(json{{"card", {{"result", result}, {"card_kind", kind}, {"module_type", type}}}}
                 .dump());
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
        int this_sup, other_sup, byte3, byte4;
        const char *this_name, *other_name;
    };
    const Case cases[] = {
        {2, 1, 7, 7, "(sup-1)", "(sup-1)"},
        {2, 1, 0, 1, "(sup-2)", "(sup-1)"},
        {255, 0, 1, 0, "(sup-255)", "(sup-0)"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.this_name);
        load(json{{"slots",
                   {{"this_sup", c.this_sup},
                    {"other_sup", c.other_sup},
                    {"byte3", c.byte3},
                    {"byte4", c.byte4}}}}
                 .dump());
        const sysmgr_rdn_status_rsp_t local{0, 34, 2, 0, 1, 0x502, 1, 0};
        print_show_redundancy_status_pd(&local, nullptr, 0, rx());
        EXPECT_EQ(value_of(0x305c0004), c.this_name);
        EXPECT_EQ(value_of(0x305c0008), c.other_name);
    }
}

TEST_F(Redundancy, ActiveStateSummary) {
    const std::string op = "sysmgr_show_redundancy_active_state: ";
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
         op + "CMI returned a failure: Input/output error (error-id 0x801E0005).\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.local.dump());
        load(json{{"supervisors", {{"local", c.local}}}}.dump());
        const auto cap =
            testsupport::capture([&] { sysmgr_show_redundancy_active_state(rx(), &context_, 7); });
        EXPECT_EQ(testsupport::printed(), c.out);
        EXPECT_EQ(cap.err, c.err);
        EXPECT_EQ(sim_queues_bound(), 0);
        for (const auto &v : recorded_values())
            EXPECT_EQ(v.tag, 7u);
    }
}

} // namespace
