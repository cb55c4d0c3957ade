/*
 * SPDX-License-Identifier: MIT
 * The library's operating-system layer: every C library call that can fail
 * goes through one table, descriptors and streams have owners, and files
 * and commands are taken under $SYSMGRCLI_ROOT. Internal.
 */
#ifndef SYSMGRCLI_OS_H
#define SYSMGRCLI_OS_H

#include <cstddef>
#include <cstdio>
#include <initializer_list>
#include <memory>

#include <sys/stat.h>
#include <sys/types.h>

namespace sysmgrcli {

/*
 * The C library functions the library calls, through which a test makes
 * them fail one at a time. Never exported; the library only reads it. An
 * argument a call does not take (open's mode, fcntl's) is passed and ignored.
 */
struct SystemCalls {
    int (*open)(const char *, int, mode_t);
    int (*fstat)(int, struct stat *);
    int (*fcntl)(int, int, int);
    std::FILE *(*fdopen)(int, const char *);
    int (*getc)(std::FILE *);
    ssize_t (*write)(int, const void *, std::size_t);
    int (*fsync)(int);
    int (*flock)(int, int);
    int (*unlink)(const char *);
    int (*stat)(const char *, struct stat *);
    std::FILE *(*popen)(const char *, const char *);
    int (*pclose)(std::FILE *);
    int (*system)(const char *);
    void *(*calloc)(std::size_t, std::size_t);
};
extern SystemCalls sys;

/* A descriptor from open(2), closed when its owner goes. */
class Fd {
  public:
    explicit Fd(int fd) noexcept : fd_(fd) {}
    ~Fd();
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    int get() const noexcept { return fd_; }
    /* Gives the descriptor up without closing it. */
    int release() noexcept {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    /* Closes now; the result of close(2). */
    int close() noexcept;

  private:
    int fd_;
};

/* Closes a stdio stream when its owner goes. */
struct FileCloser {
    void operator()(std::FILE *file) const noexcept { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

/* A pipe from popen(), closed with pclose() when its owner goes. */
struct PipeCloser {
    void operator()(std::FILE *pipe) const noexcept { sys.pclose(pipe); }
};
using Pipe = std::unique_ptr<std::FILE, PipeCloser>;

/*
 * open(2) of an already rooted path, close-on-exec and retried when
 * interrupted. A descriptor that comes back as 0, 1 or 2 (a host that closed
 * its standard streams) is moved above them at once, so that nothing the
 * host or the library writes to those streams lands in the library's file.
 */
int open_descriptor(const char *path, int flags, mode_t mode = 0) noexcept;

/*
 * Opens the file at path, taken under the root, for reading, with extra
 * open flags (O_NOFOLLOW). Only a regular
 * file opens: a named pipe, device, socket or directory gives null with errno
 * EINVAL (EISDIR for a directory), and is opened without waiting, so that a
 * pipe with no writer cannot stall the caller. Null too when the open fails
 * (errno kept), the rooted path does not fit (errno ENAMETOOLONG) or the
 * root is refused (errno EINVAL).
 */
File open_rooted(const char *path, int flags = 0) noexcept;

/* Bytes read of one file or pipe at most: far above any real one the library reads. */
constexpr std::size_t kMaxTextBytes = 1u << 20;

/*
 * Reads a text stream a byte at a time: at most kMaxTextBytes in all, so that
 * a file that keeps growing cannot hold a report, and with interrupted reads
 * retried, so that a signal cannot cut a text short.
 */
class TextReader {
  public:
    explicit TextReader(std::FILE *stream) noexcept : stream_(stream) {}
    /* The next byte; EOF at the end, on an error or past the limit. */
    int get() noexcept;
    /* Gives back the byte get() returned last, for the next get(). */
    void unget(int c) noexcept { pushed_ = c; }
    /*
     * Like fgets: at most size - 1 bytes, up to and with the line end,
     * terminated. False, with buf empty, when nothing was read or a read
     * failed: a text cut short by an error is never taken for a whole one.
     */
    bool line(char *buf, std::size_t size) noexcept;
    /*
     * Like scanf's "%Ns" (N = size - 1), or "%N[set]" when set is given:
     * skips white space, then reads at most N bytes of a word. False, with
     * buf empty, when there is no word or a read failed. The rest of a longer
     * word is left.
     */
    bool word(char *buf, std::size_t size, const char *set = nullptr) noexcept;
    /* Reads the given text; false at the first byte that differs, which is left. */
    bool literal(const char *text) noexcept;
    /* Whether a read failed (other than interrupted): the text is not whole. */
    bool failed() const noexcept { return failed_; }

  private:
    std::FILE *stream_;
    std::size_t left_ = kMaxTextBytes;
    int pushed_ = EOF;
    bool failed_ = false;
    bool has_pushed() const noexcept { return pushed_ != EOF; }
};

/*
 * stat(path taken under the root). 0, or -1 with errno: ENOENT when the file
 * is missing, ENAMETOOLONG when the rooted path does not fit.
 */
int stat_rooted(const char *path, struct stat *st) noexcept;

/*
 * The first line of a rooted file, read like fgets: at most size - 1 bytes,
 * the line end kept, always terminated. False, with buf empty, when the file
 * does not open or nothing could be read.
 */
bool read_first_line(const char *path, char *buf, std::size_t size) noexcept;

/*
 * Makes path, taken under the root, a new empty regular file created by this
 * call, for a command to write its output into: whatever was there (a
 * leftover of an earlier run, a file or symbolic link planted by someone
 * else) is removed first, then the file is created exclusively, never
 * through a symbolic link. In a directory with the sticky bit, such as /tmp,
 * nobody else can then remove or replace it before the command has run.
 * False when that cannot be done; the caller must then not run the command.
 */
bool create_output_file(const char *path) noexcept;

/* unlink(path taken under the root): 0, or -1 with errno. */
int unlink_rooted(const char *path) noexcept;

/*
 * An exclusive flock(2) on a directory taken under the root, held while the
 * owner lives, so that reports in other threads or processes that write,
 * read and remove the same fixed file in it take turns. Tries for about
 * kTurnWaitMs milliseconds; held() is false when the turn did not come in
 * that time, or the directory cannot be opened, and the owner then goes on
 * without it.
 */
class DirectoryTurn {
  public:
    static constexpr int kTurnWaitMs = 5000;
    explicit DirectoryTurn(const char *dir) noexcept;
    ~DirectoryTurn();
    DirectoryTurn(const DirectoryTurn &) = delete;
    DirectoryTurn &operator=(const DirectoryTurn &) = delete;
    bool held() const noexcept { return held_; }

  private:
    int fd_;
    bool held_ = false;
};

/* Writes all of len bytes, retrying short and interrupted writes. */
bool write_all(int fd, const char *data, std::size_t len) noexcept;

/* Size of every command buffer the sources and the reports run. */
constexpr std::size_t kCommandSize = 256;

/*
 * Formats a shell command into out: format holds one "%s" for each path,
 * and each path is taken under the root and shell-quoted when it holds any
 * character outside [A-Za-z0-9_./:@%+,=-], so ordinary commands read exactly
 * as written and no path can run anything else. Fixed system parts (sudo,
 * /bin/mount, rm, /dev/null) belong literally in format. When the command
 * does not fit in size bytes, out is left empty, one message naming
 * operation goes to the standard error stream, and the result is false: the
 * caller must then run nothing.
 */
bool build_command(char *out, std::size_t size, const char *operation, const char *format,
                   std::initializer_list<const char *> paths) noexcept;

} // namespace sysmgrcli

#endif
