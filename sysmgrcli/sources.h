/*
 * SPDX-License-Identifier: MIT
 * Files and commands of the version sources, all under $SYSMGRCLI_ROOT:
 * opening, examining and first-line reading of fixed or caller-given paths,
 * and building shell commands whose paths are rooted and quoted. Internal.
 */
#ifndef SYSMGRCLI_SOURCES_H
#define SYSMGRCLI_SOURCES_H

#include <cstddef>
#include <cstdio>
#include <initializer_list>
#include <memory>

#include <sys/stat.h>
#include <sys/types.h>

namespace sysmgrcli {

/* Closes a stdio stream when its owner goes. */
struct FileCloser {
    void operator()(std::FILE *file) const noexcept { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

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
     * terminated. False, with buf empty, when nothing was read.
     */
    bool line(char *buf, std::size_t size) noexcept;
    /*
     * Like scanf's "%Ns" (N = size - 1), or "%N[set]" when set is given:
     * skips white space, then reads at most N bytes of a word. False, with
     * buf empty, when there is no word. The rest of a longer word is left.
     */
    bool word(char *buf, std::size_t size, const char *set = nullptr) noexcept;
    /* Reads the given text; false at the first byte that differs, which is left. */
    bool literal(const char *text) noexcept;

  private:
    std::FILE *stream_;
    std::size_t left_ = kMaxTextBytes;
    int pushed_ = EOF;
    bool has_pushed() const noexcept { return pushed_ != EOF; }
};

/*
 * stat(path taken under the root). 0, or -1 with errno: ENOENT when the file
 * is missing, ENAMETOOLONG when the rooted path does not fit.
 */
int stat_rooted(const char *path, struct stat *st) noexcept;

/* Size of a version text of get_sw_ver_string(), its static buffer's included. */
constexpr std::size_t kVersionTextSize = 256;

/*
 * The version text of get_sw_ver_string() written into text (size bytes),
 * which is returned, or the fixed "[not available]". What the exported
 * function returns in its static buffer, for callers with their own.
 */
const char *sw_ver_string(const char *release_path, const char *image_path, char *text,
                          std::size_t size) noexcept;

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

/* Size of every command buffer the sources and the reports run. */
constexpr std::size_t kCommandSize = 256;

/* The URI the kickstart image was booted from, read by the loader source and the report. */
constexpr const char kKickstartUriPath[] = "/var/log/current_ks.uri";

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
