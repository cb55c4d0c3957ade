// The enumeration lookups, through the exported functions only: every
// enumeration's rows are discovered by asking find() for candidate values,
// then checked against each other and against a few fixed facts per table.
#include "sysmgrcli/sysmgrcli_enums.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <limits>
#include <set>
#include <string>
#include <vector>

namespace {

struct Lookups {
    const char *enumeration;
    const char *(*find)(int32_t);
    int32_t (*str2enum)(const char *);
};

#define SYSMGRCLI_LOOKUPS(E) {#E, __##E##_find, __##E##_str2enum},
constexpr Lookups all_lookups[] = {SYSMGRCLI_ENUMERATIONS(SYSMGRCLI_LOOKUPS)};
#undef SYSMGRCLI_LOOKUPS

// Per enumeration, in table order: the number of rows, the name of value 0,
// and the last row. Where the last value is rows - 1 the values are the row
// indexes; the two others hold exit codes and single-bit flags.
struct Shape {
    const char *enumeration;
    size_t rows;
    const char *first;
    int32_t last_value;
    const char *last;
};

const Shape shapes[] = {
    {"sysmgr_cardstate_t", 7, "SYSMGR_CARDSTATE_UNKNOWN", 6,
     "SYSMGR_CARDSTATE_LC_NON_DISRUPTIVE_UPGRADE"},
    {"sysmgr_exitcode_t", 23, "SYSMGR_EXITCODE_SUCCESS", 100, "SYSMGR_EXITCODE_PATCHING"},
    {"sysmgr_srv_death_reason_t", 22, "SYSMGR_DEATH_REASON_FAILURE_UNKNOWN", 21,
     "SYSMGR_DEATH_REASON_PATCHING"},
    {"sysmgr_notification_t", 3, "SYSMGR_START_NOTIFICATION", 2, "SYSMGR_HANDSHAKE_NOTIFICATION"},
    {"sysmgr_hap_t", 4, "SYSMGR_RESTART_NO", 3, "SYSMGR_RESTART_UNKNOWN"},
    {"sysdir_enum_t", 10, "SYSDIR_CONFIG_SUCCESS_LOG_DIR", 9, "SYSDIR_TOTAL_NUM_DIRS"},
    {"sysmgr_swover_reason_t", 6, "SYSMGR_UNKNOWN_SWOVER", 5, "SYSMGR_SUP_REMOVED_SWOVER"},
    {"sysmgr_redundancy_mode_t", 3, "SYSMGR_REDUN_MODE_HA", 2, "SYSMGR_REDUN_MODE_NONE"},
    {"sysmgr_srv_start_reason_t", 7, "SYSMGR_START_FIRST_TIME", 6, "SYSMGR_START_REASON_PATCHING"},
    {"sysmgr_gsync_status_t", 3, "SYSMGR_GSYNC_STATUS_DONE", 2, "SYSMGR_GSYNC_STATUS_IN_PROGRESS"},
    {"sysmgr_srv_type_t", 4, "SYSMGR_SRV_TYPE_INVALID_SRV", 3, "SYSMGR_SRV_TYPE_CONDITIONAL_SRV"},
    {"sysmgr_srv_node_t", 2, "SYSMGR_SRV_NODE_LC", 1, "SYSMGR_SRV_NODE_SUP"},
    {"sysmgr_vdc_policy_t", 3, "SYSMGR_VDC_POLICY_RESET", 2, "SYSMGR_VDC_POLICY_BRINGDOWN"},
    {"sysmgr_vdc_srv_type_t", 3, "SYSMGR_VDC_SRV_TYPE_UNAWARE", 2,
     "SYSMGR_VDC_SRV_TYPE_POLICY_AWARE_LOCAL"},
    {"sysmgr_vdc_delete_reason_t", 3, "SYSMGR_VDC_DELETE_GRACEFUL", 2, "SYSMGR_VDC_DELETE_SWOVER"},
    {"sysmgr_plugin_stop_type_t", 2, "SYSMGR_PLUGIN_STOP_ALL", 1, "SYSMGR_PLUGIN_STOP_ONLY"},
    {"sysmgr_ft_set_op_type_t", 2, "SYSMGR_FT_SET_DISABLE", 1, "SYSMGR_FT_SET_ENABLE"},
    {"sysmgr_vdc_delete_type_t", 3, "SYSMGR_VDC_DELETE_TYPE_UNKNOWN", 2,
     "SYSMGR_VDC_DELETE_TYPE_DESTROY"},
    {"sysmgr_vdc_oper_t", 3, "SYSMGR_VDC_OPC_NONE", 2, "SYSMGR_VDC_OPC_DELETE_IN_PROGRESS"},
    {"rdn_sup_status_t", 8, "RDN_ST_NP", 7, "RDN_ST_AC_NOSC"},
    {"rdn_drv_state_t", 15, "RDN_DRV_ST_INVALID", 14, "RDN_DRV_ST_MAX"},
    {"rdn_event_t", 11, "RDN_EV_OS_AC", 10, "RDN_EV_MAX"},
    {"parsed_string_enum_t", 24, "PARSED_STRING_NAME", 23, "PARSED_STRING_NUM_STRINGS"},
    {"parsed_number_enum_t", 30, "PARSED_NUMBER_UUID", 29, "PARSED_NUMBER_NUM_NUMBERS"},
    {"parsed_option_enum_t", 48, "PARSED_OPTION_RUN", 47, "PARSED_OPTION_NUM_OPTIONS"},
    {"srv_options_t", 75, "SRV_OPTION_NONE", 74, "SRV_OPTION_CGROUP_DME"},
    {"srv_state_t", 137, "SRV_STATE_NOT_STARTED", 136, "SRV_STATE_NUM_STATES"},
    {"srv_state_property_t", 16, "SRV_STPROP_DEFAULT", 16384, "SRV_STPROP_PARTICIPATE_ND_UPGD"},
    {"pss_key_type_enum_t", 16, "PSS_KEY_SYSMGR_INFO", 15, "PSS_NUM_KEYS"},
    {"srv_show_enum_t", 3, "SHOW_ALL", 2, "SHOW_NOT_RUNNING"},
    {"upgrade_state_t", 3, "NO_UPGRADE", 2, "DOWNGRADE_IN_PROGRESS"},
    {"srv_start_mode_t", 4, "NORMAL_MODE", 3, "NO_SYSMGR_MODE"},
    {"sysmgr_super_state_t", 3, "SYSMGR_SUPERSTATE_BOOT", 2, "SYSMGR_SUPERSTATE_STABLE"},
    {"pss_shrink_req_status_t", 7, "PSS_SHRINK_REQ_NOT_SENT", 6,
     "PSS_SHRINK_REQ_SENT_WAIT_RESPONSE"},
    {"pss_shrink_state_t", 2, "PSS_SHRINK_NOT_STARTED", 1, "PSS_SHRINK_IN_PROGRESS"},
    {"card_bootup_mode_t", 4, "CARD_BOOTUP_MODE_NORMAL", 3, "CARD_BOOTUP_MODE_NUM_MODES"},
    {"sysmgr_card_type_t", 2, "SYSMGR_CARD_TYPE_SUPERVISOR", 1, "SYSMGR_CARD_TYPE_LINE_CARD"},
    {"sysmgr_plugin_operation_t", 12, "SYSMGR_PLUGIN_OPER_REGISTER", 11,
     "SYSMGR_PLUGIN_OPER_FTSET_UNINSTALL"},
    {"srv_feature_type_t", 4, "SRV_OPTION_FEATURE_TYPE_NONE", 3, "SRV_OPTION_FEATURE_TYPE_MAX"},
    {"sysmgr_start_seq_type_t", 3, "SEQUENCE_TYPE_ERROR", 2, "SEQUENCE_TYPE_PSEUDO_START"},
    {"sysmgr_plugin_req_type_t", 4, "PLUGIN_ENABLE_REQ", 3, "PLUGIN_UNINSTALL_REQ"},
    {"fset_op_type_t", 4, "FSET_OP_INSTALL", 3, "FSET_OP_UNINSTALL"},
};

struct Row {
    int32_t value;
    const char *name;
};

// Every row find() answers for: all small values, both signs, every single
// bit and the extremes. A row outside these would show as a short count.
std::vector<Row> rows_of(const Lookups &lookups) {
    std::set<int32_t> candidates = {std::numeric_limits<int32_t>::min(),
                                    std::numeric_limits<int32_t>::max()};
    for (int32_t v = -1024; v <= 1024; ++v) {
        candidates.insert(v);
    }
    for (int bit = 0; bit < 31; ++bit) {
        candidates.insert(int32_t{1} << bit);
    }
    std::vector<Row> rows;
    for (int32_t v : candidates) {
        if (const char *name = lookups.find(v)) {
            rows.push_back({v, name});
        }
    }
    return rows;
}

std::string lower(std::string text) {
    for (char &c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

TEST(Enums, EveryTableHasItsRowsInOrder) {
    ASSERT_EQ(std::size(all_lookups), 42u);
    ASSERT_EQ(std::size(shapes), std::size(all_lookups));
    for (size_t i = 0; i < std::size(shapes); ++i) {
        const Shape &shape = shapes[i];
        const Lookups &lookups = all_lookups[i];
        SCOPED_TRACE(shape.enumeration);
        ASSERT_STREQ(lookups.enumeration, shape.enumeration);

        std::vector<Row> rows = rows_of(lookups);
        EXPECT_EQ(rows.size(), shape.rows);
        EXPECT_STREQ(lookups.find(0), shape.first);
        EXPECT_STREQ(lookups.find(shape.last_value), shape.last);
        if (shape.last_value == static_cast<int32_t>(shape.rows) - 1) {
            for (size_t r = 0; r < rows.size(); ++r) {
                EXPECT_EQ(rows[r].value, static_cast<int32_t>(r));
            }
        }
    }
}

// Every name reads back to its value, in any case, and only whole names do.
TEST(Enums, EveryNameReadsBackToItsValue) {
    for (const Lookups &lookups : all_lookups) {
        SCOPED_TRACE(lookups.enumeration);
        std::set<std::string> seen;
        for (const Row &row : rows_of(lookups)) {
            SCOPED_TRACE(row.name);
            std::string name = row.name;
            ASSERT_FALSE(name.empty());
            EXPECT_EQ(name.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_"),
                      std::string::npos);
            EXPECT_TRUE(seen.insert(lower(name)).second) << "two names differ only in case";

            EXPECT_EQ(lookups.str2enum(row.name), row.value);
            EXPECT_EQ(lookups.str2enum(lower(name).c_str()), row.value);
            EXPECT_EQ(lookups.find(lookups.str2enum(row.name)), row.name);
            EXPECT_EQ(lookups.str2enum((name + " ").c_str()), 0);
            EXPECT_EQ(lookups.str2enum((" " + name).c_str()), 0);
            EXPECT_EQ(lookups.str2enum((name + "\n").c_str()), 0);
            EXPECT_EQ(lookups.str2enum(name.substr(0, name.size() - 1).c_str()), 0);
        }
        // The end row (value 0, empty name) is never a match, nor a number.
        EXPECT_EQ(lookups.str2enum(""), 0);
        EXPECT_EQ(lookups.str2enum("1"), 0);
        EXPECT_EQ(lookups.find(-1), nullptr);
    }
    // Each table reads only its own names.
    EXPECT_EQ(__sysmgr_redundancy_mode_t_str2enum("SYSMGR_CARDSTATE_ACTIVE"), 0);
}

// Values that are not row indexes, both ways; the counts of the rows above
// already rule out any row between them.
TEST(Enums, RowsBeyondTheIndexesReadBothWays) {
    const struct {
        const char *(*find)(int32_t);
        int32_t (*str2enum)(const char *);
        int32_t value;
        const char *name;
    } facts[] = {
        {__sysmgr_exitcode_t_find, __sysmgr_exitcode_t_str2enum, 127, "SYSMGR_EXITCODE_DLFAILURE"},
        {__sysmgr_exitcode_t_find, __sysmgr_exitcode_t_str2enum, 99,
         "SYSMGR_EXITCODE_COND_SCRIPT_SUCCESS"},
        {__sysmgr_exitcode_t_find, __sysmgr_exitcode_t_str2enum, 20,
         "SYSMGR_EXITCODE_FAILURE_NOCALLHOME"},
        {__srv_state_property_t_find, __srv_state_property_t_str2enum, 256, "SRV_STPROP_DUAL_SUP"},
        {__srv_state_property_t_find, __srv_state_property_t_str2enum, 64,
         "SRV_STPROP_DUAL_SUP_ACTIVE"},
        {__srv_state_t_find, __srv_state_t_str2enum, 35, "SRV_STATE_MASTER_ACTIVE_HOTSTDBY"},
    };
    for (const auto &f : facts) {
        SCOPED_TRACE(f.name);
        EXPECT_STREQ(f.find(f.value), f.name);
        EXPECT_EQ(f.str2enum(f.name), f.value);
    }
}

} // namespace
