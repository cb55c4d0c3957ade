/* SPDX-License-Identifier: MIT */
/* The manufacturer line shared by the version reports. Internal. */
#ifndef SYSMGRCLI_HOOKS_H
#define SYSMGRCLI_HOOKS_H

#include <cstdint>

#include "platform/cli.h"

namespace sysmgrcli {

/*
 * Prints the manufacturer text through the caller's print argument with the
 * given tag, then a line end. The default manufacturer hook uses the version
 * report's manufacturer tag.
 */
int print_manufacturer(void *rx, cmd_prt_arg_t *arg, uint32_t tag);

} // namespace sysmgrcli

#endif
