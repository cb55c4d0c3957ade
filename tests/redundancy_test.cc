// Redundancy state printers, the operational mode rule, the single-supervisor
// rule, the redundancy status report and the active-state summary.
#include <cstring>
#include <map>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "platform/records.h"
#include "support/sim_fixture.h"
#include "sysmgrcli/sysmgrcli.h"
#include "sysmgrsim/sim.h"

namespace {

using nlohmann::json;
using testsupport::Captured;
using testsupport::recorded_values;

class Redundancy : public testsupport::SimTest {
  protected:
    /* The one value a printer call recorded; fails unless exactly one. */
    sysmgrsim::Print only_value() {
        const auto values = recorded_values();
        EXPECT_EQ(values.size(), 1u);
        return values.empty() ? sysmgrsim::Print{} : values.front();
    }

    /* Text of the recorded value with this tag, "<none>" when absent. */
    static std::string value_of(uint32_t tag) {
        for (const auto &v : recorded_values()) {
            if (v.tag == tag)
                return v.text;
        }
        return "<none>";
    }
};

TEST_F(Redundancy, PrintersGiveTheTextOfEachValueWithItsLength) {
    struct Case {
        const char *printer;
        uint32_t value;
        int32_t local_flag, peer_flag;
        const char *text;
    };
    const Case cases[] = {
        {"internal", 30, 0, 0, "Warm standby"},
        {"internal", 31, 1, 1, "HA standby"},
        {"internal", 31, 1, 0, "HA synchronization in progress"},
        {"internal", 31, 0, 1, "HA synchronization in progress"},
        {"internal", 31, 0, 0, "HA synchronization in progress"},
        {"internal", 34, 0, 0, "Active with no standby"},
        {"internal", 35, 0, 0, "Active with HA standby"},
        {"internal", 36, 1, 1, "Active with warm standby"},
        {"internal", 37, 0, 0, "Shutting down"},
        {"internal", 39, 0, 0, "HA switchover in progress"},
        {"internal", 40, 0, 0, "Offline"},
        {"internal", 48, 1, 1, "HA synchronization in progress"},
        {"internal", 49, 0, 0, "Standby (failed)"},
        {"internal", 50, 0, 0, "Active with failed standby"},
        {"internal", 93, 0, 0, "Warm switchover in progress"},
        {"internal", 29, 1, 1, "Other"},
        {"internal", 32, 0, 0, "Other"},
        {"internal", 33, 0, 0, "Other"},
        {"internal", 38, 0, 0, "Other"},
        {"internal", 41, 0, 0, "Other"},
        {"internal", 51, 0, 0, "Other"},
        {"internal", 92, 0, 0, "Other"},
        {"internal", 94, 0, 0, "Other"},
        {"internal", 0xFFFFFFFF, 0, 0, "Other"},
        {"supstate", 0, 0, 0, "Unknown"},
        {"supstate", 1, 0, 0, "Active"},
        {"supstate", 2, 0, 0, "HA standby"},
        {"supstate", 3, 0, 0, "Warm standby"},
        {"supstate", 4, 0, 0, "Offline"},
        {"supstate", 5, 0, 0, "Unknown"},
        {"supstate", 0xFFFFFFFF, 0, 0, "Unknown"},
        {"rdn", 0, 0, 0, "N/A"},
        {"rdn", 1, 0, 0, "Initializing"},
        {"rdn", 2, 0, 0, "Active"},
        {"rdn", 3, 0, 0, "Standby"},
        {"rdn", 4, 0, 0, "At BIOS"},
        {"rdn", 5, 0, 0, "Offline"},
        {"rdn", 6, 0, 0, "Failed"},
        {"rdn", 7, 0, 0, "Active, SC not present"},
        {"rdn", 8, 0, 0, "Unknown"},
        {"rdn", 0xFFFFFFFF, 0, 0, "Unknown"},
    };
    load();
    const uint32_t tag = 0x305c0042;
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.printer) + " " + std::to_string(c.value));
        sim_clear_records();
        const std::string printer = c.printer;
        if (printer == "internal")
            print_sysmgr_internal_state_t(c.value, rx(), tag, c.local_flag, c.peer_flag);
        else if (printer == "supstate")
            print_sysmgr_supstate_t(c.value, rx(), tag);
        else
            print_rdn_sup_status_t(c.value, rx(), tag);
        const sysmgrsim::Print v = only_value();
        EXPECT_EQ(v.format, "%s");
        EXPECT_EQ(v.tag, tag);
        EXPECT_EQ(v.text, c.text);
        EXPECT_EQ(v.len, std::strlen(c.text) + 1);
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
        int card_kind;
        int module_type;
        int32_t single;
    };
    const Case cases[] = {
        {0, 5, 99, 1},  {0, 5, 0, 1},   {0, 1, 87, 1},  {0, 1, 88, 1},  {0, 1, 73, 1},
        {0, 1, 148, 1}, {0, 0, 100, 1}, {0, 1, 89, 0},  {0, 1, 99, 0},  {0, 1, 149, 0},
        {0, 1, 72, 0},  {0, 4, 0, 0},   {-1, 5, 87, 0}, {22, 1, 73, 0}, {0, 6, 65535, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << c.result << " " << c.card_kind << " " << c.module_type);
        load(json{
            {"card",
             {{"result", c.result}, {"card_kind", c.card_kind}, {"module_type", c.module_type}}}}
                 .dump());
        card_module_info_t record{};
        EXPECT_EQ(libsysmgrcli_pd_is_card_single_sup(&record), c.single);
    }
}

