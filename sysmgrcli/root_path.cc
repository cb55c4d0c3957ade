#include "root_path.h"

#include <cstdlib>
#include <cstring>

namespace sysmgrcli {

namespace {

/* The root of the current call: its text and length. */
struct Root {
    const char *text;
    std::size_t length;
};

/* Set while a CallRoot is alive on this thread. */
thread_local bool t_in_call = false;
thread_local Root t_root = {"", 0};

Root read_root() {
    const char *root = std::getenv("SYSMGRCLI_ROOT");
    if (root == nullptr)
        root = "";
    return Root{root, std::strlen(root)};
}

} // namespace

CallRoot::CallRoot() noexcept : outermost_(!t_in_call) {
    if (outermost_) {
        t_root = read_root();
        t_in_call = true;
    }
}

CallRoot::~CallRoot() {
    if (outermost_) {
        t_in_call = false;
        t_root = Root{"", 0};
    }
}

// The buffer is not cleared: only the bytes written are ever read.
RootedPath::RootedPath(const char *path) noexcept : ok_(false) {
    const Root root = t_in_call ? t_root : read_root();
    const std::size_t length = std::strlen(path);
    if (root.length + length >= sizeof buf_) {
        buf_[0] = '\0';
        return;
    }
    std::memcpy(buf_, root.text, root.length);
    std::memcpy(buf_ + root.length, path, length + 1);
    ok_ = true;
}

} // namespace sysmgrcli
