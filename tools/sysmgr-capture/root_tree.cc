// SPDX-License-Identifier: MIT
// The capture's root/ written from the record by descriptor (tree.h), so a
// record that names "../x" or a path below a link writes nothing elsewhere.
#include <algorithm>
#include <cerrno>
#include <cstring>

#include <sys/stat.h>

#include "capture.h"

namespace sysmgrcapture {

namespace {

using tree::Fd;

/* One file in the directory dir_fd: 0 when written, else the errno. */
int write_one(int dir_fd, const std::string &name, const FoundFile &f) {
    const mode_t mode = f.mode & 07777 & ~mode_t{S_IWGRP | S_IWOTH | S_ISUID | S_ISGID};
    if (f.state == "directory") {
        if (::mkdirat(dir_fd, name.c_str(), 0700) != 0 && errno != EEXIST)
            return errno;
        Fd dir(::openat(dir_fd, name.c_str(), tree::kDirFlags));
        // The owner keeps write and search, so that the tree can be filled and removed.
        return dir.get() < 0 || ::fchmod(dir.get(), mode | 0700) != 0 ? errno : 0;
    }
    if (f.state == "symlink")
        return ::symlinkat(f.target.c_str(), dir_fd, name.c_str()) != 0 ? errno : 0;
    return write_new_file(dir_fd, name.c_str(), f.data, mode);
}

} // namespace

int write_new_file(int dir_fd, const char *name, const std::string &data, unsigned mode) {
    Fd file(::openat(dir_fd, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (file.get() < 0)
        return errno;
    for (std::size_t done = 0; done < data.size();) {
        const ssize_t n = ::write(file.get(), data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : EIO;
        done += static_cast<std::size_t>(n);
    }
    return ::fchmod(file.get(), mode) != 0 ? errno : 0;
}

bool path_components(const std::string &path, std::vector<std::string> &out) {
    out = tree::components(path);
    return !out.empty() && !path.ends_with('/') && path.find("//") == std::string::npos &&
           std::none_of(out.begin(), out.end(), [](const std::string &part) {
               return part == "." || part == ".." || part.find('\0') != std::string::npos;
           });
}

bool write_tree(int root_fd, const Capture &capture, std::vector<std::string> &notes,
                std::string &problem) {
    std::vector<const FoundFile *> files;
    for (const FoundFile &f : capture.files)
        if (f.state != "absent" && f.state != "other" && !tree::replay_writes(f.path))
            files.push_back(&f);
    std::sort(files.begin(), files.end(),
              [](const FoundFile *a, const FoundFile *b) { return a->path < b->path; });
    std::vector<std::string> parts;
    for (const FoundFile *f : files) {
        if (!path_components(f->path, parts)) {
            if (f->path != "/")
                notes.push_back("root" + f->path + ": not a plain path below the root: left out");
            continue;
        }
        Fd dir(tree::open_dirs(root_fd, parts, parts.size() - 1, true));
        const int error = dir.get() < 0 ? errno : write_one(dir.get(), parts.back(), *f);
        if (error == ELOOP || error == ENOTDIR || error == EEXIST) {
            notes.push_back("root" + f->path + ": below a link or a file: left out");
        } else if (error != 0) {
            problem = "cannot write root" + f->path + ": " + std::strerror(error);
            return false;
        }
    }
    return true;
}

} // namespace sysmgrcapture