TEST_F(Redundancy, ThirtyFiveModuleTypesAreSingleSupervisor) {
    int single = 0;
    for (int type = 0; type <= 300; ++type) {
        load(json{{"card", {{"card_kind", 1}, {"module_type", type}}}}.dump());
        card_module_info_t record{};
        single += libsysmgrcli_pd_is_card_single_sup(&record);
    }
    EXPECT_EQ(single, 35);
}

/* This supervisor active and alone, as the library gets it from the System Manager. */
sysmgr_rdn_status_rsp_t active_alone() {
    sysmgr_rdn_status_rsp_t r{};
    r.internal_state = 34;
    r.rdn_state = 2;
    r.peer_rdn_state = 0;
    r.sup_state = 1;
    r.peer_node = 0x502;
    r.admin_mode = 1;
    r.ha_synced = 0;
    return r;
}

TEST_F(Redundancy, ReportOfAnActiveSupervisorWithNoPartner) {
    load(R"({"slots": {"this_sup": 1, "other_sup": 2, "byte3": 0, "byte4": 0}})");
    const sysmgr_rdn_status_rsp_t local = active_alone();
    print_show_redundancy_status_pd(&local, nullptr, 0, rx());
    EXPECT_EQ(std::string(sim_output()), "Redundancy mode\n"
                                         "---------------\n"
                                         "      administrative:\tHA\n"
                                         "         operational:\tNone\n"
                                         "\n"
                                         "This supervisor (sup-1)\n"
                                         "-----------------------\n"
                                         "    Redundancy state:\tActive\n"
                                         "    Supervisor state:\tActive\n"
                                         "      Internal state:\tActive with no standby\n"
                                         "\n"
                                         "Other supervisor (sup-2)\n"
                                         "------------------------\n"
                                         "    Redundancy state:\tN/A\n"
                                         "\n"
                                         "    Supervisor state:\tN/A\n"
                                         "      Internal state:\tN/A\n");
    struct Expected {
        uint32_t tag;
        const char *text;
    };
    const Expected expected[] = {
        {0x305c0002, "HA"},      {0x305c0003, "None"},   {0x305c0004, "(sup-1)"},
        {0x305c0005, "Active"},  {0x305c0006, "Active"}, {0x305c0007, "Active with no standby"},
        {0x305c0008, "(sup-2)"}, {0x305c0009, "N/A"},    {0x305c000a, "N/A"},
        {0x305c000b, "N/A"},
    };
    const auto values = recorded_values();
    ASSERT_EQ(values.size(), std::size(expected));
    for (std::size_t i = 0; i < values.size(); ++i) {
        EXPECT_EQ(values[i].tag, expected[i].tag) << i;
        EXPECT_EQ(values[i].text, expected[i].text) << i;
        EXPECT_EQ(values[i].len, std::strlen(expected[i].text) + 1) << i;
        EXPECT_EQ(values[i].format, "%s") << i;
    }
}

