/*
 * SPDX-License-Identifier: MIT
 * What sysmgr-show and sysmgr-capture share about a root they read or write
 * by descriptor: every name is reached one component at a time, never
 * through a link, so nothing outside the root is touched; and the directory
 * a root is made in must be one that no other user can change.
 */
#ifndef SYSMGR_TOOLS_TREE_H
#define SYSMGR_TOOLS_TREE_H

#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tree {

constexpr int kDirFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

/* Owns a descriptor. */
class Fd {
  public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    ~Fd() { reset(); }
    void reset(int fd = -1) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = fd;
    }
    int get() const { return fd_; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

  private:
    int fd_;
};

/* The utilities the library runs, by the scenario's name for them. */
struct Tool {
    const char *name;
    const char *path;
};
inline constexpr Tool kTools[] = {{"flash_size", "/vorn/bin/flash_size"},
                                  {"imghdr", "/vornboot/bin/imghdr"}};

/* Writes the size bytes at data to fd at offset at, however the writes are split: 0, or the errno.
 */
int write_at(int fd, const char *data, std::size_t size, off_t at);

/* The non-empty components of a path, or of a text split at separator. */
std::vector<std::string> components(const std::string &path, char separator = '/');

/*
 * The directory names[0..n) below top as an O_PATH descriptor, each made
 * (0700) first when make and missing; -1 with errno when one is not a
 * directory there.
 */
int open_dirs(int top, const std::vector<std::string> &names, std::size_t n, bool make);

/*
 * Whether the replay writes the "/"-rooted path itself: a utility, the files
 * its stand-in prints from and logs to, and the directory of stand-ins.
 */
bool replay_writes(const std::string &path);

/*
 * Whether a user other than uid and root can change the entries of the
 * directory st describes, and why: others can write it and it is not sticky
 * (said first when both hold), or it belongs to someone else.
 */
enum class Unsafe { no, others_write, other_owner };
Unsafe unsafe_directory(const struct stat &st, uid_t uid);
inline constexpr char kOthersWrite[] = "others can write it and it is not sticky";

} // namespace tree

#endif
