/*
 * SPDX-License-Identifier: MIT
 * Fixed absolute paths of the files the library opens and the programs it
 * runs, taken under $SYSMGRCLI_ROOT when that is set and non-empty. Tests and
 * offline rendering of a captured file system use the root; printed texts
 * and paths handed to platform functions never change. A root that does not
 * begin with "/" is refused: every path under it is unusable, so nothing is
 * read and nothing is run.
 */
#ifndef SYSMGRCLI_ROOT_PATH_H
#define SYSMGRCLI_ROOT_PATH_H

#include <cstddef>

namespace sysmgrcli {

/*
 * The root of one call into the library: $SYSMGRCLI_ROOT is read once when
 * the outermost CallRoot of the thread is made (which says on the standard
 * error stream when the root is refused), and every path of the call
 * takes it from there rather than reading the environment again. One made
 * while another is alive (a report calling an exported source) uses the
 * outer one's root. Nothing outlives the outermost: the next call reads the
 * environment afresh.
 */
class CallRoot {
  public:
    CallRoot() noexcept;
    ~CallRoot();
    CallRoot(const CallRoot &) = delete;
    CallRoot &operator=(const CallRoot &) = delete;

  private:
    bool outermost_;
};

class RootedPath {
  public:
    static constexpr std::size_t kMax = 4096;

    /*
     * path: an absolute path such as "/proc/uptime". Takes the root of the
     * current call, or reads $SYSMGRCLI_ROOT when no CallRoot is alive.
     */
    explicit RootedPath(const char *path) noexcept;

    /* The path to open, or nullptr when root and path do not fit in kMax or the root is refused. */
    const char *c_str() const noexcept { return error_ == 0 ? buf_ : nullptr; }
    /* 0 for a usable path, EINVAL for a refused root, ENAMETOOLONG when it does not fit. */
    int error() const noexcept { return error_; }

  private:
    char buf_[kMax];
    int error_;
};

} // namespace sysmgrcli

#endif
