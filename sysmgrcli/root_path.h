/*
 * Fixed absolute paths of the files the library opens and the programs it
 * runs, taken under $SYSMGRCLI_ROOT when that is set and non-empty. Tests and
 * offline rendering of a captured file system use the root; printed texts
 * and paths handed to platform functions never change.
 */
#ifndef SYSMGRCLI_ROOT_PATH_H
#define SYSMGRCLI_ROOT_PATH_H

#include <cstddef>

namespace sysmgrcli {

class RootedPath {
  public:
    static constexpr std::size_t kMax = 4096;

    /* path: an absolute path such as "/proc/uptime". */
    explicit RootedPath(const char *path) noexcept;

    /* The path to open, or nullptr when root and path do not fit in kMax. */
    const char *c_str() const noexcept { return ok_ ? buf_ : nullptr; }

  private:
    char buf_[kMax];
    bool ok_;
};

} // namespace sysmgrcli

#endif
