/* SPDX-License-Identifier: MIT */
/* The version reports. Internal. */
#ifndef SYSMGRCLI_VERSION_H
#define SYSMGRCLI_VERSION_H

#include <cstdint>

namespace sysmgrcli {

/*
 * The alternate version report into rx, for queue handle q (-1: none); the
 * default of sysmgrpd_hardware_show_version. Returns 0.
 */
int hardware_show_version(int32_t q, void *rx);

} // namespace sysmgrcli

#endif
