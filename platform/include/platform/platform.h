/* SPDX-License-Identifier: MIT */
/* Every platform interface the library calls. */
#ifndef PLATFORM_PLATFORM_H
#define PLATFORM_PLATFORM_H

#include "platform/cli.h"
#include "platform/mts.h"
#include "platform/records.h"
#include "platform/services.h"

#endif
