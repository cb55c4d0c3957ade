/* SPDX-License-Identifier: MIT */
/* The kernel's own uptime, as "/proc/uptime" gives it. Internal. */
#ifndef SYSMGRCLI_UPTIME_H
#define SYSMGRCLI_UPTIME_H

#include <cstdint>

namespace sysmgrcli {

/*
 * The whole seconds that "/proc/uptime" starts with. False when the file
 * does not open, or does not start with an integer from 0 to 2^31 - 1.
 */
bool read_kernel_uptime(uint32_t *seconds);

} // namespace sysmgrcli

#endif
