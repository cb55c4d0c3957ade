// SPDX-License-Identifier: MIT
#include "root_path.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "host_io.h"

namespace sysmgrcli {

namespace {

/* The root of the current call: its text and length. */
struct Root {
    const char *text;
    std::size_t length;
    /*
     * Not empty and not beginning with "/": paths would depend on the working
     * directory, and a command's first word could become an assignment
     * ("A=") or an option ("-x"). Refused.
     */
    bool relative;
};

/* Set while a CallRoot is alive on this thread. */
thread_local bool t_in_call = false;
thread_local Root t_root = {"", 0, false};

/*
 * In a process that runs with more privilege than whoever set its
 * environment (set-user-ID, set-group-ID, file capabilities), the root is
 * not read: it would let them choose the files the library writes and the
 * programs it runs. secure_getenv() answers null there.
 */
Root read_root() {
    const char *root = secure_getenv("SYSMGRCLI_ROOT");
    if (root == nullptr)
        root = "";
    return Root{root, std::strlen(root), root[0] != '\0' && root[0] != '/'};
}

} // namespace

CallRoot::CallRoot() noexcept : outermost_(!t_in_call) {
    if (outermost_) {
        t_root = read_root();
        t_in_call = true;
        if (t_root.relative)
            say(stderr, "SYSMGRCLI_ROOT is not an absolute path\n");
    }
}

CallRoot::~CallRoot() {
    if (outermost_) {
        t_in_call = false;
        t_root = Root{"", 0, false};
    }
}

// The buffer is not cleared: only the bytes written are ever read.
RootedPath::RootedPath(const char *path) noexcept : error_(0) {
    const Root root = t_in_call ? t_root : read_root();
    const std::size_t length = std::strlen(path);
    if (root.relative || root.length + length >= sizeof buf_) {
        buf_[0] = '\0';
        error_ = root.relative ? EINVAL : ENAMETOOLONG;
        return;
    }
    std::memcpy(buf_, root.text, root.length);
    std::memcpy(buf_ + root.length, path, length + 1);
}

} // namespace sysmgrcli
