#include "root_path.h"

#include <cstdio>
#include <cstdlib>

namespace sysmgrcli {

RootedPath::RootedPath(const char *path) noexcept : buf_{}, ok_(false) {
    const char *root = std::getenv("SYSMGRCLI_ROOT");
    if (root == nullptr)
        root = "";
    int n = std::snprintf(buf_, sizeof buf_, "%s%s", root, path);
    ok_ = n >= 0 && static_cast<std::size_t>(n) < sizeof buf_;
}

} // namespace sysmgrcli
