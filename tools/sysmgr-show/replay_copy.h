/*
 * SPDX-License-Identifier: MIT
 *
 * The scratch copy of a capture, which is untrusted input: it is walked from
 * a directory descriptor, one O_NOFOLLOW step at a time, and nothing is
 * written outside the copy. Links stay links, re-rooted inside the copy. The
 * removal of a copy whatever its modes is here too.
 */
#ifndef SYSMGR_SHOW_REPLAY_COPY_H
#define SYSMGR_SHOW_REPLAY_COPY_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace replay {

/* What a name inside the root is, as resolve_in_root() looks it up. */
struct Node {
    enum Kind { missing, directory, other, link } kind = missing;
    std::string target; // of a link
};
/* Looks up a "/"-rooted path whose components are all directories but the last. */
using Lookup = std::function<Node(const std::string &path)>;

struct Resolved {
    std::string path; // "/"-rooted, no ".", ".." or empty component
    enum Outcome { found, loops, too_deep } outcome = found;
};

constexpr int kMaxLinks = 40; // followed in one resolution, as the kernel allows
constexpr int kMaxDepth = 64; // directories below the top of a capture
constexpr std::uint64_t kDefaultMaxCopyMiB = 64;

/*
 * Resolves target, the text of a link in the directory dir ("/"-rooted),
 * as if the root were "/": an absolute target and every link met starts
 * again from the root, and ".." stops at the root. Where a name is missing
 * or not a directory, the names after it are kept (without "." and ".."),
 * so the path fails as the original did. A path deeper than kMaxDepth, or
 * more than kMaxLinks links, ends the resolution.
 */
Resolved resolve_in_root(const std::string &dir, const std::string &target, const Lookup &lookup);

/*
 * Copies the directory from_fd into the empty directory to_fd: directories,
 * regular files (sparse ones sparse) and links, with their permission bits
 * (never set-user-ID or set-group-ID); a link's target is re-rooted
 * (resolve_in_root) so that it leads where it led inside the capture, or
 * still dangles or loops, and never out of the copy. Anything else (a pipe,
 * a device, a socket) becomes a named pipe, never opened. A file or
 * directory that cannot be read (EACCES) becomes an empty one without
 * permissions. The capture's utilities with their data and log files, and
 * its .sim-bin, are left out: the replay writes its own. At most max_bytes
 * of data (holes not counted) and kMaxDepth directories deep; past either,
 * or on any other error, false with the problem.
 */
bool copy_capture(int from_fd, int to_fd, std::uint64_t max_bytes, std::string &problem);

/*
 * Removes name in dir_fd with everything below it, giving directories that
 * lack them their owner's permissions. A missing name is no error. Returns 0,
 * or the errno with the name that failed in failed (cut to size). Only
 * system calls, no allocation: a signal handler may call it.
 */
int remove_tree(int dir_fd, const char *name, char *failed, std::size_t size);

} // namespace replay

#endif
