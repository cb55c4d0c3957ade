/* SPDX-License-Identifier: MIT */
/* The system uptime report and the kernel's own uptime. Internal. */
#ifndef SYSMGRCLI_UPTIME_H
#define SYSMGRCLI_UPTIME_H

#include <cstdint>

#include "platform/cli.h"

namespace sysmgrcli {

/*
 * System start time and the system, kernel and active-supervisor uptimes,
 * into rx. Failed exchanges count as zeros and every line is still printed.
 */
void uptime_report(const cli_context_t *context, void *rx);

/*
 * The whole seconds that "/proc/uptime" starts with. False when the file
 * does not open, or does not start with an integer from 0 to 2^31 - 1.
 */
bool read_kernel_uptime(uint32_t *seconds);

} // namespace sysmgrcli

#endif
