// SPDX-License-Identifier: MIT
// Redundancy state names, the redundancy status report and the active-state
// summary.
#include "redundancy.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "enums/sysmgr_states.h"
#include "host_io.h"
#include "platform/cli.h"
#include "platform/records.h"
#include "platform/services.h"
#include "print.h"
#include "tags.h"

namespace sysmgrcli {

namespace {

constexpr const char *kHaSyncInProgress = "HA synchronization in progress";
constexpr const char *kOther = "Other";
constexpr const char *kUnknown = "Unknown";

struct InternalStateText {
    SrvState state;
    const char *text;
};

/* Texts of the master states; state 31 depends on the HA flags as well. */
constexpr InternalStateText kInternalStateTexts[] = {
    {SrvState::master_coldstdby, "Warm standby"},
    {SrvState::master_active_alone, "Active with no standby"},
    {SrvState::master_active_hotstdby, "Active with HA standby"},
    {SrvState::master_active_coldstdby, "Active with warm standby"},
    {SrvState::master_shutting_down, "Shutting down"},
    {SrvState::master_wait_hot_swover, "HA switchover in progress"},
    {SrvState::master_offline, "Offline"},
    {SrvState::master_gsync_in_progress, kHaSyncInProgress},
    {SrvState::master_failed_stdby, "Standby (failed)"},
    {SrvState::master_active_failed_stdby, "Active with failed standby"},
    {SrvState::master_coldstdby_wait_restart, "Warm switchover in progress"},
};

/* Supervisor state texts, codes 1 to 4. */
constexpr const char *kSupStateTexts[] = {"Active", "HA standby", "Warm standby", "Offline"};

/* Redundancy status texts, indexed by rdn_sup_status_t. */
constexpr const char *kRdnStatusTexts[] = {
    "N/A",     "Initializing", "Active", "Standby",
    "At BIOS", "Offline",      "Failed", "Active, SC not present",
};
static_assert(std::size(kRdnStatusTexts) == value(RdnSupStatus::ac_nosc) + 1,
              "one text per redundancy status");

/* Module types of the cards that carry a single supervisor. */
constexpr std::array<uint16_t, 35> kSingleSupModuleTypes = {
    73,  87,  88,  90,  91,  92,  93,  94,  95,  96,  97,  98,  100, 102, 106, 107, 108, 109,
    110, 111, 112, 113, 114, 115, 124, 125, 126, 127, 128, 129, 130, 135, 140, 141, 148,
};
static_assert(std::is_sorted(kSingleSupModuleTypes.begin(), kSingleSupModuleTypes.end()),
              "binary search needs the module types in order");

/* card_kind of a card that is single-supervisor whatever its module type. */
constexpr uint8_t kSingleSupCardKind = 5;
/* admin_mode of the HA administrative mode; every other value is Warm. */
constexpr uint32_t kAdminModeHa = 1;

namespace tag = tags::redundancy;

const char *internal_state_text(uint32_t state, int32_t local_ha_synced, int32_t peer_ha_synced) {
    if (state == value(SrvState::master_hotstdby))
        return local_ha_synced != 0 && peer_ha_synced != 0 ? "HA standby" : kHaSyncInProgress;
    for (const InternalStateText &entry : kInternalStateTexts) {
        if (value(entry.state) == state)
            return entry.text;
    }
    return kOther;
}

const char *redundancy_mode_text(int32_t mode) {
    if (mode == value(RedundancyMode::ha))
        return "HA";
    if (mode == value(RedundancyMode::warm))
        return "Warm";
    return "None";
}

const char *sup_state_text(uint32_t state) {
    const bool known = state >= 1 && state <= std::size(kSupStateTexts);
    return known ? kSupStateTexts[state - 1] : kUnknown;
}

const char *rdn_status_text(uint32_t status) {
    return status < std::size(kRdnStatusTexts) ? kRdnStatusTexts[status] : kUnknown;
}

/*
 * One line of the report: the label right-aligned in 20 columns, ":\t", the
 * tagged value, then end. Returns the last print's result.
 */
int print_labelled_line(void *rx, const char *label, uint32_t tag, const char *text,
                        const char *end) {
    cmd_dprt(rx, "%20s:\t", label);
    print_text_value(rx, tag, text);
    return cmd_prt(rx, end);
}

} // namespace

bool read_rdn_status(const CmiResponse &response, const char *op, sysmgr_rdn_status_rsp_t *out) {
    if (response.length() < sizeof *out) {
        say(stderr, "%s: short redundancy status response (%u bytes, expected %zu).\n", op,
            response.length(), sizeof *out);
        return false;
    }
    std::memcpy(out, response.data(), sizeof *out);
    return true;
}

bool ask_local_redundancy_status(const cli_context_t *context, const char *op,
                                 sysmgr_rdn_status_rsp_t *out) {
    void *data = nullptr;
    uint32_t length = 0;
    const int32_t rc = cmi_wrapper(kOpcodeRedundancyStatus, kCmiArg2, kCmiArg3, &data, &length,
                                   context, kCmiLastArg);
    if (rc != 0) {
        say(stderr, "%s: CMI returned a failure: %s (error-id 0x%08X).\n", op, error_str(rc),
            error_id(rc));
        return false;
    }
    const CmiResponse response(data, length);
    return read_rdn_status(response, op, out);
}

} // namespace sysmgrcli

