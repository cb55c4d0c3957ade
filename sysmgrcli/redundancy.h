/*
 * Reading a redundancy status response (request 0x9C3) safely. Internal.
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

} // namespace sysmgrcli

#endif
