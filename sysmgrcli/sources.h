/*
 * SPDX-License-Identifier: MIT
 * The version sources' shared pieces: the version text of an image and the
 * kickstart URI's path. Internal.
 */
#ifndef SYSMGRCLI_SOURCES_H
#define SYSMGRCLI_SOURCES_H

#include <cstddef>

#include "os.h"

namespace sysmgrcli {

/* Size of a version text of get_sw_ver_string(), its static buffer's included. */
constexpr std::size_t kVersionTextSize = 256;

/*
 * The version text of get_sw_ver_string() written into text (size bytes),
 * which is returned, or the fixed "[not available]". What the exported
 * function returns in its static buffer, for callers with their own.
 */
const char *sw_ver_string(const char *release_path, const char *image_path, char *text,
                          std::size_t size) noexcept;

/* The URI the kickstart image was booted from, read by the loader source and the report. */
constexpr const char kKickstartUriPath[] = "/var/log/current_ks.uri";

} // namespace sysmgrcli

#endif
