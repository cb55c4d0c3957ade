/*
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

namespace sysmgrcli {

/* Closes a stdio stream when its owner goes. */
struct FileCloser {
    void operator()(std::FILE *file) const noexcept { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

/*
 * Opens the file at path, taken under the root, for reading. Only a regular
 * file opens: a named pipe, device, socket or directory gives null with errno
 * EINVAL (EISDIR for a directory), and is opened without waiting, so that a
 * pipe with no writer cannot stall the caller. Null too when the open fails
 * (errno kept) or the rooted path does not fit (errno ENAMETOOLONG).
 */
File open_rooted(const char *path) noexcept;

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
