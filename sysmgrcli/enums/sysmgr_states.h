/*
 * SPDX-License-Identifier: MIT
 * Values of the System Manager enumerations that the reports use. They are
 * checked against the name tables at compile time (enums/tables.cc), so a
 * report never carries a bare number.
 */
#ifndef SYSMGRCLI_ENUMS_SYSMGR_STATES_H
#define SYSMGRCLI_ENUMS_SYSMGR_STATES_H

#include <cstdint>

namespace sysmgrcli {

/* srv_state_t: the supervisor's master state. */
enum class SrvState : uint32_t {
    master_coldstdby = 30,
    master_hotstdby = 31,
    master_stdby_wait_version = 32,
    master_hotstdby_wait_recovery = 33,
    master_active_alone = 34,
    master_active_hotstdby = 35,
    master_active_coldstdby = 36,
    master_shutting_down = 37,
    master_wait_cold_swover = 38,
    master_wait_hot_swover = 39,
    master_offline = 40,
    master_gsync_in_progress = 48,
    master_failed_stdby = 49,
    master_active_failed_stdby = 50,
    master_active_hotstdby_wait_msync = 51,
    master_coldstdby_wait_restart = 93,
};

/* rdn_sup_status_t: a supervisor's redundancy status. */
enum class RdnSupStatus : uint32_t {
    np = 0,
    init = 1,
    ac = 2,
    sb = 3,
    bios = 4,
    of = 5,
    fl = 6,
    ac_nosc = 7,
};

/* sysmgr_redundancy_mode_t. */
enum class RedundancyMode : int32_t {
    ha = 0,
    warm = 1,
    none = 2,
};

constexpr uint32_t value(SrvState s) { return static_cast<uint32_t>(s); }
constexpr uint32_t value(RdnSupStatus s) { return static_cast<uint32_t>(s); }
constexpr int32_t value(RedundancyMode m) { return static_cast<int32_t>(m); }

} // namespace sysmgrcli

#endif
