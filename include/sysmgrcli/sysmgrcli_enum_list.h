/*
 * SPDX-License-Identifier: MIT
 * The System Manager enumerations that have a name table, in the order in
 * which their tables lie in the library. SYSMGRCLI_ENUMERATIONS(X) expands
 * X(name) once per enumeration, with no separator, so that the lookups'
 * declarations, their definitions and their tests all follow one list.
 */
#ifndef SYSMGRCLI_SYSMGRCLI_ENUM_LIST_H
#define SYSMGRCLI_SYSMGRCLI_ENUM_LIST_H

#define SYSMGRCLI_ENUMERATIONS(X)                                                                  \
    X(sysmgr_cardstate_t)                                                                          \
    X(sysmgr_exitcode_t)                                                                           \
    X(sysmgr_srv_death_reason_t)                                                                   \
    X(sysmgr_notification_t)                                                                       \
    X(sysmgr_hap_t)                                                                                \
    X(sysdir_enum_t)                                                                               \
    X(sysmgr_swover_reason_t)                                                                      \
    X(sysmgr_redundancy_mode_t)                                                                    \
    X(sysmgr_srv_start_reason_t)                                                                   \
    X(sysmgr_gsync_status_t)                                                                       \
    X(sysmgr_srv_type_t)                                                                           \
    X(sysmgr_srv_node_t)                                                                           \
    X(sysmgr_vdc_policy_t)                                                                         \
    X(sysmgr_vdc_srv_type_t)                                                                       \
    X(sysmgr_vdc_delete_reason_t)                                                                  \
    X(sysmgr_plugin_stop_type_t)                                                                   \
    X(sysmgr_ft_set_op_type_t)                                                                     \
    X(sysmgr_vdc_delete_type_t)                                                                    \
    X(sysmgr_vdc_oper_t)                                                                           \
    X(rdn_sup_status_t)                                                                            \
    X(rdn_drv_state_t)                                                                             \
    X(rdn_event_t)                                                                                 \
    X(parsed_string_enum_t)                                                                        \
    X(parsed_number_enum_t)                                                                        \
    X(parsed_option_enum_t)                                                                        \
    X(srv_options_t)                                                                               \
    X(srv_state_t)                                                                                 \
    X(srv_state_property_t)                                                                        \
    X(pss_key_type_enum_t)                                                                         \
    X(srv_show_enum_t)                                                                             \
    X(upgrade_state_t)                                                                             \
    X(srv_start_mode_t)                                                                            \
    X(sysmgr_super_state_t)                                                                        \
    X(pss_shrink_req_status_t)                                                                     \
    X(pss_shrink_state_t)                                                                          \
    X(card_bootup_mode_t)                                                                          \
    X(sysmgr_card_type_t)                                                                          \
    X(sysmgr_plugin_operation_t)                                                                   \
    X(srv_feature_type_t)                                                                          \
    X(sysmgr_start_seq_type_t)                                                                     \
    X(sysmgr_plugin_req_type_t)                                                                    \
    X(fset_op_type_t)

#endif
