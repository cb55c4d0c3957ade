/*
 * SPDX-License-Identifier: MIT
 * Asking for a redundancy status response (request 0x9C3) and reading it
 * safely. Internal.
 */
#ifndef SYSMGRCLI_REDUNDANCY_H
#define SYSMGRCLI_REDUNDANCY_H

#include "plumbing.h"
#include "sysmgrcli/sysmgrcli.h"

namespace sysmgrcli {

/* Request arguments shared by every redundancy status request. */
constexpr uint32_t kOpcodeRedundancyStatus = 0x9C3;
constexpr int32_t kCmiArg2 = 1;
constexpr int32_t kCmiArg3 = 0;
constexpr int32_t kCmiLastArg = 5;

/*
 * Copies the eight words of a redundancy status response into *out. A
 * response that holds fewer (or no block at all) is not read: false, with
 * "<op>: short redundancy status response (N bytes, expected 32).\n" on the
 * standard error stream.
 */
bool read_rdn_status(const CmiResponse &response, const char *op, sysmgr_rdn_status_rsp_t *out);

/*
 * Asks the local System Manager for its redundancy status (request 0x9C3
 * through cmi_wrapper) and copies the answer into *out. A failed request
 * gives false with "<op>: CMI returned a failure: <text> (error-id 0x...).\n"
 * on the standard error stream; a short answer gives false as
 * read_rdn_status() does.
 */
bool ask_local_redundancy_status(const cli_context_t *context, const char *op,
                                 sysmgr_rdn_status_rsp_t *out);

} // namespace sysmgrcli

#endif
