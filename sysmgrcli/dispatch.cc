// SPDX-License-Identifier: MIT
// The show-command entry point: command 1 (redundancy status, then the system
// uptime report) and command 107 (version report).
#include <cstdint>
#include <cstdio>

#include "enums/sysmgr_states.h"
#include "host_io.h"
#include "platform/cli.h"
#include "platform/mts.h"
#include "platform/records.h"
#include "plumbing.h"
#include "redundancy.h"
#include "root_path.h"
#include "sysmgrcli/sysmgrcli.h"
#include "uptime.h"

namespace sysmgrcli {

namespace {

constexpr int32_t kCmdRedundancy = 1;
constexpr int32_t kCmdVersion = 107;

/* The "line" each command's failed-send message names: fixed, not this file's lines. */
constexpr int kRedundancySendLine = 948;
constexpr int kVersionSendLine = 1387;

/* Internal states in which this supervisor has a partner worth asking. */
constexpr SrvState kPeerStates[] = {
    SrvState::master_coldstdby,           SrvState::master_hotstdby,
    SrvState::master_active_hotstdby,     SrvState::master_active_coldstdby,
    SrvState::master_gsync_in_progress,   SrvState::master_failed_stdby,
    SrvState::master_active_failed_stdby, SrvState::master_active_hotstdby_wait_msync,
};

bool is_peer_state(uint32_t state) {
    for (SrvState s : kPeerStates) {
        if (value(s) == state)
            return true;
    }
    return false;
}

void send_output(void *rx, const char *op, int line) {
    const int rc = cmd_prt_send(rx);
    if (rc != 0)
        say(stdout, "%s: cmd_prt_send() returned %d on line %d\n", op, rc, line);
}

/*
 * Asks the other supervisor for its redundancy status and prints the
 * redundancy block with its answer, or without one when it gives none.
 */
void print_with_peer(const cli_context_t *context, void *rx, const sysmgr_rdn_status_rsp_t &local,
                     const char *op) {
    void *data = nullptr;
    uint32_t length = 0;
    // The back end's own queue field, as it is: this request needs no queue
    // of the library's.
    const int32_t rc = cmi_remote_req_resp(
        kOpcodeRedundancyStatus, kCmiArg2, kCmiArg3, &data, &length, context->cmi_text1,
        context->cmi_text2, SYSMGR_CMI_SERVICE, local.peer_node, context->mts_q, kCmiLastArg);
    // A failed request may leave anything behind: dropped, never freed.
    const CmiResponse response(rc == 0 ? data : nullptr, length);
    sysmgr_rdn_status_rsp_t peer;
    const bool answered = rc == 0 && read_rdn_status(response, op, &peer);
    print_show_redundancy_status_pd(&local, answered ? &peer : nullptr, 1, rx);
}

void sysmgr_cli_show_redundancy_status(const cli_context_t *context, void *rx) {
    static constexpr const char *kOp = "sysmgr_cli_show_redundancy_status";
    sysmgr_rdn_status_rsp_t local;
    if (!ask_local_redundancy_status(context, kOp, &local))
        return; // no usable answer: nothing printed or sent

    if (local.status != 0)
        say(stderr, "%s: the master System Manager returned a failure (%s).\n", kOp,
            syserr_text(static_cast<int32_t>(local.status)));
    else if (is_peer_state(local.internal_state))
        print_with_peer(context, rx, local, kOp);
    else
        print_show_redundancy_status_pd(&local, nullptr, 0, rx);
    uptime_report(context, rx);
    send_output(rx, kOp, kRedundancySendLine);
}

void sysmgr_cli_show_version(const cli_context_t *context, void *rx) {
    sysmgr_show_version_internal_generic_pd(context, rx, 1);
    send_output(rx, "sysmgr_cli_show_version", kVersionSendLine);
}

} // namespace

} // namespace sysmgrcli

extern "C" int32_t sysmgr_cli_generic_show_func(struct cli_context *context) {
    const sysmgrcli::CallRoot root; // the root is read once for the whole command
    void *rx = cmd_paraminfo_to_rxhandle(context);
    if (rx == nullptr) {
        sysmgrcli::say(stdout, "receive handler NULL \n");
        return 0;
    }
    const int32_t cmd = cmd_req_cmdId_getnext(rx);
    if (cmd == sysmgrcli::kCmdRedundancy)
        sysmgrcli::sysmgr_cli_show_redundancy_status(context, rx);
    else if (cmd == sysmgrcli::kCmdVersion)
        sysmgrcli::sysmgr_cli_show_version(context, rx);
    else
        sysmgrcli::say(stdout, "Invalid cmdID %d\n", cmd);
    return 0;
}
