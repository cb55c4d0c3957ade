// SPDX-License-Identifier: MIT
// The public and platform headers compile alone as C++.
#include "sysmgrcli/sysmgrcli.h"

#include "platform/platform.h"

#include <type_traits>

// The hooks take the back end's own print argument.
static_assert(std::is_same_v<decltype(sysmgrpd_show_hardware_manufacture_print),
                             int (*)(uint32_t, cmd_prt_arg_t *, void *)>);
