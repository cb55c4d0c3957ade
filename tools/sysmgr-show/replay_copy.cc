// SPDX-License-Identifier: MIT
//
// The scratch copy of a capture by descriptor, its link resolver and its
// removal, for sysmgr-show.
#include "replay_copy.h"
#include "tree.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <deque>
#include <memory>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace replay {

namespace {

using namespace tree;

std::string joined(const std::vector<std::string> &names) {
    std::string out;
    for (const std::string &name : names)
        out += "/" + name;
    return out.empty() ? "/" : out;
}

// The modes a copy keeps: never set-user-ID or set-group-ID ones.
constexpr mode_t kModeBits = 0777;

// A name of the capture looked up from its top, one step at a time, never through a link.
Node look_up(int top, const std::string &path) {
    const std::vector<std::string> names = components(path);
    if (names.empty())
        return {Node::directory, ""};
    Fd dir(open_dirs(top, names, names.size() - 1, false));
    struct stat st;
    if (dir.get() < 0 || fstatat(dir.get(), names.back().c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return {};
    if (S_ISDIR(st.st_mode))
        return {Node::directory, ""};
    if (!S_ISLNK(st.st_mode))
        return {Node::other, ""};
    char target[PATH_MAX];
    const ssize_t n = readlinkat(dir.get(), names.back().c_str(), target, sizeof target);
    if (n <= 0 || static_cast<std::size_t>(n) >= sizeof target)
        return {};
    return {Node::link, std::string(target, static_cast<std::size_t>(n))};
}

constexpr std::size_t kBufferSize = 1u << 16;

struct Walk {
    int top;              // the capture
    std::uint64_t budget; // data bytes left
    std::uint64_t max_bytes;
    std::unique_ptr<char[]>
        buffer; // kBufferSize bytes, not cleared: only what a file fills is touched
    std::string problem;

    bool fail(const std::string &path, int error) {
        problem = path + ": " + std::strerror(error);
        return false;
    }
};

// Copies the data of in into out, holes left as holes; size is in's size.
bool copy_data(Walk &w, int in, int out, off_t size, const std::string &path) {
    for (off_t at = 0; at < size;) {
        off_t data = lseek(in, at, SEEK_DATA);
        if (data < 0 && errno == ENXIO)
            break;
        off_t hole = data < 0 ? size : lseek(in, data, SEEK_HOLE);
        if (data < 0)
            data = at; // no holes known here: all data
        hole = hole < 0 ? size : std::min(hole, size);
        for (; data < hole;) {
            const std::size_t want = std::min(kBufferSize, static_cast<std::size_t>(hole - data));
            if (want > w.budget) {
                w.problem = "more than " + std::to_string(w.max_bytes >> 20) +
                            " MiB of data to copy (--max-copy raises the limit)";
                return false;
            }
            const ssize_t n = pread(in, w.buffer.get(), want, data);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return w.fail(path, errno);
            if (n == 0)
                return true; // it shrank while copied
            if (const int error = write_at(out, w.buffer.get(), static_cast<std::size_t>(n), data))
                return w.fail(path, error);
            w.budget -= static_cast<std::uint64_t>(n);
            data += n;
        }
        at = hole;
    }
    return ftruncate(out, size) == 0 || w.fail(path, errno);
}

bool copy_file(Walk &w, int from, int to, const char *name, const std::string &path) {
    Fd in(openat(from, name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (in.get() < 0 && errno != EACCES)
        return w.fail(path, errno);
    struct stat st;
    if (in.get() >= 0 && fstat(in.get(), &st) != 0)
        return w.fail(path, errno);
    if (in.get() >= 0 && !S_ISREG(st.st_mode))
        return w.fail(path, EAGAIN); // changed while copied
    Fd out(openat(to, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (out.get() < 0)
        return w.fail(path, errno);
    // Unreadable here: unreadable in the copy too.
    const mode_t mode = in.get() < 0 ? 0 : st.st_mode & kModeBits;
    if (in.get() >= 0 && !copy_data(w, in.get(), out.get(), st.st_size, path))
        return false;
    return fchmod(out.get(), mode) == 0 || w.fail(path, errno);
}

// The link's target re-rooted: relative to its directory dir, inside the copy.
std::string rerooted(const std::string &dir, const char *name, const Resolved &r) {
    if (r.outcome == Resolved::loops)
        return name; // a loop still loops
    std::string out;
    for (std::size_t i = 0; i < components(dir).size(); ++i)
        out += "../";
    out += r.path.substr(1);
    if (out.empty())
        return ".";
    if (out.back() == '/')
        out.pop_back();
    return out;
}

bool copy_dir(Walk &w, int from, int to, const std::string &dir, int depth);

bool copy_entry(Walk &w, int from, int to, const std::string &dir, const char *name, int depth) {
    const std::string path = (dir == "/" ? "" : dir) + "/" + name;
    if (replay_writes(path))
        return true;
    struct stat st;
    if (fstatat(from, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return w.fail(path, errno);
    if (S_ISLNK(st.st_mode)) {
        char target[PATH_MAX];
        const ssize_t n = readlinkat(from, name, target, sizeof target);
        if (n < 0 || static_cast<std::size_t>(n) >= sizeof target)
            return w.fail(path, n < 0 ? errno : ENAMETOOLONG);
        const Resolved r =
            resolve_in_root(dir, std::string(target, static_cast<std::size_t>(n)),
                            [&w](const std::string &p) { return look_up(w.top, p); });
        if (r.outcome == Resolved::too_deep) {
            w.problem = path + ": a link leading more than " + std::to_string(kMaxDepth) +
                        " directories deep";
            return false;
        }
        return symlinkat(rerooted(dir, name, r).c_str(), to, name) == 0 || w.fail(path, errno);
    }
    if (S_ISREG(st.st_mode))
        return copy_file(w, from, to, name, path);
    if (!S_ISDIR(st.st_mode)) // never opened: a pipe would block, a device act
        return mkfifoat(to, name, 0600) == 0 || w.fail(path, errno);
    if (depth >= kMaxDepth) {
        w.problem = "more than " + std::to_string(kMaxDepth) + " directories deep at " + path;
        return false;
    }
    if (mkdirat(to, name, 0700) != 0)
        return w.fail(path, errno);
    Fd sub_to(openat(to, name, kDirFlags));
    if (sub_to.get() < 0)
        return w.fail(path, errno);
    Fd sub(openat(from, name, kDirFlags));
    if (sub.get() < 0 && errno == EACCES) // unreadable here: unreadable in the copy too
        return fchmod(sub_to.get(), 0) == 0 || w.fail(path, errno);
    if (sub.get() < 0)
        return w.fail(path, errno);
    // The mode is set last, so that a read-only directory is filled first.
    return copy_dir(w, sub.get(), sub_to.get(), path, depth + 1) &&
           (fchmod(sub_to.get(), st.st_mode & kModeBits) == 0 || w.fail(path, errno));
}

// Reads the directory with getdents64 into a buffer of its own, a batch at a time.
bool copy_dir(Walk &w, int from, int to, const std::string &dir, int depth) {
    alignas(dirent64) char entries[1024]; // room for at least one entry of any name
    for (ssize_t n; (n = getdents64(from, entries, sizeof entries)) != 0;) {
        if (n < 0)
            return w.fail(dir, errno);
        for (ssize_t at = 0; at < n;) {
            const auto *e = reinterpret_cast<const dirent64 *>(entries + at);
            at += e->d_reclen;
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0 &&
                !copy_entry(w, from, to, dir, e->d_name, depth))
                return false;
        }
    }
    return true;
}

// Directory levels removal descends at most: a run's root holds the copy
// (kMaxDepth) and what the library and its utilities add below it.
constexpr int kMaxRemoveDepth = 4 * kMaxDepth;

// Keeps the name that failed, cut to size, and returns error.
int failed_on(const char *name, char *failed, std::size_t size, int error) {
    if (size > 0) {
        const std::size_t n = strnlen(name, size - 1);
        std::memcpy(failed, name, n);
        failed[n] = '\0';
    }
    return error;
}

/*
 * Removes name in dir_fd with everything below it; type is its dirent type
 * when known. A file is unlinked at once; a directory is read with
 * getdents64, and given its owner's permissions only when it lacks them.
 */
int remove_below(int dir_fd, const char *name, unsigned char type, int depth, char *failed,
                 std::size_t size) {
    if (type != DT_DIR) {
        if (unlinkat(dir_fd, name, 0) == 0 || errno == ENOENT)
            return 0;
        if (errno != EISDIR)
            return failed_on(name, failed, size, errno);
    }
    if (depth >= kMaxRemoveDepth)
        return failed_on(name, failed, size, ELOOP);
    int fd = openat(dir_fd, name, kDirFlags);
    if (fd < 0 && errno == EACCES && fchmodat(dir_fd, name, S_IRWXU, 0) == 0)
        fd = openat(dir_fd, name, kDirFlags);
    if (fd < 0)
        return errno == ENOENT ? 0 : failed_on(name, failed, size, errno);
    // After each batch of entries the directory itself is removed: that it
    // is not empty yet is what sends the loop back for more.
    alignas(dirent64) char entries[1024]; // room for at least one entry of any name
    int error = 0;
    for (;;) {
        const ssize_t n = getdents64(fd, entries, sizeof entries);
        if (n <= 0) {
            error = failed_on(name, failed, size, n < 0 ? errno : ENOTEMPTY);
            break;
        }
        for (ssize_t at = 0; error == 0 && at < n;) {
            const auto *e = reinterpret_cast<const dirent64 *>(entries + at);
            at += e->d_reclen;
            if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0)
                continue;
            error = remove_below(fd, e->d_name, e->d_type, depth + 1, failed, size);
            if (error == EACCES && fchmod(fd, S_IRWXU) == 0)
                error = remove_below(fd, e->d_name, e->d_type, depth + 1, failed, size);
        }
        if (error != 0 || unlinkat(dir_fd, name, AT_REMOVEDIR) == 0 || errno == ENOENT)
            break;
        if (errno != ENOTEMPTY && errno != EEXIST) {
            error = failed_on(name, failed, size, errno);
            break;
        }
    }
    close(fd);
    return error;
}

} // namespace

Resolved resolve_in_root(const std::string &dir, const std::string &target, const Lookup &lookup) {
    std::vector<std::string> at =
        target.starts_with('/') ? std::vector<std::string>{} : components(dir);
    const std::vector<std::string> first = components(target);
    std::deque<std::string> rest(first.begin(), first.end());
    for (int links = 0; !rest.empty();) {
        const std::string name = rest.front();
        rest.pop_front();
        if (name == "." || name == "..") {
            if (name == ".." && !at.empty())
                at.pop_back();
            continue;
        }
        at.push_back(name);
        if (at.size() > static_cast<std::size_t>(kMaxDepth) + 1)
            return {joined(at), Resolved::too_deep};
        const Node node = lookup(joined(at));
        if (node.kind == Node::directory)
            continue;
        if (node.kind == Node::link) {
            if (++links > kMaxLinks)
                return {joined(at), Resolved::loops};
            at.pop_back();
            if (node.target.starts_with('/'))
                at.clear();
            const std::vector<std::string> more = components(node.target);
            rest.insert(rest.begin(), more.begin(), more.end());
            continue;
        }
        for (const std::string &left : rest)
            if (left != "." && left != "..")
                at.push_back(left);
        break;
    }
    return {joined(at), Resolved::found};
}

bool copy_capture(int from_fd, int to_fd, std::uint64_t max_bytes, std::string &problem) {
    Walk w{from_fd, max_bytes, max_bytes, std::make_unique_for_overwrite<char[]>(kBufferSize), ""};
    Fd top(openat(from_fd, ".", kDirFlags));
    if (top.get() < 0) {
        problem = std::strerror(errno);
        return false;
    }
    if (!copy_dir(w, top.get(), to_fd, "/", 0)) {
        problem = w.problem;
        return false;
    }
    return true;
}

int remove_tree(int dir_fd, const char *name, char *failed, std::size_t size) {
    return remove_below(dir_fd, name, DT_UNKNOWN, 0, failed, size);
}

} // namespace replay
