/*
 * SPDX-License-Identifier: MIT
 * The two printers that close a version report: the kernel's uptime and the
 * supervisor's last reset. Internal.
 */
#ifndef SYSMGRCLI_RESET_H
#define SYSMGRCLI_RESET_H

#include <cstdint>

namespace sysmgrcli {

/*
 * "Kernel uptime is N day(s), ... second(s)\n" from "/proc/uptime"; only
 * "\n" when the file gives no uptime. generic_report nonzero picks the
 * version report's tags, 0 the alternate report's. Returns the result of
 * the last print call.
 */
int sysmgr_show_kernel_uptime(void *rx, int32_t generic_report);

/*
 * A blank line, then the most recent entry of the platform's reset history:
 * its time when one was recorded, reason, system version and service. Only
 * the blank line when the history cannot be read (the negative result of
 * pfm_last_rr is returned then). Tags as for the kernel uptime.
 */
int sysmgr_show_last_reset(void *rx, int32_t generic_report);

} // namespace sysmgrcli

#endif
