// SPDX-License-Identifier: MIT
// The operating-system layer: the table of C library calls, descriptors,
// rooted files, the text reader, directory turns and shell commands.
#include "os.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "host_io.h"
#include "root_path.h"

namespace sysmgrcli {

// Each entry calls the C library by name, so that a reference from the
// library to it stays one that the capture tool's audit module can bind.
SystemCalls sys = {
    .open = [](const char *path, int flags, mode_t mode) { return ::open(path, flags, mode); },
    .fstat = [](int fd, struct stat *st) { return ::fstat(fd, st); },
    .fcntl = [](int fd, int cmd, int arg) { return ::fcntl(fd, cmd, arg); },
    .fdopen = [](int fd, const char *mode) { return ::fdopen(fd, mode); },
    .getc = [](std::FILE *stream) { return std::getc(stream); },
    .write = [](int fd, const void *data, std::size_t len) { return ::write(fd, data, len); },
    .fsync = [](int fd) { return ::fsync(fd); },
    .flock = [](int fd, int operation) { return ::flock(fd, operation); },
    .unlink = [](const char *path) { return ::unlink(path); },
    .stat = [](const char *path, struct stat *st) { return ::stat(path, st); },
    .popen = [](const char *command, const char *mode) { return ::popen(command, mode); },
    .pclose = [](std::FILE *pipe) { return ::pclose(pipe); },
    .system = [](const char *command) { return std::system(command); },
    .calloc = [](std::size_t n, std::size_t size) { return std::calloc(n, size); },
};

namespace {

/* Characters a path may hold and still be placed in a command unquoted. */
bool shell_safe(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::strchr("_./:@%+,=-", c) != nullptr;
}

/*
 * Writes path as one shell word into out[pos..size): as it is when every
 * character is safe, else in single quotes with each ' written as '\''.
 * Returns the new position, or size when it does not fit.
 */
std::size_t put_word(char *out, std::size_t size, std::size_t pos, const char *path) {
    auto put = [&](char c) {
        if (pos < size)
            out[pos++] = c;
    };
    bool safe = *path != '\0';
    for (const char *p = path; *p != '\0' && safe; ++p)
        safe = shell_safe(*p);
    if (!safe)
        put('\'');
    for (const char *p = path; *p != '\0'; ++p) {
        if (!safe && *p == '\'') {
            for (char c : {'\'', '\\', '\'', '\''})
                put(c);
        } else {
            put(*p);
        }
    }
    if (!safe)
        put('\'');
    return pos;
}

} // namespace

Fd::~Fd() {
    if (fd_ >= 0)
        ::close(fd_);
}

int Fd::close() noexcept {
    const int rc = ::close(fd_);
    fd_ = -1;
    return rc;
}

bool write_all(int fd, const char *data, std::size_t len) noexcept {
    while (len > 0) {
        ssize_t n = sys.write(fd, data, len);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        len -= static_cast<std::size_t>(n);
    }
    return true;
}

int open_descriptor(const char *path, int flags, mode_t mode) noexcept {
    int fd;
    do {
        fd = sys.open(path, flags | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0 || fd > STDERR_FILENO)
        return fd;
    const int moved = sys.fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    const int error = errno;
    ::close(fd);
    errno = error;
    return moved;
}

DirectoryTurn::DirectoryTurn(const char *dir) noexcept {
    RootedPath rooted(dir);
    fd_ = rooted.c_str() != nullptr
              ? open_descriptor(rooted.c_str(), O_RDONLY | O_DIRECTORY | O_NONBLOCK)
              : -1;
    // Tried a millisecond apart rather than waited for, so that a lock that
    // is never released cannot hold the report.
    for (int waited = 0; fd_ >= 0 && waited <= kTurnWaitMs; ++waited) {
        if (sys.flock(fd_, LOCK_EX | LOCK_NB) == 0) {
            held_ = true;
            break;
        }
        if (errno != EWOULDBLOCK && errno != EINTR)
            break;
        const timespec ms = {0, 1000000};
        ::nanosleep(&ms, nullptr);
    }
}

DirectoryTurn::~DirectoryTurn() {
    if (fd_ >= 0)
        ::close(fd_); // releases the lock
}

int TextReader::get() noexcept {
    if (has_pushed()) {
        const int c = pushed_;
        pushed_ = EOF;
        return c;
    }
    while (left_ > 0) {
        const int c = sys.getc(stream_);
        if (c != EOF) {
            --left_;
            return c;
        }
        if (!std::ferror(stream_))
            break;
        if (errno != EINTR) {
            failed_ = true;
            break;
        }
        std::clearerr(stream_);
    }
    return EOF;
}

bool TextReader::line(char *buf, std::size_t size) noexcept {
    if (size == 0)
        return false;
    std::size_t n = 0;
    for (int c; n + 1 < size && (c = get()) != EOF;) {
        buf[n++] = static_cast<char>(c);
        if (c == '\n')
            break;
    }
    buf[failed_ ? 0 : n] = '\0';
    return n > 0 && !failed_;
}

bool TextReader::word(char *buf, std::size_t size, const char *set) noexcept {
    if (size == 0)
        return false;
    int c;
    while ((c = get()) != EOF && std::isspace(c)) {
    }
    std::size_t n = 0;
    for (; c != EOF && n + 1 < size; c = get()) {
        const bool in_word =
            set != nullptr ? c != '\0' && std::strchr(set, c) != nullptr : std::isspace(c) == 0;
        if (!in_word)
            break;
        buf[n++] = static_cast<char>(c);
    }
    unget(c);
    buf[failed_ ? 0 : n] = '\0';
    return n > 0 && !failed_;
}

bool TextReader::literal(const char *text) noexcept {
    for (; *text != '\0'; ++text) {
        const int c = get();
        if (c != static_cast<unsigned char>(*text)) {
            unget(c);
            return false;
        }
    }
    return true;
}

File open_rooted(const char *path, int flags) noexcept {
    RootedPath rooted(path);
    if (rooted.c_str() == nullptr) {
        errno = rooted.error();
        return nullptr;
    }
    Fd fd(open_descriptor(rooted.c_str(), O_RDONLY | O_NONBLOCK | flags));
    if (fd.get() < 0)
        return nullptr;
    struct stat st;
    if (sys.fstat(fd.get(), &st) != 0)
        return nullptr;
    if (!S_ISREG(st.st_mode)) {
        errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        return nullptr;
    }
    // Reads of a regular file never wait; blocking mode is restored anyway
    // so that the stream behaves as one from fopen would.
    const int status = sys.fcntl(fd.get(), F_GETFL, 0);
    if (status < 0 || sys.fcntl(fd.get(), F_SETFL, status & ~O_NONBLOCK) != 0)
        return nullptr;
    File file(sys.fdopen(fd.get(), "r"));
    if (file)
        fd.release();
    return file;
}

int stat_rooted(const char *path, struct stat *st) noexcept {
    RootedPath rooted(path);
    if (rooted.c_str() == nullptr) {
        errno = rooted.error();
        return -1;
    }
    return sys.stat(rooted.c_str(), st);
}

int unlink_rooted(const char *path) noexcept {
    RootedPath rooted(path);
    if (rooted.c_str() == nullptr) {
        errno = rooted.error();
        return -1;
    }
    return sys.unlink(rooted.c_str());
}

bool create_output_file(const char *path) noexcept {
    RootedPath rooted(path);
    if (rooted.c_str() == nullptr || (unlink_rooted(path) != 0 && errno != ENOENT))
        return false;
    // Mode as the shell would create it; the process's mask applies.
    Fd fd(open_descriptor(rooted.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0666));
    return fd.get() >= 0 && fd.close() == 0;
}

bool read_first_line(const char *path, char *buf, std::size_t size) noexcept {
    if (size == 0)
        return false;
    buf[0] = '\0';
    File file = open_rooted(path);
    return file && TextReader(file.get()).line(buf, size);
}

bool build_command(char *out, std::size_t size, const char *operation, const char *format,
                   std::initializer_list<const char *> paths) noexcept {
    if (size == 0)
        return false;
    std::size_t pos = 0;
    auto path = paths.begin();
    for (const char *f = format; *f != '\0' && pos < size; ++f) {
        if (f[0] == '%' && f[1] == 's' && path != paths.end()) {
            RootedPath rooted(*path++);
            if (rooted.error() == EINVAL) {
                out[0] = '\0'; // a refused root runs nothing; the call has said so
                return false;
            }
            pos = rooted.c_str() != nullptr ? put_word(out, size, pos, rooted.c_str()) : size;
            ++f;
        } else {
            out[pos++] = *f;
        }
    }
    if (pos >= size) {
        out[0] = '\0';
        say(stderr, "%s: command does not fit in %zu bytes, not run\n", operation, size);
        return false;
    }
    out[pos] = '\0';
    return true;
}

} // namespace sysmgrcli
