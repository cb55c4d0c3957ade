/*
 * SPDX-License-Identifier: MIT
 *
 * The library's own writes to the host's standard streams. The process and
 * its signal dispositions belong to the host: a write to a stream whose
 * reader has gone must fail with EPIPE rather than end the host with
 * SIGPIPE. Internal.
 */
#ifndef SYSMGRCLI_HOST_IO_H
#define SYSMGRCLI_HOST_IO_H

#include <cstdio>

#include "platform/cli.h"

namespace sysmgrcli {

/* fprintf to stream (stdout or stderr); a broken pipe cannot raise SIGPIPE in the host. */
void say(std::FILE *stream, const char *format, ...) PLATFORM_PRINTF(2, 3);

/* fflush(stdout), under the same protection. */
void flush_stdout() noexcept;

} // namespace sysmgrcli

#endif