TEST_F(Redundancy, ReportValuesFollowBothSupervisors) {
    struct Case {
        const char *name;
        uint32_t admin_mode;
        uint32_t local_state, local_flag;
        bool with_peer;
        uint32_t peer_state, peer_flag, peer_sup_state;
        int32_t queried;
        const char *admin, *oper, *this_internal, *other_sup, *other_internal;
    };
    const Case cases[] = {
        {"ha pair", 1, 35, 1, true, 31, 1, 2, 1, "HA", "HA", "Active with HA standby", "HA standby",
         "HA standby"},
        {"standby not synced", 1, 35, 1, true, 31, 0, 2, 1, "HA", "Warm", "Active with HA standby",
         "HA standby", "HA synchronization in progress"},
        {"seen from the standby", 0, 31, 1, true, 35, 0, 1, 1, "Warm", "Warm",
         "HA synchronization in progress", "Active", "Active with HA standby"},
        {"warm pair", 2, 36, 0, true, 30, 0, 3, 1, "Warm", "Warm", "Active with warm standby",
         "Warm standby", "Warm standby"},
        {"standby did not answer", 1, 31, 1, false, 0, 0, 0, 1, "HA", "None",
         "HA synchronization in progress", "<none>", "<none>"},
        {"partner not asked", 1, 35, 1, false, 0, 0, 0, 0, "HA", "None", "Active with HA standby",
         "N/A", "N/A"},
        {"unknown peer state", 1, 35, 1, true, 77, 1, 9, 1, "HA", "None", "Active with HA standby",
         "Unknown", "Other"},
    };
    load();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        sim_clear_records();
        sysmgr_rdn_status_rsp_t local = active_alone();
        local.admin_mode = c.admin_mode;
        local.internal_state = c.local_state;
        local.ha_synced = c.local_flag;
        sysmgr_rdn_status_rsp_t peer{};
        peer.internal_state = c.peer_state;
        peer.ha_synced = c.peer_flag;
        peer.sup_state = c.peer_sup_state;
        print_show_redundancy_status_pd(&local, c.with_peer ? &peer : nullptr, c.queried, rx());
        EXPECT_EQ(value_of(0x305c0002), c.admin);
        EXPECT_EQ(value_of(0x305c0003), c.oper);
        EXPECT_EQ(value_of(0x305c0007), c.this_internal);
        EXPECT_EQ(value_of(0x305c000a), c.other_sup);
        EXPECT_EQ(value_of(0x305c000b), c.other_internal);
    }
}

TEST_F(Redundancy, UnansweredPartnerGivesTheErrorLineAfterTwoBlankLines) {
    load();
    const sysmgr_rdn_status_rsp_t local = active_alone();
    print_show_redundancy_status_pd(&local, nullptr, 1, rx());
    const std::string out = sim_output();
    const std::string tail =
        "------------------------\n"
        "    Redundancy state:\tN/A\n"
        "\n"
        "\n"
        "Error in getting supervisor and internal state of other supervisor.\n";
    ASSERT_GE(out.size(), tail.size());
    EXPECT_EQ(out.substr(out.size() - tail.size()), tail);
}

TEST_F(Redundancy, SupervisorNamesFromTheSlotRecord) {
    struct Case {
        int this_sup, other_sup, byte3, byte4;
        const char *this_name, *other_name;
    };
    const Case cases[] = {
        {1, 2, 0, 0, "(sup-1)", "(sup-2)"}, {2, 1, 0, 0, "(sup-1)", "(sup-1)"},
        {2, 1, 7, 7, "(sup-1)", "(sup-1)"}, {2, 1, 0, 1, "(sup-2)", "(sup-1)"},
        {5, 7, 3, 4, "(sup-5)", "(sup-7)"}, {255, 0, 1, 0, "(sup-255)", "(sup-0)"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.this_name);
        load(json{{"slots",
                   {{"this_sup", c.this_sup},
                    {"other_sup", c.other_sup},
                    {"byte3", c.byte3},
                    {"byte4", c.byte4}}}}
                 .dump());
        const sysmgr_rdn_status_rsp_t local = active_alone();
        print_show_redundancy_status_pd(&local, nullptr, 0, rx());
        EXPECT_EQ(value_of(0x305c0004), c.this_name);
        EXPECT_EQ(value_of(0x305c0008), c.other_name);
    }
}

TEST_F(Redundancy, ActiveStateSummary) {
    struct Case {
        json local;
        const char *out;
        const char *err;
    };
    const Case cases[] = {
        {{{"internal_state", 34}}, "Redundancy state: Active with no standby\n", ""},
        {{{"internal_state", 35}}, "Redundancy state: Active with HA standby\n", ""},
        {{{"internal_state", 36}}, "Redundancy state: Active with warm standby\n", ""},
        {{{"internal_state", 50}}, "Redundancy state: Active with failed standby\n", ""},
        {{{"internal_state", 31}}, "Redundancy state: Other\n", ""},
        {{{"internal_state", 30}}, "Redundancy state: Other\n", ""},
        {{{"internal_state", 93}}, "Redundancy state: Other\n", ""},
        {{{"internal_state", 35}, {"status", 0x401e0003}}, "", ""},
        {{{"result", -1}, {"errno", 5}},
         "",
         "sysmgr_show_redundancy_active_state: CMI returned a failure: Input/output error "
         "(error-id 0x801E0005).\n"},
        {{{"length", 28}},
         "",
         "sysmgr_show_redundancy_active_state: short redundancy status response (28 bytes, "
         "expected 32).\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.local.dump());
        load(json{{"supervisors", {{"local", c.local}}}}.dump());
        const Captured cap =
            testsupport::capture([&] { sysmgr_show_redundancy_active_state(rx(), &context_, 7); });
        EXPECT_EQ(std::string(sim_output()), c.out);
        EXPECT_EQ(cap.err, c.err);
        EXPECT_EQ(sim_queues_bound(), 0);
        if (*c.out != '\0') {
            EXPECT_EQ(only_value().tag, 7u);
        }
    }
}

} // namespace
