/*
 * SPDX-License-Identifier: MIT
 * The two printers that close a version report: the kernel's uptime and the
 * supervisor's last reset. Internal.
 */
#ifndef SYSMGRCLI_RESET_H
#define SYSMGRCLI_RESET_H

#include "tags.h"

namespace sysmgrcli {

/*
 * "Kernel uptime is N day(s), ... second(s)\n" from "/proc/uptime"; only
 * "\n" when the file gives no uptime. tag_set is the report
 * whose tags it prints with: version or version2. Returns the result of
 * the last print call.
 */
int sysmgr_show_kernel_uptime(void *rx, tags::Report tag_set);

/*
 * A blank line, then the most recent entry of the platform's reset history:
 * its time when one was recorded, reason, system version and service. Only
 * the blank line when the history cannot be read (the negative result of
 * pfm_last_rr is returned then). Tags as for the kernel uptime.
 */
int sysmgr_show_last_reset(void *rx, tags::Report tag_set);

} // namespace sysmgrcli

#endif
