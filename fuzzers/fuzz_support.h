/*
 * SPDX-License-Identifier: MIT
 * Shared by the fuzz targets: a root directory for the library's files, and
 * in-process stand-ins for the utilities the version reports run.
 *
 * Command 107 runs the flash-size utility, rm and sudo through system() and
 * the image header tool through popen(). Forking a shell for each keeps a
 * target at a few hundred executions a second, so the targets define
 * system, popen and pclose themselves (fake_utilities.cc); the library, a
 * shared object, resolves its calls to these definitions. They act out the
 * commands the library builds: the flash-size utility's output goes into
 * the redirection's file, rm -f removes its file, sudo does nothing, and
 * the image header tool's output is read from memory. Any other command
 * aborts, so that a change in what the library runs is noticed. The run
 * through the real shell is kept in the fault matrix test.
 */
#ifndef FUZZERS_FUZZ_SUPPORT_H
#define FUZZERS_FUZZ_SUPPORT_H

#include <optional>
#include <string>

namespace fuzz {

/* What the utilities print; none: the utility is absent. */
struct Utilities {
    std::optional<std::string> flash_size;
    std::optional<std::string> imghdr;
};

/* The utilities' outputs for the next calls. */
Utilities &utilities();

/*
 * The library's root ($SYSMGRCLI_ROOT), emptied and given the directories
 * the library writes to (tmp, var/tmp). Removed when the target exits.
 */
const std::string &fresh_root();

/*
 * Removes the files a report writes under the root, the flash-size listing
 * and the loader cache, so that the next input starts as the first did when
 * it keeps the same files otherwise: far cheaper than fresh_root().
 */
void remove_written();

/*
 * Writes content to root + path, creating directories as needed; without
 * content, removes the file.
 */
void write_rooted(const std::string &path, const std::optional<std::string> &content);

/*
 * Aborts when a report left anything behind: a bound queue, an undropped
 * message, an image handle open or closed twice, a child not waited for.
 */
void check_nothing_left();

} // namespace fuzz

#endif
