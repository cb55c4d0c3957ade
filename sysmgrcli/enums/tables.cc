// SPDX-License-Identifier: MIT
// The name tables of the System Manager enumerations and their 84 exported
// lookups. All tables are members of one constant object, so they lie in
// the library's read-only data in the order of SYSMGRCLI_ENUMERATIONS, and
// most of their shape is proven at compile time below.
#include "sysmgrcli/sysmgrcli_enums.h"

#include "enums/sysmgr_states.h"

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <strings.h>

namespace sysmgrcli {
namespace {

// One constant of an enumeration. A table holds its rows and then the end
// row, value 0 with the empty name.
struct Row {
    int32_t value;
    const char *name;
};

constexpr Row end_row = {0, ""};

// A table of `Rows` constants and the end row.
template <std::size_t Rows>
using Table = Row[Rows + 1];

struct Tables {
    Table<7> sysmgr_cardstate_t;
    Table<23> sysmgr_exitcode_t;
    Table<22> sysmgr_srv_death_reason_t;
    Table<3> sysmgr_notification_t;
    Table<4> sysmgr_hap_t;
    Table<10> sysdir_enum_t;
    Table<6> sysmgr_swover_reason_t;
    Table<3> sysmgr_redundancy_mode_t;
    Table<7> sysmgr_srv_start_reason_t;
    Table<3> sysmgr_gsync_status_t;
    Table<4> sysmgr_srv_type_t;
    Table<2> sysmgr_srv_node_t;
    Table<3> sysmgr_vdc_policy_t;
    Table<3> sysmgr_vdc_srv_type_t;
    Table<3> sysmgr_vdc_delete_reason_t;
    Table<2> sysmgr_plugin_stop_type_t;
    Table<2> sysmgr_ft_set_op_type_t;
    Table<3> sysmgr_vdc_delete_type_t;
    Table<3> sysmgr_vdc_oper_t;
    Table<8> rdn_sup_status_t;
    Table<15> rdn_drv_state_t;
    Table<11> rdn_event_t;
    Table<24> parsed_string_enum_t;
    Table<30> parsed_number_enum_t;
    Table<48> parsed_option_enum_t;
    Table<75> srv_options_t;
    Table<137> srv_state_t;
    Table<16> srv_state_property_t;
    Table<16> pss_key_type_enum_t;
    Table<3> srv_show_enum_t;
    Table<3> upgrade_state_t;
    Table<4> srv_start_mode_t;
    Table<3> sysmgr_super_state_t;
    Table<7> pss_shrink_req_status_t;
    Table<2> pss_shrink_state_t;
    Table<4> card_bootup_mode_t;
    Table<2> sysmgr_card_type_t;
    Table<12> sysmgr_plugin_operation_t;
    Table<4> srv_feature_type_t;
    Table<3> sysmgr_start_seq_type_t;
    Table<4> sysmgr_plugin_req_type_t;
    Table<4> fset_op_type_t;
};

constexpr Tables tables = {
    .sysmgr_cardstate_t =
        {
            {0, "SYSMGR_CARDSTATE_UNKNOWN"},
            {1, "SYSMGR_CARDSTATE_ACTIVE"},
            {2, "SYSMGR_CARDSTATE_STANDBY"},
            {3, "SYSMGR_CARDSTATE_COLD_STANDBY"},
            {4, "SYSMGR_CARDSTATE_OFFLINE"},
            {5, "SYSMGR_CARDSTATE_LC_NORMAL"},
            {6, "SYSMGR_CARDSTATE_LC_NON_DISRUPTIVE_UPGRADE"},
            end_row,
        },
    .sysmgr_exitcode_t =
        {
            {0, "SYSMGR_EXITCODE_SUCCESS"},
            {1, "SYSMGR_EXITCODE_SYSERR"},
            {2, "SYSMGR_EXITCODE_NOMEM"},
            {3, "SYSMGR_EXITCODE_TRANSL_FAILED"},
            {4, "SYSMGR_EXITCODE_SIGTERM"},
            {5, "SYSMGR_EXITCODE_PARSEERR"},
            {6, "SYSMGR_EXITCODE_CFGACTIONERR"},
            {7, "SYSMGR_EXITCODE_GSYNCERR"},
            {8, "SYSMGR_EXITCODE_TIMEDOUT"},
            {9, "SYSMGR_EXITCODE_UPGRADE_FAIL"},
            {10, "SYSMGR_EXITCODE_GSYNCFAILED"},
            {11, "SYSMGR_EXITCODE_CORE_CLIENT_ERR"},
            {12, "SYSMGR_EXITCODE_GSYNCFAILED_NONFATAL"},
            {13, "SYSMGR_EXITCODE_CFGACTIONTIMEOUT"},
            {14, "SYSMGR_EXITCODE_RTDBCTRLTIMEOUT"},
            {15, "SYSMGR_EXITCODE_RTDBCTRL_SRVFAILURE"},
            {20, "SYSMGR_EXITCODE_FAILURE_NOCALLHOME"},
            {64, "SYSMGR_EXITCODE_USERDEF"},
            {65, "SYSMGR_EXITCODE_FIPS_FAILURE"},
            {66, "SYSMGR_EXITCODE_NEED_COPYRS"},
            {127, "SYSMGR_EXITCODE_DLFAILURE"},
            {99, "SYSMGR_EXITCODE_COND_SCRIPT_SUCCESS"},
            {100, "SYSMGR_EXITCODE_PATCHING"},
            end_row,
        },
    .sysmgr_srv_death_reason_t =
        {
            {0, "SYSMGR_DEATH_REASON_FAILURE_UNKNOWN"},
            {1, "SYSMGR_DEATH_REASON_FAILURE_EXIT"},
            {2, "SYSMGR_DEATH_REASON_FAILURE_SIGNAL"},
            {3, "SYSMGR_DEATH_REASON_FAILURE_SIGTERM"},
            {4, "SYSMGR_DEATH_REASON_SOFTWARE_UPGRADE"},
            {5, "SYSMGR_DEATH_REASON_CONFIG_UPDATE"},
            {6, "SYSMGR_DEATH_REASON_CONFIG_REMOVED"},
            {7, "SYSMGR_DEATH_REASON_SHUTDOWN"},
            {8, "SYSMGR_DEATH_REASON_ABORT"},
            {9, "SYSMGR_DEATH_REASON_FAILURE_HEARTBEAT"},
            {10, "SYSMGR_DEATH_REASON_EXTERNAL_TERMINATED"},
            {11, "SYSMGR_DEATH_REASON_GRACEFUL_EXIT"},
            {12, "SYSMGR_DEATH_REASON_FAILURE_NOCALLHOME"},
            {13, "SYSMGR_DEATH_REASON_TIMEOUT"},
            {14, "SYSMGR_DEATH_REASON_FS_UPG"},
            {15, "SYSMGR_DEATH_REASON_UNAWARE_SRV_CLEANUP"},
            {16, "SYSMGR_DEATH_REASON_SRVFAILURE"},
            {17, "SYSMGR_DEATH_REASON_LC_UPG"},
            {18, "SYSMGR_DEATH_REASON_VDC_DELETE"},
            {19, "SYSMGR_DEATH_REASON_NEED_COPYRS"},
            {20, "SYSMGR_DEATH_REASON_FSET_UNGRACEFUL_DISABLE"},
            {21, "SYSMGR_DEATH_REASON_PATCHING"},
            end_row,
        },
    .sysmgr_notification_t =
        {
            {0, "SYSMGR_START_NOTIFICATION"},
            {1, "SYSMGR_STOP_NOTIFICATION"},
            {2, "SYSMGR_HANDSHAKE_NOTIFICATION"},
            end_row,
        },
    .sysmgr_hap_t =
        {
            {0, "SYSMGR_RESTART_NO"},
            {1, "SYSMGR_RESTART_STATELESS"},
            {2, "SYSMGR_RESTART_STATEFUL"},
            {3, "SYSMGR_RESTART_UNKNOWN"},
            end_row,
        },
    .sysdir_enum_t =
        {
            {0, "SYSDIR_CONFIG_SUCCESS_LOG_DIR"},
            {1, "SYSDIR_CONFIG_FAIL_LOG_DIR"},
            {2, "SYSDIR_ASCII_CONFIG_DIR"},
            {3, "SYSDIR_SRV_LOG_DIR"},
            {4, "SYSDIR_FTP_DIR"},
            {5, "SYSDIR_TMP_DIR"},
            {6, "SYSDIR_SRV_CORE_DIR"},
            {7, "SYSDIR_TMP_CORE_DIR"},
            {8, "SYSDIR_BIN_CONFIG_DIR"},
            {9, "SYSDIR_TOTAL_NUM_DIRS"},
            end_row,
        },
    .sysmgr_swover_reason_t =
        {
            {0, "SYSMGR_UNKNOWN_SWOVER"},
            {1, "SYSMGR_HAP_FAILURE_SWOVER"},
            {2, "SYSMGR_UPGRADE_FAILURE_SWOVER"},
            {3, "SYSMGR_FATAL_ERROR_SWOVER"},
            {4, "SYSMGR_USER_REQ_SWOVER"},
            {5, "SYSMGR_SUP_REMOVED_SWOVER"},
            end_row,
        },
    .sysmgr_redundancy_mode_t =
        {
            {0, "SYSMGR_REDUN_MODE_HA"},
            {1, "SYSMGR_REDUN_MODE_WARM"},
            {2, "SYSMGR_REDUN_MODE_NONE"},
            end_row,
        },
    .sysmgr_srv_start_reason_t =
        {
            {0, "SYSMGR_START_FIRST_TIME"},
            {1, "SYSMGR_START_ON_DEMAND"},
            {2, "SYSMGR_START_REASON_HAP"},
            {3, "SYSMGR_START_REASON_UNKNOWN"},
            {4, "SYSMGR_START_POLL_START"},
            {5, "SYSMGR_START_SRV_ENABLED"},
            {6, "SYSMGR_START_REASON_PATCHING"},
            end_row,
        },
    .sysmgr_gsync_status_t =
        {
            {0, "SYSMGR_GSYNC_STATUS_DONE"},
            {1, "SYSMGR_GSYNC_STATUS_FAILED"},
            {2, "SYSMGR_GSYNC_STATUS_IN_PROGRESS"},
            end_row,
        },
    .sysmgr_srv_type_t =
        {
            {0, "SYSMGR_SRV_TYPE_INVALID_SRV"},
            {1, "SYSMGR_SRV_TYPE_ASAP_SRV"},
            {2, "SYSMGR_SRV_TYPE_ON_DEMAND_SRV"},
            {3, "SYSMGR_SRV_TYPE_CONDITIONAL_SRV"},
            end_row,
        },
    .sysmgr_srv_node_t =
        {
            {0, "SYSMGR_SRV_NODE_LC"},
            {1, "SYSMGR_SRV_NODE_SUP"},
            end_row,
        },
    .sysmgr_vdc_policy_t =
        {
            {0, "SYSMGR_VDC_POLICY_RESET"},
            {1, "SYSMGR_VDC_POLICY_RESTART"},
            {2, "SYSMGR_VDC_POLICY_BRINGDOWN"},
            end_row,
        },
    .sysmgr_vdc_srv_type_t =
        {
            {0, "SYSMGR_VDC_SRV_TYPE_UNAWARE"},
            {1, "SYSMGR_VDC_SRV_TYPE_POLICY_AWARE_GLOBAL"},
            {2, "SYSMGR_VDC_SRV_TYPE_POLICY_AWARE_LOCAL"},
            end_row,
        },
    .sysmgr_vdc_delete_reason_t =
        {
            {0, "SYSMGR_VDC_DELETE_GRACEFUL"},
            {1, "SYSMGR_VDC_DELETE_UNGRACEFUL"},
            {2, "SYSMGR_VDC_DELETE_SWOVER"},
            end_row,
        },
    .sysmgr_plugin_stop_type_t =
        {
            {0, "SYSMGR_PLUGIN_STOP_ALL"},
            {1, "SYSMGR_PLUGIN_STOP_ONLY"},
            end_row,
        },
    .sysmgr_ft_set_op_type_t =
        {
            {0, "SYSMGR_FT_SET_DISABLE"},
            {1, "SYSMGR_FT_SET_ENABLE"},
            end_row,
        },
    .sysmgr_vdc_delete_type_t =
        {
            {0, "SYSMGR_VDC_DELETE_TYPE_UNKNOWN"},
            {1, "SYSMGR_VDC_DELETE_TYPE_SUSPEND"},
            {2, "SYSMGR_VDC_DELETE_TYPE_DESTROY"},
            end_row,
        },
    .sysmgr_vdc_oper_t =
        {
            {0, "SYSMGR_VDC_OPC_NONE"},
            {1, "SYSMGR_VDC_OPC_CREATE_IN_PROGRESS"},
            {2, "SYSMGR_VDC_OPC_DELETE_IN_PROGRESS"},
            end_row,
        },
    .rdn_sup_status_t =
        {
            {0, "RDN_ST_NP"},
            {1, "RDN_ST_INIT"},
            {2, "RDN_ST_AC"},
            {3, "RDN_ST_SB"},
            {4, "RDN_ST_BIOS"},
            {5, "RDN_ST_OF"},
            {6, "RDN_ST_FL"},
            {7, "RDN_ST_AC_NOSC"},
            end_row,
        },
    .rdn_drv_state_t =
        {
            {0, "RDN_DRV_ST_INVALID"},
            {1, "RDN_DRV_ST_INIT"},
            {2, "RDN_DRV_ST_AC_FL"},
            {3, "RDN_DRV_ST_WAIT"},
            {4, "RDN_DRV_ST_AC_SB"},
            {5, "RDN_DRV_ST_AC_INIT"},
            {6, "RDN_DRV_ST_AC_OF"},
            {7, "RDN_DRV_ST_AC_NP"},
            {8, "RDN_DRV_ST_SB_AC"},
            {9, "RDN_DRV_ST_OF"},
            {10, "RDN_DRV_ST_SB_SB"},
            {11, "RDN_DRV_ST_AC_AC"},
            {12, "RDN_DRV_ST_FL"},
            {13, "RDN_DRV_ST_AC_BIOS"},
            {14, "RDN_DRV_ST_MAX"},
            end_row,
        },
    .rdn_event_t =
        {
            {0, "RDN_EV_OS_AC"},
            {1, "RDN_EV_OS_SB"},
            {2, "RDN_EV_OS_FL"},
            {3, "RDN_EV_OS_NP"},
            {4, "RDN_EV_OS_INIT"},
            {5, "RDN_EV_OS_OF"},
            {6, "RDN_EV_S_FL"},
            {7, "RDN_EV_S_OF"},
            {8, "RDN_EV_TO"},
            {9, "RDN_EV_OS_BIOS"},
            {10, "RDN_EV_MAX"},
            end_row,
        },
    .parsed_string_enum_t =
        {
            {0, "PARSED_STRING_NAME"},
            {1, "PARSED_STRING_EXECUTABLE"},
            {2, "PARSED_STRING_ARGUMENTS"},
            {3, "PARSED_STRING_ENVIRONMENT"},
            {4, "PARSED_STRING_SHORT_NAME"},
            {5, "PARSED_STRING_DESCRIPTION"},
            {6, "PARSED_STRING_VERSION"},
            {7, "PARSED_STRING_LIBRARIES"},
            {8, "PARSED_STRING_TRANSLATOR"},
            {9, "PARSED_STRING_WORK_DIR"},
            {10, "PARSED_STRING_ROOT_DIR"},
            {11, "PARSED_STRING_CORE_DIR"},
            {12, "PARSED_STRING_PREFIX"},
            {13, "PARSED_STRING_STARTUP_CFG_DIR"},
            {14, "PARSED_STRING_RECOVERY_CFG_DIR"},
            {15, "PARSED_STRING_RUNNING_CFG_DIR"},
            {16, "PARSED_STRING_USER"},
            {17, "PARSED_STRING_GROUP"},
            {18, "PARSED_STRING_PARSER_TREE"},
            {19, "PARSED_STRING_CLI_LIB"},
            {20, "PARSED_STRING_MIB_LIB"},
            {21, "PARSED_STRING_CLEANUP_ARGUMENTS"},
            {22, "PARSED_STRING_STARTUP_MODE"},
            {23, "PARSED_STRING_NUM_STRINGS"},
            end_row,
        },
    .parsed_number_enum_t =
        {
            {0, "PARSED_NUMBER_UUID"},
            {1, "PARSED_NUMBER_HB_TIMEOUT"},
            {2, "PARSED_NUMBER_HB_MAXLOSS"},
            {3, "PARSED_NUMBER_CORE_LOG"},
            {4, "PARSED_NUMBER_OUTPUT_LOG"},
            {5, "PARSED_NUMBER_HISTORY_LOG"},
            {6, "PARSED_NUMBER_COMPRESSED_LOG"},
            {7, "PARSED_NUMBER_LIMIT_HEAP"},
            {8, "PARSED_NUMBER_LIMIT_STACK"},
            {9, "PARSED_NUMBER_LIMIT_LOG"},
            {10, "PARSED_NUMBER_LIMIT_MMAP"},
            {11, "PARSED_NUMBER_MINLIFE_SINGLE_SUP"},
            {12, "PARSED_NUMBER_MINLIFE_SINGLE_SUP_FAILED"},
            {13, "PARSED_NUMBER_MINLIFE_DUAL_SUP"},
            {14, "PARSED_NUMBER_MINLIFE_DUAL_SUP_FAILED"},
            {15, "PARSED_NUMBER_MAXRETRY_SINGLE_SUP"},
            {16, "PARSED_NUMBER_MAXRETRY_SINGLE_SUP_FAILED"},
            {17, "PARSED_NUMBER_MAXRETRY_DUAL_SUP"},
            {18, "PARSED_NUMBER_MAXRETRY_DUAL_SUP_FAILED"},
            {19, "PARSED_NUMBER_MINLIFE_LC_NORMAL"},
            {20, "PARSED_NUMBER_MINLIFE_LC_NORMAL_FAILED"},
            {21, "PARSED_NUMBER_MINLIFE_LC_ND_UPGD"},
            {22, "PARSED_NUMBER_MINLIFE_LC_ND_UPGD_FAILED"},
            {23, "PARSED_NUMBER_MAXRETRY_LC_NORMAL"},
            {24, "PARSED_NUMBER_MAXRETRY_LC_NORMAL_FAILED"},
            {25, "PARSED_NUMBER_MAXRETRY_LC_ND_UPGD"},
            {26, "PARSED_NUMBER_MAXRETRY_LC_ND_UPGD_FAILED"},
            {27, "PARSED_NUMBER_MAX_INSTANCE"},
            {28, "PARSED_NUMBER_HA_INIT_SAP"},
            {29, "PARSED_NUMBER_NUM_NUMBERS"},
            end_row,
        },
    .parsed_option_enum_t =
        {
            {0, "PARSED_OPTION_RUN"},
            {1, "PARSED_OPTION_RUN_OPTIONS"},
            {2, "PARSED_OPTION_MTS"},
            {3, "PARSED_OPTION_SYSLOG"},
            {4, "PARSED_OPTION_OUTPUT"},
            {5, "PARSED_OPTION_CONFIG"},
            {6, "PARSED_OPTION_SCOPE"},
            {7, "PARSED_OPTION_SWOVER_REQUEST"},
            {8, "PARSED_OPTION_STANDBY_MODE"},
            {9, "PARSED_OPTION_GLOBAL_SYNC"},
            {10, "PARSED_OPTION_RESTART_TYPE_SINGLE_SUP"},
            {11, "PARSED_OPTION_RESTART_TYPE_SINGLE_SUP_FAILED"},
            {12, "PARSED_OPTION_RESTART_TYPE_DUAL_SUP"},
            {13, "PARSED_OPTION_RESTART_TYPE_DUAL_SUP_FAILED"},
            {14, "PARSED_OPTION_RESTART_CONFIG_SINGLE_SUP"},
            {15, "PARSED_OPTION_RESTART_CONFIG_SINGLE_SUP_FAILED"},
            {16, "PARSED_OPTION_RESTART_CONFIG_DUAL_SUP"},
            {17, "PARSED_OPTION_RESTART_CONFIG_DUAL_SUP_FAILED"},
            {18, "PARSED_OPTION_PSS_SHRINK"},
            {19, "PARSED_OPTION_FS_UPG_REMOTE_NOTIFY"},
            {20, "PARSED_OPTION_CONDITIONAL_RUN"},
            {21, "PARSED_OPTION_RESTART_TYPE_LC_NORMAL"},
            {22, "PARSED_OPTION_RESTART_TYPE_LC_NORMAL_FAILED"},
            {23, "PARSED_OPTION_RESTART_TYPE_LC_ND_UPGD"},
            {24, "PARSED_OPTION_RESTART_TYPE_LC_ND_UPGD_FAILED"},
            {25, "PARSED_OPTION_RESTART_CONFIG_LC_NORMAL"},
            {26, "PARSED_OPTION_RESTART_CONFIG_LC_NORMAL_FAILED"},
            {27, "PARSED_OPTION_RESTART_CONFIG_LC_ND_UPGD"},
            {28, "PARSED_OPTION_RESTART_CONFIG_LC_ND_UPGD_FAILED"},
            {29, "PARSED_OPTION_TYPE"},
            {30, "PARSED_OPTION_NODE"},
            {31, "PARSED_OPTION_STANDBY_RESET"},
            {32, "PARSED_OPTION_FS_UPG_RUNTIME_FILES"},
            {33, "PARSED_OPTION_FS_UPG_BLOCK_UPGRADE"},
            {34, "PARSED_OPTION_VDC_SRV_TYPE"},
            {35, "PARSED_OPTION_VDC_CONFIG"},
            {36, "PARSED_OPTION_VDC_GLOBAL_SYNC"},
            {37, "PARSED_OPTION_LC_ON_SUP"},
            {38, "PARSED_OPTION_SYSTEM_UPG_NOTIFY"},
            {39, "PARSED_OPTION_LC_ND_UPGD_NOTIFY"},
            {40, "PARSED_OPTION_LC_ND_UPGD_ASYNC_NOTIFY"},
            {41, "PARSED_OPTION_LC_ND_UPGD_SAVE_STATES"},
            {42, "PARSED_OPTION_PREUPGRADE_NOTIFY"},
            {43, "PARSED_OPTION_MIGRATING_TO_OPTIONAL_CONDITIONAL"},
            {44, "PARSED_OPTION_ETH_INFRA"},
            {45, "PARSED_OPTION_LIMIT_CPU_PRIORITY"},
            {46, "PARSED_OPTION_LIMIT_CGROUP"},
            {47, "PARSED_OPTION_NUM_OPTIONS"},
            end_row,
        },
    .srv_options_t =
        {
            {0, "SRV_OPTION_NONE"},
            {1, "SRV_OPTION_RUN_ASAP"},
            {2, "SRV_OPTION_RUN_ON_DEMAND"},
            {3, "SRV_OPTION_RUN_OPT_NONE"},
            {4, "SRV_OPTION_RUN_OPT_GDB_MODE"},
            {5, "SRV_OPTION_MTS_AWARE"},
            {6, "SRV_OPTION_MTS_UNAWARE"},
            {7, "SRV_OPTION_SYSLOG_SHOW"},
            {8, "SRV_OPTION_SYSLOG_DONT_SHOW"},
            {9, "SRV_OPTION_OUTPUT_ON_FILE"},
            {10, "SRV_OPTION_OUTPUT_DISCARD"},
            {11, "SRV_OPTION_CONFIG_WRITE"},
            {12, "SRV_OPTION_CONFIG_DONT_WRITE"},
            {13, "SRV_OPTION_SCOPE_BOOT"},
            {14, "SRV_OPTION_SCOPE_INFRA"},
            {15, "SRV_OPTION_SCOPE_CONTROL"},
            {16, "SRV_OPTION_SWOVER_REQUEST_DENY"},
            {17, "SRV_OPTION_SWOVER_REQUEST_ALLOW"},
            {18, "SRV_OPTION_STANDBY_MODE_RUN"},
            {19, "SRV_OPTION_STANDBY_MODE_SYNC"},
            {20, "SRV_OPTION_STANDBY_MODE_WAIT"},
            {21, "SRV_OPTION_NEEDS_GLOBAL_SYNC"},
            {22, "SRV_OPTION_NO_GLOBAL_SYNC"},
            {23, "SRV_OPTION_RESTART_STATELESS"},
            {24, "SRV_OPTION_RESTART_STATEFUL"},
            {25, "SRV_OPTION_RESTART_DEFAULT_CFG"},
            {26, "SRV_OPTION_RESTART_STARTUP_CFG"},
            {27, "SRV_OPTION_RESTART_NO"},
            {28, "SRV_OPTION_RESTART_RESET"},
            {29, "SRV_OPTION_RESTART_RESTART_VORN"},
            {30, "SRV_OPTION_RESTART_SWITCHOVER"},
            {31, "SRV_OPTION_RESTART_RUNNING_CFG"},
            {32, "SRV_OPTION_RUN_CONDITIONAL"},
            {33, "SRV_OPTION_PSS_SHRINK_PERFORM"},
            {34, "SRV_OPTION_PSS_SHRINK_DONT_PERFORM"},
            {35, "SRV_OPTION_FS_UPG_REMOTE_NOTIFY"},
            {36, "SRV_OPTION_FS_UPG_REMOTE_NOTIFY_IGNORE"},
            {37, "SRV_OPTION_RESTART_UPGRADE"},
            {38, "SRV_OPTION_NEEDS_STANDBY_RESET"},
            {39, "SRV_OPTION_NO_STANDBY_RESET"},
            {40, "SRV_OPTION_FS_UPG_RUNTIME_FILES"},
            {41, "SRV_OPTION_FS_UPG_RUNTIME_FILES_IGNORE"},
            {42, "SRV_OPTION_FS_UPG_BLOCK_UPGRADE"},
            {43, "SRV_OPTION_FS_UPG_BLOCK_UPGRADE_IGNORE"},
            {44, "SRV_OPTION_CONDITIONAL_RUN_OPTIONAL"},
            {45, "SRV_OPTION_CONDITIONAL_RUN_COMPULSORY"},
            {46, "SRV_OPTION_TYPE_APPLICATION"},
            {47, "SRV_OPTION_TYPE_SCRIPT"},
            {48, "SRV_OPTION_NODE_LC"},
            {49, "SRV_OPTION_NODE_SUP"},
            {50, "SRV_OPTION_SRV_TYPE_VDC_UNAWARE"},
            {51, "SRV_OPTION_SRV_TYPE_VDC_AWARE_GLOBAL"},
            {52, "SRV_OPTION_SRV_TYPE_VDC_AWARE_LOCAL"},
            {53, "SRV_OPTION_LC_ON_SUP"},
            {54, "SRV_OPTION_NO_LC_ON_SUP"},
            {55, "SRV_OPTION_SYSTEM_UPG_NOTIFY"},
            {56, "SRV_OPTION_SYSTEM_UPG_NOTIFY_IGNORE"},
            {57, "SRV_OPTION_LC_ND_UPGD_NOTIFY"},
            {58, "SRV_OPTION_LC_ND_UPGD_NOTIFY_IGNORE"},
            {59, "SRV_OPTION_LC_ND_UPGD_ASYNC_NOTIFY"},
            {60, "SRV_OPTION_LC_ND_UPGD_ASYNC_NOTIFY_IGNORE"},
            {61, "SRV_OPTION_LC_ND_UPGD_SAVE_STATES"},
            {62, "SRV_OPTION_LC_ND_UPGD_SAVE_STATES_IGNORE"},
            {63, "SRV_OPTION_PREUPGRADE_NOTIFY"},
            {64, "SRV_OPTION_PREUPGRADE_NOTIFY_IGNORE"},
            {65, "SRV_OPTION_NOT_MIGRATING_TO_OPTIONAL_CONDITIONAL"},
            {66, "SRV_OPTION_MIGRATING_TO_OPTIONAL_CONDITIONAL"},
            {67, "SRV_OPTION_ETH_INFRA"},
            {68, "SRV_OPTION_NOT_ETH_INFRA"},
            {69, "SRV_OPTION_STARTUP_MODE"},
            {70, "SRV_OPTION_CPU_PRIORITY_HIGH"},
            {71, "SRV_OPTION_CPU_PRIORITY_NORMAL"},
            {72, "SRV_OPTION_CPU_PRIORITY_LOW"},
            {73, "SRV_OPTION_CGROUP_NONE"},
            {74, "SRV_OPTION_CGROUP_DME"},
            end_row,
        },
    .srv_state_t =
        {
            {0, "SRV_STATE_NOT_STARTED"},
            {1, "SRV_STATE_WAIT_SCOPE"},
            {2, "SRV_STATE_WAIT_SPAWN_DEPENDENCY"},
            {3, "SRV_STATE_WAIT_RESTART"},
            {4, "SRV_STATE_WAIT_ON_DEMAND"},
            {5, "SRV_STATE_WAIT_SWITCHOVER"},
            {6, "SRV_STATE_PRESTARTED"},
            {7, "SRV_STATE_STARTED"},
            {8, "SRV_STATE_WAIT_HANDSHAKE"},
            {9, "SRV_STATE_HANDSHAKED"},
            {10, "SRV_STATE_WAIT_SWOVER_RSP"},
            {11, "SRV_STATE_WAIT_RECOVERY"},
            {12, "SRV_STATE_WAIT_UGRP"},
            {13, "SRV_STATE_WAIT_TERMINATION"},
            {14, "SRV_STATE_WAIT_KILL"},
            {15, "SRV_STATE_TERMINATED"},
            {16, "SRV_STATE_HAP_FAILED"},
            {17, "SRV_STATE_DELAY_RESTART"},
            {18, "SRV_STATE_WAIT_HANDSHAKE_DEPENDENCY"},
            {19, "SRV_STATE_ERROR"},
            {20, "SRV_STATE_WAIT_CFG_ACTION_RSP"},
            {21, "SRV_STATE_CFG_ACTION_SUCCEDED"},
            {22, "SRV_STATE_CFG_ACTION_FAILED"},
            {23, "SRV_STATE_PARSER_WAIT_SUMMARY"},
            {24, "SRV_STATE_PARSER_WAIT_VERDB"},
            {25, "SRV_STATE_PARSER_WAIT_UGRP"},
            {26, "SRV_STATE_PARSER_WAIT_SRV_INFO"},
            {27, "SRV_STATE_PARSER_DONE"},
            {28, "SRV_STATE_MASTER_INIT_WAIT_PFM_HANDSHAKE"},
            {29, "SRV_STATE_MASTER_INIT_WAIT_ROLE"},
            {30, "SRV_STATE_MASTER_COLDSTDBY"},
            {31, "SRV_STATE_MASTER_HOTSTDBY"},
            {32, "SRV_STATE_MASTER_STDBY_WAIT_VERSION"},
            {33, "SRV_STATE_MASTER_HOTSTDBY_WAIT_RECOVERY"},
            {34, "SRV_STATE_MASTER_ACTIVE_ALONE"},
            {35, "SRV_STATE_MASTER_ACTIVE_HOTSTDBY"},
            {36, "SRV_STATE_MASTER_ACTIVE_COLDSTDBY"},
            {37, "SRV_STATE_MASTER_SHUTTING_DOWN"},
            {38, "SRV_STATE_MASTER_WAIT_COLD_SWOVER"},
            {39, "SRV_STATE_MASTER_WAIT_HOT_SWOVER"},
            {40, "SRV_STATE_MASTER_OFFLINE"},
            {41, "SRV_STATE_MASTER_RESTART_VORN"},
            {42, "SRV_STATE_MASTER_INITIALIZING"},
            {43, "SRV_STATE_MASTER_PARSING_IN_PROGRESS"},
            {44, "SRV_STATE_MASTER_PSS_RECOVERY"},
            {45, "SRV_STATE_MASTER_STDBY_WAIT_CFG_SYNC"},
            {46, "SRV_STATE_MASTER_STDBY_WAIT_RETRY_CFG_SYNC"},
            {47, "SRV_STATE_MASTER_STDBY_WAIT_ACTIVE_MODULE_UP"},
            {48, "SRV_STATE_MASTER_GSYNC_IN_PROGRESS"},
            {49, "SRV_STATE_MASTER_FAILED_STDBY"},
            {50, "SRV_STATE_MASTER_ACTIVE_FAILED_STDBY"},
            {51, "SRV_STATE_MASTER_ACTIVE_HOTSTDBY_WAIT_MSYNC"},
            {52, "SRV_STATE_CFGCTRL_WRITING"},
            {53, "SRV_STATE_CFGCTRL_WAIT_RESPONSES"},
            {54, "SRV_STATE_CFGCTRL_WAIT_LINUX_FILES"},
            {55, "SRV_STATE_CFGCTRL_WAIT_COMPRESS"},
            {56, "SRV_STATE_CFGCTRL_WAIT_SYNC"},
            {57, "SRV_STATE_CFGCTRL_CLEARING"},
            {58, "SRV_STATE_CFGCTRL_RESTORING"},
            {59, "SRV_STATE_CFGCTRL_SYNCING"},
            {60, "SRV_STATE_CFGCTRL_SNAPSHOT"},
            {61, "SRV_STATE_CFGCTRL_REMOTE_SYNC"},
            {62, "SRV_STATE_CFGCTRL_PARTIAL_WRITING"},
            {63, "SRV_STATE_CFGCTRL_DONE"},
            {64, "SRV_STATE_VERCTRL_STANDBY"},
            {65, "SRV_STATE_VERCTRL_ACTIVE"},
            {66, "SRV_STATE_GSYNCCTRL_STANDBY"},
            {67, "SRV_STATE_GSYNCCTRL_ACTIVE"},
            {68, "SRV_STATE_CLEANER_STANDBY"},
            {69, "SRV_STATE_CLEANER_ACTIVE"},
            {70, "SRV_STATE_MASTER_FAILED"},
            {71, "SRV_STATE_CFGCTRL_CONVERT_STARTUP"},
            {72, "SRV_STATE_MASTER_INIT_CONVERT_STARTUP"},
            {73, "SRV_STATE_MASTER_SWITCHING_OVER"},
            {74, "SRV_STATE_WAIT_ABORT"},
            {75, "SRV_STATE_WAIT_SPAWN_CONDITION"},
            {76, "SRV_STATE_HANDSHAKED_VERIFYING"},
            {77, "SRV_STATE_WAIT_DEPENDENT_CLEANUP"},
            {78, "SRV_STATE_CLEANING_UP"},
            {79, "SRV_STATE_UNDEFINED"},
            {80, "SRV_STATE_MASTER_TMP_OFFLINE"},
            {81, "SRV_STATE_MASTER_INIT_DELETE_BINARY_STARTUP"},
            {82, "SRV_STATE_CFGCTRL_DELETE_BINARY_STARTUP"},
            {83, "SRV_STATE_RTDBCTRL_SAVE_RUNTIME_DB"},
            {84, "SRV_STATE_WAIT_SAVE_RUNTIME_DB_RSP"},
            {85, "SRV_STATE_SAVE_RUNTIME_DB_DONE"},
            {86, "SRV_STATE_SAVE_RUNTIME_DB_FAILED"},
            {87, "SRV_STATE_RUNTIME_DB_CONVERSION_NOT_STARTED"},
            {88, "SRV_STATE_WAIT_RUNTIME_DB_CONVERSION"},
            {89, "SRV_STATE_RUNTIME_DB_CONVERSION_FAILED"},
            {90, "SRV_STATE_RUNTIME_DB_CONVERSION_DONE"},
            {91, "SRV_STATE_RTDBCTRL_RESTORE_RUNTIME_DB"},
            {92, "SRV_STATE_MASTER_INIT_RESTORE_RUNTIME_DB"},
            {93, "SRV_STATE_MASTER_COLDSTDBY_WAIT_RESTART"},
            {94, "SRV_STATE_CFGCTRL_INIT_STARTUPCFG"},
            {95, "SRV_STATE_MASTER_KILL_ALL_SRV"},
            {96, "SRV_STATE_RTDBCTRL_FS_UPGRADE_BEGIN"},
            {97, "SRV_STATE_WAIT_FS_UPGRADE_BEGIN_RSP"},
            {98, "SRV_STATE_FS_UPGRADE_BEGIN_DONE"},
            {99, "SRV_STATE_FS_UPGRADE_BEGIN_FAILED"},
            {100, "SRV_STATE_RTDBCTRL_FS_UPGRADE_ABORT"},
            {101, "SRV_STATE_WAIT_ND_UPGD_RECOVERY_RSP"},
            {102, "SRV_STATE_PARSER_WAIT_VDC_SRV_INFO"},
            {103, "SRV_STATE_RTDBCTRL_SYSTEM_UPG_BEGIN"},
            {104, "SRV_STATE_WAIT_SYSTEM_UPG_BEGIN_RSP"},
            {105, "SRV_STATE_SYSTEM_UPG_BEGIN_DONE"},
            {106, "SRV_STATE_SYSTEM_UPG_BEGIN_FAILED"},
            {107, "SRV_STATE_RTDBCTRL_SYSTEM_UPG_ABORT"},
            {108, "SRV_STATE_RTDBCTRL_LC_IMAGE_UPGRADE_BEGIN"},
            {109, "SRV_STATE_RTDBCTRL_LC_IMAGE_UPGRADE_RSP_WAIT"},
            {110, "SRV_STATE_RTDBCTRL_LC_IMAGE_UPGRADE_FAILED"},
            {111, "SRV_STATE_RTDBCTRL_LC_IMAGE_UPGRADE_DONE"},
            {112, "SRV_STATE_RTDBCTRL_LC_STOP_ASYNC_BEGIN"},
            {113, "SRV_STATE_RTDBCTRL_LC_STOP_ASYNC_RSP_WAIT"},
            {114, "SRV_STATE_RTDBCTRL_LC_STOP_ASYNC_FAILED"},
            {115, "SRV_STATE_RTDBCTRL_LC_STOP_ASYNC_DONE"},
            {116, "SRV_STATE_RTDBCTRL_LC_SAVE_RUNTIME_STATES_BEGIN"},
            {117, "SRV_STATE_RTDBCTRL_LC_SAVE_RUNTIME_STATES_RSP_WAIT"},
            {118, "SRV_STATE_RTDBCTRL_LC_SAVE_RUNTIME_STATES_FAILED"},
            {119, "SRV_STATE_RTDBCTRL_LC_SAVE_RUNTIME_STATES_DONE"},
            {120, "SRV_STATE_RTDBCTRL_LOCK_CONFIG_MODE"},
            {121, "SRV_STATE_RTDBCTRL_UNLOCK_CONFIG_MODE"},
            {122, "SRV_STATE_RTDBCTRL_PREUPGRADE_BEGIN"},
            {123, "SRV_STATE_RTDBCTRL_PREUPGRADE_BEGIN_ABORT"},
            {124, "SRV_STATE_WAIT_PREUPGRADE_BEGIN_RSP"},
            {125, "SRV_STATE_PREUPGRADE_BEGIN_FAILED"},
            {126, "SRV_STATE_PREUPGRADE_BEGIN_DONE"},
            {127, "SRV_STATE_RTDBCTRL_COLLECT_SHOW_TECH_HA_STANDBY"},
            {128, "SRV_STATE_PATCH_RESTART"},
            {129, "SRV_STATE_MASTER_STDBY_WAIT_PATCHDB_SYNC"},
            {130, "SRV_STATE_PATCHCTRL_SYNCING"},
            {131, "SRV_STATE_PATCHCTRL_REMOTE_SYNC"},
            {132, "SRV_STATE_RTDBCTRL_LC_START_ASYNC_BEGIN"},
            {133, "SRV_STATE_RTDBCTRL_LC_START_ASYNC_RSP_WAIT"},
            {134, "SRV_STATE_RTDBCTRL_LC_START_ASYNC_FAILED"},
            {135, "SRV_STATE_RTDBCTRL_LC_START_ASYNC_DONE"},
            {136, "SRV_STATE_NUM_STATES"},
            end_row,
        },
    .srv_state_property_t =
        {
            {0, "SRV_STPROP_DEFAULT"},
            {1, "SRV_STPROP_SYSMGR_STATE"},
            {2, "SRV_STPROP_DISALLOW_WRITE_MEM"},
            {4, "SRV_STPROP_NEEDS_SHUTDOWN"},
            {8, "SRV_STPROP_ALLOW_HB_CHECKS"},
            {16, "SRV_STPROP_NEEDS_GSYNC_STDBY"},
            {32, "SRV_STPROP_DELAY_SCOPE"},
            {64, "SRV_STPROP_DUAL_SUP_ACTIVE"},
            {128, "SRV_STPROP_STATEFUL_RECOVERY"},
            {256, "SRV_STPROP_DUAL_SUP"},
            {512, "SRV_STPROP_WAIT_SWOVER"},
            {1024, "SRV_STPROP_BUFFER_START_REQ"},
            {2048, "SRV_STPROP_UNSTABLE_STATE"},
            {4096, "SRV_STPROP_BOOT_UNSTABLE"},
            {8192, "SRV_STPROP_PARTICIPATE_SWOVER"},
            {16384, "SRV_STPROP_PARTICIPATE_ND_UPGD"},
            end_row,
        },
    .pss_key_type_enum_t =
        {
            {0, "PSS_KEY_SYSMGR_INFO"},
            {1, "PSS_KEY_SCOPE_TBL"},
            {2, "PSS_KEY_PARSER_INFO"},
            {3, "PSS_KEY_CFGCTRL_INFO"},
            {4, "PSS_KEY_RUN_INFO"},
            {5, "PSS_KEY_REMOTE_VERDB"},
            {6, "PSS_KEY_DEBUG_LOCAL"},
            {7, "PSS_KEY_DEBUG_SDWRAP"},
            {8, "PSS_KEY_START_CFG_ACQUIRED_LOCKS"},
            {9, "PSS_KEY_TAG_INFO"},
            {10, "PSS_KEY_VDC_INFO"},
            {11, "PSS_KEY_FSET_VDC_MAP"},
            {12, "PSS_KEY_COLLECT_TECH_SUPPORT"},
            {13, "PSS_KEY_COLLECT_TECH_SUPPORT_TIMEOUT"},
            {14, "PSS_KEY_FASTBOOT_TIMER"},
            {15, "PSS_NUM_KEYS"},
            end_row,
        },
    .srv_show_enum_t =
        {
            {0, "SHOW_ALL"},
            {1, "SHOW_RUNNING"},
            {2, "SHOW_NOT_RUNNING"},
            end_row,
        },
    .upgrade_state_t =
        {
            {0, "NO_UPGRADE"},
            {1, "UPGRADE_IN_PROGRESS"},
            {2, "DOWNGRADE_IN_PROGRESS"},
            end_row,
        },
    .srv_start_mode_t =
        {
            {0, "NORMAL_MODE"},
            {1, "CONV_AND_EXIT"},
            {2, "CONV_AND_CONT"},
            {3, "NO_SYSMGR_MODE"},
            end_row,
        },
    .sysmgr_super_state_t =
        {
            {0, "SYSMGR_SUPERSTATE_BOOT"},
            {1, "SYSMGR_SUPERSTATE_UNSTABLE"},
            {2, "SYSMGR_SUPERSTATE_STABLE"},
            end_row,
        },
    .pss_shrink_req_status_t =
        {
            {0, "PSS_SHRINK_REQ_NOT_SENT"},
            {1, "PSS_SHRINK_REQ_SENT_RSP_SUCCESS"},
            {2, "PSS_SHRINK_REQ_SENT_NOOP"},
            {3, "PSS_SHRINK_REQ_SENT_DEFAULTCB_NOOP"},
            {4, "PSS_SHRINK_REQ_SENT_TIMEOUT_FAILURE"},
            {5, "PSS_SHRINK_REQ_SENT_OTHER_FAILURE"},
            {6, "PSS_SHRINK_REQ_SENT_WAIT_RESPONSE"},
            end_row,
        },
    .pss_shrink_state_t =
        {
            {0, "PSS_SHRINK_NOT_STARTED"},
            {1, "PSS_SHRINK_IN_PROGRESS"},
            end_row,
        },
    .card_bootup_mode_t =
        {
            {0, "CARD_BOOTUP_MODE_NORMAL"},
            {1, "CARD_BOOTUP_MODE_ND_UPGD"},
            {2, "CARD_BOOTUP_MODE_FS_UPG_SUP"},
            {3, "CARD_BOOTUP_MODE_NUM_MODES"},
            end_row,
        },
    .sysmgr_card_type_t =
        {
            {0, "SYSMGR_CARD_TYPE_SUPERVISOR"},
            {1, "SYSMGR_CARD_TYPE_LINE_CARD"},
            end_row,
        },
    .sysmgr_plugin_operation_t =
        {
            {0, "SYSMGR_PLUGIN_OPER_REGISTER"},
            {1, "SYSMGR_PLUGIN_OPER_DEREGISTER"},
            {2, "SYSMGR_PLUGIN_OPER_START"},
            {3, "SYSMGR_PLUGIN_OPER_START_DONE"},
            {4, "SYSMGR_PLUGIN_OPER_STOP"},
            {5, "SYSMGR_PLUGIN_OPER_ABORT_STOP"},
            {6, "SYSMGR_PLUGIN_OPER_REMOVED"},
            {7, "SYSMGR_PLUGIN_OPER_PSEUDO_START"},
            {8, "SYSMGR_PLUGIN_OPER_FTSET_INSTALL"},
            {9, "SYSMGR_PLUGIN_OPER_FTSET_ENABLE"},
            {10, "SYSMGR_PLUGIN_OPER_FTSET_DISABLE"},
            {11, "SYSMGR_PLUGIN_OPER_FTSET_UNINSTALL"},
            end_row,
        },
    .srv_feature_type_t =
        {
            {0, "SRV_OPTION_FEATURE_TYPE_NONE"},
            {1, "SRV_OPTION_FEATURE_TYPE_FCOE"},
            {2, "SRV_OPTION_FEATURE_TYPE_L2MP"},
            {3, "SRV_OPTION_FEATURE_TYPE_MAX"},
            end_row,
        },
    .sysmgr_start_seq_type_t =
        {
            {0, "SEQUENCE_TYPE_ERROR"},
            {1, "SEQUENCE_TYPE_START"},
            {2, "SEQUENCE_TYPE_PSEUDO_START"},
            end_row,
        },
    .sysmgr_plugin_req_type_t =
        {
            {0, "PLUGIN_ENABLE_REQ"},
            {1, "PLUGIN_INSTALL_REQ"},
            {2, "PLUGIN_DISABLE_REQ"},
            {3, "PLUGIN_UNINSTALL_REQ"},
            end_row,
        },
    .fset_op_type_t =
        {
            {0, "FSET_OP_INSTALL"},
            {1, "FSET_OP_ENABLE"},
            {2, "FSET_OP_DISABLE"},
            {3, "FSET_OP_UNINSTALL"},
            end_row,
        },
};

constexpr bool is_end(const Row &row) {
    return row.name[0] == '\0';
}

// Value to name. Value 0 is always row 0, so it is answered without a look;
// every other value is searched from row 1 up to the end row, which never
// matches although its value is 0.
constexpr const char *find(const Row *table, int32_t value) {
    if (value == 0) {
        return table[0].name;
    }
    for (const Row *row = table + 1; !is_end(*row); ++row) {
        if (row->value == value) {
            return row->name;
        }
    }
    return nullptr;
}

// Name to value: the first row whose whole name equals `name` ignoring case,
// or 0. Row 0 is compared before the end test, every later row after it.
int32_t str2enum(const Row *table, const char *name) {
    for (const Row *row = table;; ++row) {
        if (row != table && is_end(*row)) {
            return 0;
        }
        if (strcasecmp(row->name, name) == 0) {
            return row->value;
        }
    }
}

// ---- Compile-time checks ---------------------------------------------------

constexpr bool same_text(const char *a, const char *b) {
    for (; *a != '\0' && *a == *b; ++a, ++b) {
    }
    return *a == *b;
}

constexpr char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr bool same_text_ignoring_case(const char *a, const char *b) {
    for (; *a != '\0' && lower(*a) == lower(*b); ++a, ++b) {
    }
    return lower(*a) == lower(*b);
}

// Row 0 has value 0; every row before the last has a name of upper-case
// letters, digits and underscores; the last row is the end row; no two rows
// share a value or a name that differs only in case.
template <std::size_t Size>
constexpr bool well_formed(const Row (&table)[Size]) {
    if (table[0].value != 0 || table[Size - 1].name == nullptr || !is_end(table[Size - 1]) ||
        table[Size - 1].value != 0) {
        return false;
    }
    for (std::size_t i = 0; i + 1 < Size; ++i) {
        const char *name = table[i].name;
        if (name == nullptr || is_end(table[i])) {
            return false;
        }
        for (const char *c = name; *c != '\0'; ++c) {
            if (!((*c >= 'A' && *c <= 'Z') || (*c >= '0' && *c <= '9') || *c == '_')) {
                return false;
            }
        }
        for (std::size_t j = 0; j < i; ++j) {
            if (table[j].value == table[i].value || same_text_ignoring_case(table[j].name, name)) {
                return false;
            }
        }
    }
    return true;
}

#define SYSMGRCLI_CHECK_TABLE(E) static_assert(well_formed(tables.E), #E " is malformed");
SYSMGRCLI_ENUMERATIONS(SYSMGRCLI_CHECK_TABLE)
#undef SYSMGRCLI_CHECK_TABLE

// The list names every member of Tables once, in the members' order: the
// offsets rise, and the members' sizes add up to the whole.
#define SYSMGRCLI_MEMBER(E) {offsetof(Tables, E), sizeof(Tables::E)},
constexpr struct {
    std::size_t offset, size;
} members[] = {SYSMGRCLI_ENUMERATIONS(SYSMGRCLI_MEMBER)};
#undef SYSMGRCLI_MEMBER

constexpr bool list_matches_tables() {
    std::size_t end = 0;
    for (const auto &member : members) {
        if (member.offset != end) {
            return false;
        }
        end += member.size;
    }
    return end == sizeof(Tables);
}
static_assert(std::size(members) == 42);
static_assert(list_matches_tables(), "SYSMGRCLI_ENUMERATIONS and Tables disagree");

// The values every report uses are those of the tables.
constexpr bool holds(const Row *table, const char *name, int64_t value) {
    for (const Row *row = table; row == table || !is_end(*row); ++row) {
        if (same_text(row->name, name)) {
            return row->value == value;
        }
    }
    return false;
}

static_assert(holds(tables.srv_state_t, "SRV_STATE_MASTER_COLDSTDBY",
                    value(SrvState::master_coldstdby)));
static_assert(holds(tables.srv_state_t, "SRV_STATE_MASTER_HOTSTDBY",
                    value(SrvState::master_hotstdby)));
static_assert(holds(tables.srv_state_t, "SRV_STATE_MASTER_STDBY_WAIT_VERSION",
                    value(SrvState::master_stdby_wait_version)));
static_assert(holds(tables.srv_state_t, "SRV_STATE_MASTER_HOTSTDBY_WAIT_RECOVERY",
                    value(SrvState::master_hotstdby_wait_recovery)));
static_assert(holds(tables.srv_state_t, "SRV_STATE_MASTER_ACTIVE_ALONE",
                    value(SrvState::master_active_alone)));
static_assert(holds(tables.srv_state_t, "SRV_STATE_MASTER_ACTIVE_HOTSTDBY",
                    value(SrvState::master_active_hotstdby)));
static_assert(holds(tables.srv_state_t, "SRV_STATE_MASTER_ACTIVE_COLDSTDBY",
                    value(SrvState::master_active_coldstdby)));
static_assert(holds(tables.srv_state_t, "SRV_STATE_MASTER_SHUTTING_DOWN",
                    value(SrvState::master_shutting_down)));
static_assert(holds(tables.srv_state_t, "SRV_STATE_MASTER_WAIT_COLD_SWOVER",
                    value(SrvState::master_wait_cold_swover)));
static_assert(holds(tables.srv_state_t, "SRV_STATE_MASTER_WAIT_HOT_SWOVER",
                    value(SrvState::master_wait_hot_swover)));
static_assert(holds(tables.srv_state_t, "SRV_STATE_MASTER_OFFLINE",
                    value(SrvState::master_offline)));
static_assert(holds(tables.srv_state_t, "SRV_STATE_MASTER_GSYNC_IN_PROGRESS",
                    value(SrvState::master_gsync_in_progress)));
static_assert(holds(tables.srv_state_t, "SRV_STATE_MASTER_FAILED_STDBY",
                    value(SrvState::master_failed_stdby)));
static_assert(holds(tables.srv_state_t, "SRV_STATE_MASTER_ACTIVE_FAILED_STDBY",
                    value(SrvState::master_active_failed_stdby)));
static_assert(holds(tables.srv_state_t, "SRV_STATE_MASTER_ACTIVE_HOTSTDBY_WAIT_MSYNC",
                    value(SrvState::master_active_hotstdby_wait_msync)));
static_assert(holds(tables.srv_state_t, "SRV_STATE_MASTER_COLDSTDBY_WAIT_RESTART",
                    value(SrvState::master_coldstdby_wait_restart)));
static_assert(holds(tables.rdn_sup_status_t, "RDN_ST_NP", value(RdnSupStatus::np)));
static_assert(holds(tables.rdn_sup_status_t, "RDN_ST_INIT", value(RdnSupStatus::init)));
static_assert(holds(tables.rdn_sup_status_t, "RDN_ST_AC", value(RdnSupStatus::ac)));
static_assert(holds(tables.rdn_sup_status_t, "RDN_ST_SB", value(RdnSupStatus::sb)));
static_assert(holds(tables.rdn_sup_status_t, "RDN_ST_BIOS", value(RdnSupStatus::bios)));
static_assert(holds(tables.rdn_sup_status_t, "RDN_ST_OF", value(RdnSupStatus::of)));
static_assert(holds(tables.rdn_sup_status_t, "RDN_ST_FL", value(RdnSupStatus::fl)));
static_assert(holds(tables.rdn_sup_status_t, "RDN_ST_AC_NOSC", value(RdnSupStatus::ac_nosc)));
static_assert(holds(tables.sysmgr_redundancy_mode_t, "SYSMGR_REDUN_MODE_HA",
                    value(RedundancyMode::ha)));
static_assert(holds(tables.sysmgr_redundancy_mode_t, "SYSMGR_REDUN_MODE_WARM",
                    value(RedundancyMode::warm)));
static_assert(holds(tables.sysmgr_redundancy_mode_t, "SYSMGR_REDUN_MODE_NONE",
                    value(RedundancyMode::none)));

} // namespace
} // namespace sysmgrcli

// ---- Exported lookups ------------------------------------------------------

extern "C" {

#define SYSMGRCLI_DEFINE_ENUM_LOOKUPS(E)                                                           \
    const char *__##E##_find(int32_t value) {                                                      \
        return sysmgrcli::find(sysmgrcli::tables.E, value);                                        \
    }                                                                                              \
    int32_t __##E##_str2enum(const char *name) {                                                   \
        return sysmgrcli::str2enum(sysmgrcli::tables.E, name);                                     \
    }
SYSMGRCLI_ENUMERATIONS(SYSMGRCLI_DEFINE_ENUM_LOOKUPS)
#undef SYSMGRCLI_DEFINE_ENUM_LOOKUPS

} // extern "C"