using namespace sysmgrcli;

extern "C" {

int print_sysmgr_internal_state_t(uint32_t state, void *rx, uint32_t tag, int32_t local_ha_synced,
                                  int32_t peer_ha_synced) {
    return print_text_value(rx, tag, internal_state_text(state, local_ha_synced, peer_ha_synced));
}

int print_sysmgr_supstate_t(uint32_t state, void *rx, uint32_t tag) {
    return print_text_value(rx, tag, sup_state_text(state));
}

int print_rdn_sup_status_t(uint32_t status, void *rx, uint32_t tag) {
    return print_text_value(rx, tag, rdn_status_text(status));
}

int32_t get_operational_red_mode(uint32_t local_state, uint32_t peer_state, int32_t local_ha_synced,
                                 int32_t peer_ha_synced) {
    const auto pair_of = [&](SrvState a, SrvState b) {
        return (local_state == value(a) && peer_state == value(b)) ||
               (local_state == value(b) && peer_state == value(a));
    };
    if (pair_of(SrvState::master_active_hotstdby, SrvState::master_hotstdby)) {
        const bool synced = local_ha_synced != 0 && peer_ha_synced != 0;
        return value(synced ? RedundancyMode::ha : RedundancyMode::warm);
    }
    if (pair_of(SrvState::master_active_coldstdby, SrvState::master_coldstdby))
        return value(RedundancyMode::warm);
    return value(RedundancyMode::none);
}

int32_t libsysmgrcli_pd_is_card_single_sup(void *record) {
    if (get_card_module_info(record) != 0)
        return 0;
    // Only the two fields the rule needs are read from the caller's storage.
    const auto *bytes = static_cast<const unsigned char *>(record);
    uint16_t module_type;
    std::memcpy(&module_type, bytes + offsetof(card_module_info_t, module_type),
                sizeof module_type);
    if (bytes[offsetof(card_module_info_t, card_kind)] == kSingleSupCardKind)
        return 1;
    return std::binary_search(kSingleSupModuleTypes.begin(), kSingleSupModuleTypes.end(),
                              module_type)
               ? 1
               : 0;
}

int print_show_redundancy_status_pd(const sysmgr_rdn_status_rsp_t *local,
                                    const sysmgr_rdn_status_rsp_t *peer, int32_t peer_queried,
                                    void *rx) {
    card_module_info_t card{};
    if (libsysmgrcli_pd_is_card_single_sup(&card) == 1)
        return cmd_prt(rx, "Redundancy information not available for this platform\n");

    cmd_prt(rx, "Redundancy mode\n");
    cmd_prt(rx, "---------------\n");
    print_labelled_line(rx, "administrative", tag::administrative_redundancy_mode,
                        local->admin_mode == kAdminModeHa ? "HA" : "Warm", "\n");
    const int32_t mode = peer == nullptr
                             ? value(RedundancyMode::none)
                             : get_operational_red_mode(local->internal_state, peer->internal_state,
                                                        static_cast<int32_t>(local->ha_synced),
                                                        static_cast<int32_t>(peer->ha_synced));
    print_labelled_line(rx, "operational", tag::operational_redundancy_mode,
                        redundancy_mode_text(mode), "\n\n");

    // Left zeroed, the record still reads sensibly if the platform fills nothing.
    platform_slot_info_t slots{};
    get_platform_info(&slots);

    cmd_prt(rx, "This supervisor ");
    if (slots.cmp_a == slots.cmp_b)
        print_text_value(rx, tag::this_supervisor_name, "(sup-1)");
    else
        print_formatted_value(rx, tag::this_supervisor_name, "(sup-%d)", slots.this_sup);
    cmd_prt(rx, "\n");
    cmd_prt(rx, "----------------");
    cmd_prt(rx, "-------\n");
    const int32_t local_flag = static_cast<int32_t>(local->ha_synced);
    const int32_t peer_flag = peer != nullptr ? static_cast<int32_t>(peer->ha_synced) : 0;
    print_labelled_line(rx, "Redundancy state", tag::this_supervisor_redundancy_state,
                        rdn_status_text(local->rdn_state), "\n");
    print_labelled_line(rx, "Supervisor state", tag::this_supervisor_state,
                        sup_state_text(local->sup_state), "\n");
    print_labelled_line(rx, "Internal state", tag::this_supervisor_internal_state,
                        internal_state_text(local->internal_state, local_flag, peer_flag), "\n\n");

    cmd_prt(rx, "Other supervisor ");
    print_formatted_value(rx, tag::other_supervisor_name, "(sup-%d)", slots.other_sup);
    cmd_prt(rx, "\n");
    cmd_prt(rx, "-----------------");
    cmd_prt(rx, "-------\n");
    // Its redundancy state as this supervisor sees it; its other two states
    // come from its own answer.
    print_labelled_line(rx, "Redundancy state", tag::other_supervisor_redundancy_state,
                        rdn_status_text(local->peer_rdn_state), "\n\n");

    // Not asked: "N/A" for both states. Asked but no answer: an error line.
    const bool asked = peer_queried != 0;
    if (asked && peer == nullptr)
        return cmd_prt(rx,
                       "\nError in getting supervisor and internal state of other supervisor.\n");
    print_labelled_line(rx, "Supervisor state", tag::other_supervisor_state,
                        asked ? sup_state_text(peer->sup_state) : "N/A", "\n");
    return print_labelled_line(
        rx, "Internal state", tag::other_supervisor_internal_state,
        asked ? internal_state_text(peer->internal_state, local_flag, peer_flag) : "N/A", "\n");
}

int32_t sysmgr_show_redundancy_active_state(void *rx, const struct cli_context *context,
                                            uint32_t tag) {
    sysmgr_rdn_status_rsp_t status;
    if (!ask_local_redundancy_status(context, "sysmgr_show_redundancy_active_state", &status) ||
        status.status != 0)
        return 0;

    // Only the active states have a summary text; the standby ones read "Other".
    constexpr SrvState kActiveStates[] = {
        SrvState::master_active_alone, SrvState::master_active_hotstdby,
        SrvState::master_active_coldstdby, SrvState::master_active_failed_stdby};
    const bool active = std::any_of(std::begin(kActiveStates), std::end(kActiveStates),
                                    [&](SrvState s) { return value(s) == status.internal_state; });
    cmd_prt(rx, "Redundancy state: ");
    print_text_value(rx, tag, active ? internal_state_text(status.internal_state, 0, 0) : kOther);
    return cmd_prt(rx, "\n");
}

} // extern "C"
