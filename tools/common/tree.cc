// SPDX-License-Identifier: MIT
#include "tree.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <sys/stat.h>

#include "sysmgrsim/sim.h"

namespace tree {

std::vector<std::string> components(const std::string &path, char separator) {
    std::vector<std::string> out;
    for (std::size_t at = 0; at < path.size();) {
        const std::size_t end = std::min(path.find(separator, at), path.size());
        if (end > at)
            out.push_back(path.substr(at, end - at));
        at = end + 1;
    }
    return out;
}

int write_at(int fd, const char *data, std::size_t size, off_t at) {
    for (std::size_t done = 0; done < size;) {
        const ssize_t n = pwrite(fd, data + done, size - done, at + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : EIO;
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

int open_dirs(int top, const std::vector<std::string> &names, std::size_t n, bool make) {
    Fd dir(fcntl(top, F_DUPFD_CLOEXEC, 0));
    for (std::size_t i = 0; i < n && dir.get() >= 0; ++i) {
        if (make && mkdirat(dir.get(), names[i].c_str(), 0700) != 0 && errno != EEXIST)
            return -1;
        dir.reset(openat(dir.get(), names[i].c_str(), O_PATH | kDirFlags));
    }
    return dir.release();
}

bool replay_writes(const std::string &path) {
    auto under = [&](const std::string &dir, const char *separators) {
        return path.starts_with(dir) &&
               (path.size() == dir.size() || std::strchr(separators, path[dir.size()]) != nullptr);
    };
    for (const Tool &t : kTools)
        if (under(t.path, "."))
            return true;
    return under("/" SIM_SUDO_DIR, "/");
}

Unsafe unsafe_directory(const struct stat &st, uid_t uid) {
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0 && (st.st_mode & S_ISVTX) == 0)
        return Unsafe::others_write;
    return st.st_uid != uid && st.st_uid != 0 ? Unsafe::other_owner : Unsafe::no;
}

} // namespace tree
