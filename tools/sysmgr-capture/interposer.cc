// SPDX-License-Identifier: MIT
// libsysmgrcapture.so, an audit module (LD_AUDIT): binds each reference
// libsysmgrcli.so makes to a platform call (calls.def) or to a C library
// function through which files and utilities' output reach it (LIBC_CALLS) to
// a wrapper that calls the definition and sends what it answered to
// sysmgr-capture (capture_log.h). In a link-map namespace of its own, it
// reaches the host's errno and environment through the host's C library, and
// uses no C++ library, as every process the command starts loads it.
#include <link.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include <dlfcn.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "capture_log.h"
#include "platform/platform.h"

namespace {

class Locked {
  public:
    explicit Locked(pthread_mutex_t &mutex) : mutex_(mutex) { pthread_mutex_lock(&mutex_); }
    ~Locked() { pthread_mutex_unlock(&mutex_); }
    Locked(const Locked &) = delete;
    Locked &operator=(const Locked &) = delete;

  private:
    pthread_mutex_t &mutex_;
};
pthread_mutex_t g_state_lock = PTHREAD_MUTEX_INITIALIZER; // the paths seen and the pipes
pthread_mutex_t g_log_lock = PTHREAD_MUTEX_INITIALIZER;

const char *g_socket_path = nullptr; // the record's socket; null: this process records nothing
std::atomic<int> g_bindings{0};

/*
 * This process's connection to the record's socket, made at its first line
 * (again in a forked child). The host may close the descriptor or reuse its
 * number: before each write it must still be the socket connected, else the
 * process records no more, and its record, which then lacks the end line,
 * fails the capture.
 */
struct Connection {
    pid_t pid = 0;
    int fd = -1;
    dev_t dev = 0;
    ino_t ino = 0;
    bool done = false; // broken, or ended: no more lines from this process
};
Connection g_connection;

bool still_ours(const Connection &c) {
    struct stat st;
    return c.fd >= 0 && ::fstat(c.fd, &st) == 0 && st.st_dev == c.dev && st.st_ino == c.ino;
}

bool connect_record(Connection &c) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (std::strlen(g_socket_path) >= sizeof address.sun_path)
        return false;
    std::strcpy(address.sun_path, g_socket_path);
    c.fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    struct stat st;
    if (c.fd >= 0 && ::connect(c.fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 &&
        ::fstat(c.fd, &st) == 0) {
        c.dev = st.st_dev;
        c.ino = st.st_ino;
        return true;
    }
    if (c.fd >= 0)
        ::close(c.fd);
    c.fd = -1;
    return false;
}

/* Sends a line; a lost line (failed) ends the record, as the end line does. */
void write_line(const char *line, std::size_t size, bool failed, bool end) {
    Locked lock(g_log_lock);
    Connection &c = g_connection;
    if (c.pid != ::getpid()) { // a forked child: the connection is its parent's
        if (still_ours(c))
            ::close(c.fd);
        c = Connection{::getpid()};
    }
    if (c.done)
        return;
    bool sent = !failed && (c.fd >= 0 || connect_record(c)) && still_ours(c);
    for (std::size_t done = 0; sent && done < size;) {
        const ssize_t n = ::send(c.fd, line + done, size - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        sent = n > 0;
        done += sent ? static_cast<std::size_t>(n) : 0;
    }
    if (!sent || end) {
        if (still_ours(c))
            ::close(c.fd);
        c.fd = -1;
        c.done = true;
    }
}

/* The host's C library: its errno and its environment. */
int *(*g_host_errno)() = nullptr;
char *(*g_host_getenv)(const char *) = nullptr;
pthread_once_t g_host_once = PTHREAD_ONCE_INIT;

void find_host_libc() {
    void *libc = dlmopen(LM_ID_BASE, "libc.so.6", RTLD_LAZY | RTLD_NOLOAD);
    g_host_errno = reinterpret_cast<int *(*)()>(libc ? dlsym(libc, "__errno_location") : nullptr);
    g_host_getenv =
        reinterpret_cast<char *(*)(const char *)>(libc ? dlsym(libc, "getenv") : nullptr);
}

int *host_errno() {
    pthread_once(&g_host_once, find_host_libc);
    return g_host_errno != nullptr ? g_host_errno() : &errno;
}

/* $SYSMGRCLI_ROOT as the library sees it now; "" when unset. */
const char *host_root() {
    pthread_once(&g_host_once, find_host_libc);
    const char *root = g_host_getenv != nullptr ? g_host_getenv("SYSMGRCLI_ROOT") : nullptr;
    return root != nullptr ? root : "";
}

/* One line of the record, sent when it goes: "pid", "fn", then the members added; bytes in hex. */
class Event {
  public:
    explicit Event(const char *fn, bool end = false)
        : out_(open_memstream(&data_, &size_)), end_(end) {
        put("{\"pid\":%d,\"fn\":\"%s\"", static_cast<int>(::getpid()), fn);
    }
    ~Event() {
        put("}\n");
        bool failed = out_ == nullptr || std::ferror(out_) != 0;
        failed = (out_ != nullptr && std::fclose(out_) != 0) || failed;
        write_line(data_, size_, failed, end_);
        std::free(data_);
    }
    Event(const Event &) = delete;
    Event &operator=(const Event &) = delete;

    Event &key(const char *name) { return put(",\"%s\":", name); }
    /* A list's values: each but the first after a comma. */
    Event &list(const char *name) {
        first_ = true;
        return key(name).put("[");
    }
    Event &close() { return put("]"); }
    Event &next() {
        put(first_ ? "" : ",");
        first_ = false;
        return *this;
    }
    template <typename T>
    Event &number(T value) {
        static_assert(std::is_integral_v<T>);
        if constexpr (std::is_signed_v<T>)
            return put("%lld", static_cast<long long>(value));
        else
            return put("%llu", static_cast<unsigned long long>(value));
    }
    /* A text of at most max bytes, null for none. */
    Event &string(const char *t, std::size_t max) {
        return t ? hex(t, strnlen(t, max)) : put("null");
    }
    Event &hex(const void *p, std::size_t n) {
        put("\"");
        digits(p, n);
        return put("\"");
    }

    template <typename T>
    Event &field(const char *name, T value) {
        return key(name).number(value);
    }
    Event &text(const char *name, const char *t) { return key(name).string(t, PATH_MAX); }
    Event &word(const char *name, const char *word) { return key(name).put("\"%s\"", word); }
    /* A command as shown: every copy of the root taken out. */
    Event &command(const char *cmd) {
        const char *root = host_root();
        const std::size_t n = std::strlen(root);
        key("cmd").put("\"");
        for (const char *p = cmd; *p != '\0';)
            if (n > 1 && std::strncmp(p, root, n) == 0)
                p += n;
            else
                digits(p++, 1);
        return put("\"");
    }
    /* Storage a call filled: size bytes at p, absent when p is null. */
    void bytes(const char *name, const void *p, std::size_t size) {
        if (p != nullptr)
            key(name).hex(p, size);
    }
    /* A response's length, whether it is null, and its bytes, when the call succeeded. */
    void response(int32_t rc, void *const *resp, const uint32_t *len) {
        if (rc != 0 || resp == nullptr || len == nullptr)
            return;
        field("length", *len).field("null_response", *resp == nullptr ? 1 : 0);
        bytes("response", *resp, *len < SYSMGR_CAPTURE_MAX_DATA ? *len : SYSMGR_CAPTURE_MAX_DATA);
    }
    /* "data": up to SYSMGR_CAPTURE_MAX_DATA bytes of the regular file at path. */
    void file_data(const char *path, bool follow) {
        key("data").put("\"");
        const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | (follow ? 0 : O_NOFOLLOW));
        char chunk[4096];
        for (std::size_t left = SYSMGR_CAPTURE_MAX_DATA; fd >= 0 && left > 0;) {
            const ssize_t n = ::read(fd, chunk, left < sizeof chunk ? left : sizeof chunk);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            digits(chunk, static_cast<std::size_t>(n));
            left -= static_cast<std::size_t>(n);
        }
        if (fd >= 0)
            ::close(fd);
        put("\"");
    }

  private:
    Event &put(const char *format, ...) __attribute__((format(printf, 2, 3))) {
        va_list ap;
        va_start(ap, format);
        if (out_ != nullptr)
            std::vfprintf(out_, format, ap);
        va_end(ap);
        return *this;
    }
    void digits(const void *p, std::size_t n) {
        for (std::size_t i = 0; out_ != nullptr && i < n; ++i) {
            const unsigned char byte = static_cast<const unsigned char *>(p)[i];
            std::fputc("0123456789abcdef"[byte >> 4], out_);
            std::fputc("0123456789abcdef"[byte & 15], out_);
        }
    }
    char *data_ = nullptr;
    std::size_t size_ = 0;
    std::FILE *out_;
    bool end_;
    bool first_ = true;
};

/* The paths seen so far (below the root) and whether each was absent then. */
struct Seen {
    char *path;
    bool absent;
    bool has_data;
};
Seen *g_seen = nullptr;
std::size_t g_seen_count = 0;

Seen *find_seen(const char *path) {
    for (std::size_t i = 0; i < g_seen_count; ++i)
        if (std::strcmp(g_seen[i].path, path) == 0)
            return &g_seen[i];
    return nullptr;
}

Seen *add_seen(const char *path, bool absent) {
    auto *grown = static_cast<Seen *>(std::realloc(g_seen, (g_seen_count + 1) * sizeof *g_seen));
    g_seen = grown != nullptr ? grown : g_seen;
    char *copy = grown != nullptr ? strdup(path) : nullptr;
    if (copy == nullptr)
        return nullptr;
    g_seen[g_seen_count] = Seen{copy, absent, false};
    return &g_seen[g_seen_count++];
}

/* Records each directory above path (full) the first time it is seen. */
void note_parents(const char *full, const char *shown) {
    char dir[PATH_MAX];
    const std::size_t skip = static_cast<std::size_t>(shown - full);
    for (const char *slash = std::strchr(shown + 1, '/'); slash != nullptr;
         slash = std::strchr(slash + 1, '/')) {
        const std::size_t n = static_cast<std::size_t>(slash - full);
        if (n >= sizeof dir)
            return;
        std::memcpy(dir, full, n);
        dir[n] = '\0';
        struct stat st;
        if (find_seen(dir + skip) != nullptr || ::stat(dir, &st) != 0 || !S_ISDIR(st.st_mode))
            continue;
        add_seen(dir + skip, false);
        Event("@file")
            .text("path", dir + skip)
            .word("state", "directory")
            .field("mode", st.st_mode & 07777);
    }
}

/*
 * Called before the library opens (reads) or examines path: the first time,
 * records the path as found, following a link when the library's access
 * follows it; the data of a regular file the library reads; and a file the
 * run made itself each time the library is about to read it.
 */
void note_path(const char *path, bool follow, bool reads) {
    if (path == nullptr)
        return;
    const char *root = host_root();
    const std::size_t n = std::strlen(root);
    const char *shown =
        n > 0 && std::strncmp(path, root, n) == 0 && path[n] == '/' ? path + n : path;
    Locked lock(g_state_lock);
    if (Seen *seen = find_seen(shown)) {
        if (reads && (seen->absent || !seen->has_data)) {
            Event(seen->absent ? "@made" : "@file")
                .text("path", shown)
                .word("state", "regular")
                .file_data(path, follow);
            seen->has_data = !seen->absent;
        }
        return;
    }
    note_parents(path, shown);
    struct stat st;
    const bool found = (follow ? ::stat(path, &st) : ::lstat(path, &st)) == 0;
    Seen *seen = add_seen(shown, !found);
    Event e("@file");
    e.text("path", shown);
    if (!found) {
        e.word("state", "absent");
        return;
    }
    const bool regular = S_ISREG(st.st_mode), link = S_ISLNK(st.st_mode);
    e.word("state", regular               ? "regular"
                    : S_ISDIR(st.st_mode) ? "directory"
                    : link                ? "symlink"
                                          : "other")
        .field("mode", st.st_mode & 07777);
    if (regular && reads) {
        e.file_data(path, follow);
        if (seen != nullptr)
            seen->has_data = true;
    }
    if (link) {
        char target[PATH_MAX];
        const ssize_t size = ::readlink(path, target, sizeof target - 1);
        target[size > 0 ? size : 0] = '\0';
        e.text("target", target);
    }
}

/* The pipes from popen() being read, with the bytes read so far. */
struct Pipe {
    std::FILE *file = nullptr; // the host's stream; null: a free slot
    int fd = -1;
    char *command = nullptr;
    std::FILE *out = nullptr; // the bytes read, kept in data
    char *data = nullptr;
    std::size_t size = 0, kept = 0;
};
Pipe g_pipes[16]; // more pipes at once than a report opens are not kept
std::atomic<int> g_pipes_open{0};

/* Keeps what a read from a stream (or, with file null, a descriptor) gave, when it is a pipe's. */
void keep_read(const std::FILE *file, int fd, const void *bytes, ssize_t got) {
    if (got <= 0 || g_pipes_open.load(std::memory_order_relaxed) == 0)
        return;
    const auto n = static_cast<std::size_t>(got);
    Locked lock(g_state_lock);
    for (Pipe &p : g_pipes) {
        if (p.file != nullptr && (file != nullptr ? p.file == file : p.fd == fd)) {
            const std::size_t room = SYSMGR_CAPTURE_MAX_DATA - p.kept;
            p.kept += std::fwrite(bytes, 1, n < room ? n : room, p.out);
        }
    }
}

// The C library functions recorded through: the name and the template that
// wraps it, with its arguments. A test compares the library's imports with it.
// clang-format off
#define LIBC_CALLS \
    LIBC(open, open_w) LIBC(open64, open_w) LIBC(openat, openat_w) LIBC(openat64, openat_w) \
    LIBC(fopen, fopen_w) LIBC(fopen64, fopen_w) LIBC(access, examine_w, true, int) \
    LIBC(stat, examine_w, true, void *) LIBC(stat64, examine_w, true, void *) \
    LIBC(__stat64_time64, examine_w, true, void *) LIBC(lstat, examine_w, false, void *) \
    LIBC(lstat64, examine_w, false, void *) LIBC(__lstat64_time64, examine_w, false, void *) \
    LIBC(fstatat, fstatat_w) LIBC(fstatat64, fstatat_w) LIBC(__fstatat64_time64, fstatat_w) \
    LIBC(popen, popen_w) LIBC(pclose, pclose_w) LIBC(system, system_w) \
    LIBC(getc, getc_w) LIBC(fgetc, getc_w) LIBC(getc_unlocked, getc_w) \
    LIBC(fgetc_unlocked, getc_w) LIBC(_IO_getc, getc_w) \
    LIBC(fgets, fgets_w) LIBC(fgets_unlocked, fgets_w) LIBC(fread, fread_w) \
    LIBC(fread_unlocked, fread_w) LIBC(getline, getline_w) LIBC(getdelim, getdelim_w) \
    LIBC(__getdelim, getdelim_w) LIBC(read, read_w)
// clang-format on

enum Hook {
#define CALL(ret, name, ...) H_##name,
#include "calls.def"
#undef CALL
#define LIBC(name, ...) H_##name,
    LIBC_CALLS
#undef LIBC
        kHookCount
};

/* What each reference would have bound to, set as the library is bound. */
std::atomic<void *> g_real[kHookCount];

/* The definition behind hook h, as the type of its wrapper. */
template <typename F>
F real(Hook h) {
    return reinterpret_cast<F>(g_real[h].load(std::memory_order_relaxed));
}

// A platform wrapper per row: the integer and text arguments read before the
// call, then the result, errno and what the call filled. A row's outs may
// name the call's result and the opcode of the request the thread sent last,
// which decides what a payload holds.
thread_local uint32_t t_last_opcode = 0;

std::size_t payload_size(uint32_t opcode) {
    return opcode == SYSMGR_OPC_SCOPE_DONE     ? sizeof(sysmgr_scope_done_rsp_t)
           : opcode == SYSMGR_OPC_PRIOR_UPTIME ? sizeof(sysmgr_prior_uptime_rsp_t)
                                               : 0;
}

#define I(x) e.next().number(x);
#define W(p, n)                                                                                    \
    for (std::size_t i = 0; (p) != nullptr && i < (n); ++i)                                        \
        e.next().number((p)[i]);
#define T(p, max) e.next().string(p, max);
#define O(name, p, size) e.bytes(name, p, size);
#define F(name, value) e.field(name, value);
#define R_INT e.field("r", result);
#define R_HEX R_INT
#define R_TEXT e.key("r").string(result, PATH_MAX);
#define R_POINTER(what) e.field("r", reinterpret_cast<uintptr_t>(result));
#define R_STATUS(resp, len) R_INT e.response(result, resp, len);
#define CALL(ret, name, params, args, ints, texts, shown, outs, members)                           \
    ret w_##name params {                                                                          \
        Event e(#name);                                                                            \
        e.list("a");                                                                               \
        ints e.close().list("t");                                                                  \
        texts e.close();                                                                           \
        ret result = real<decltype(&w_##name)>(H_##name) args;                                     \
        const int call_errno = *host_errno();                                                      \
        shown e.field("e", call_errno);                                                            \
        outs *host_errno() = call_errno;                                                           \
        return result;                                                                             \
    }
#include "calls.def"
#undef CALL
#undef I
#undef W
#undef T
#undef O
#undef F
#undef R_INT
#undef R_HEX
#undef R_TEXT
#undef R_POINTER
#undef R_STATUS

// The file functions: the path noted, then the call.
bool reads_only(int flags) {
    return (flags & O_ACCMODE) == O_RDONLY && (flags & (O_CREAT | O_TRUNC)) == 0;
}
bool takes_mode(int flags) {
    return (flags & (O_CREAT | O_TMPFILE)) != 0;
}

/* path from directory dir, as the process reaches it; null when it cannot tell. */
const char *at_path(int dir, const char *path, char (&full)[PATH_MAX]) {
    if (path == nullptr || path[0] == '/' || dir == AT_FDCWD)
        return path;
    char link[32];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", dir);
    const ssize_t n = ::readlink(link, full, sizeof full - 1);
    if (n <= 0)
        return nullptr;
    const auto left = sizeof full - static_cast<std::size_t>(n);
    const int added = std::snprintf(full + n, left, "/%s", path);
    return added > 0 && static_cast<std::size_t>(added) < left ? full : nullptr;
}

template <Hook H>
int open_w(const char *path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    const mode_t mode = takes_mode(flags) ? va_arg(ap, mode_t) : 0;
    va_end(ap);
    note_path(path, (flags & O_NOFOLLOW) == 0, reads_only(flags));
    return real<decltype(&open_w<H>)>(H)(path, flags, mode);
}
template <Hook H>
int openat_w(int dir, const char *path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    const mode_t mode = takes_mode(flags) ? va_arg(ap, mode_t) : 0;
    va_end(ap);
    char full[PATH_MAX];
    note_path(at_path(dir, path, full), (flags & O_NOFOLLOW) == 0, reads_only(flags));
    return real<decltype(&openat_w<H>)>(H)(dir, path, flags, mode);
}
template <Hook H>
std::FILE *fopen_w(const char *path, const char *mode) {
    note_path(path, true, mode != nullptr && mode[0] == 'r' && std::strchr(mode, '+') == nullptr);
    return real<decltype(&fopen_w<H>)>(H)(path, mode);
}
template <Hook H, bool Follow, typename A>
int examine_w(const char *path, A arg) {
    note_path(path, Follow, false);
    return real<decltype(&examine_w<H, Follow, A>)>(H)(path, arg);
}
template <Hook H>
int fstatat_w(int dir, const char *path, void *st, int flags) {
    char full[PATH_MAX];
    if (path != nullptr && path[0] != '\0') // else the descriptor's own file, noted when opened
        note_path(at_path(dir, path, full), (flags & AT_SYMLINK_NOFOLLOW) == 0, false);
    return real<decltype(&fstatat_w<H>)>(H)(dir, path, st, flags);
}

// The utilities: a pipe is tracked from popen to pclose, what the library
// read from it kept whichever function read it.
template <Hook H>
std::FILE *popen_w(const char *command, const char *mode) {
    std::FILE *file = real<decltype(&popen_w<H>)>(H)(command, mode);
    Locked lock(g_state_lock);
    for (Pipe &p : g_pipes) {
        if (file == nullptr || p.file != nullptr)
            continue;
        p = Pipe{file, fileno(file), strdup(command)};
        p.out = p.command != nullptr ? open_memstream(&p.data, &p.size) : nullptr;
        if (p.out == nullptr) {
            std::free(p.command);
            p = Pipe{};
        }
        g_pipes_open.fetch_add(p.file != nullptr ? 1 : 0);
        break;
    }
    return file;
}
template <Hook H>
int pclose_w(std::FILE *file) {
    const int status = real<decltype(&pclose_w<H>)>(H)(file);
    Locked lock(g_state_lock);
    for (Pipe &p : g_pipes) {
        if (p.file != file || file == nullptr)
            continue;
        std::fclose(p.out);
        Event("@popen")
            .command(p.command)
            .field("status", status)
            .bytes("data", p.data != nullptr ? p.data : "", p.size);
        std::free(p.command);
        std::free(p.data);
        p = Pipe{};
        g_pipes_open.fetch_sub(1);
    }
    return status;
}
template <Hook H>
int system_w(const char *command) {
    const int status = real<decltype(&system_w<H>)>(H)(command);
    Event e("@system");
    if (command != nullptr)
        e.command(command);
    e.field("status", status);
    return status;
}
template <Hook H>
int getc_w(std::FILE *file) {
    const int c = real<decltype(&getc_w<H>)>(H)(file);
    const char byte = static_cast<char>(c);
    keep_read(file, -1, &byte, c != EOF ? 1 : 0);
    return c;
}
#define READ_W(name, ret, params, args, file, fd, bytes, n)                                        \
    template <Hook H>                                                                              \
    ret name params {                                                                              \
        const auto r = real<decltype(&name<H>)>(H) args;                                           \
        keep_read(file, fd, bytes, n);                                                             \
        return r;                                                                                  \
    }
READ_W(fgets_w, char *, (char *s, int size, std::FILE *file), (s, size, file), file, -1, r,
       r != nullptr ? static_cast<ssize_t>(std::strlen(r)) : 0)
READ_W(fread_w, std::size_t, (void *p, std::size_t size, std::size_t n, std::FILE *file),
       (p, size, n, file), file, -1, p, static_cast<ssize_t>(r) * static_cast<ssize_t>(size))
READ_W(getline_w, ssize_t, (char **line, std::size_t *capacity, std::FILE *file),
       (line, capacity, file), file, -1, r > 0 ? *line : nullptr, r)
READ_W(getdelim_w, ssize_t, (char **line, std::size_t *capacity, int delim, std::FILE *file),
       (line, capacity, delim, file), file, -1, r > 0 ? *line : nullptr, r)
READ_W(read_w, ssize_t, (int fd, void *p, std::size_t size), (fd, p, size), nullptr, fd, p, r)
#undef READ_W

/* The alternate report's entry, called by the host: its queue handle reaches no platform call. */
std::atomic<void *> g_real_entry{nullptr};
int w_sysmgr_show_version_internal2(int32_t q, void *rx) {
    Event("@entry").field("q", q);
    return reinterpret_cast<decltype(&w_sysmgr_show_version_internal2)>(g_real_entry.load())(q, rx);
}

struct Wrapper {
    const char *name;
    void *address;
};
const Wrapper kWrappers[kHookCount] = {
#define CALL(ret, name, ...) {#name, reinterpret_cast<void *>(&w_##name)},
#include "calls.def"
#undef CALL
#define LIBC(name, wrapper, ...)                                                                   \
    {#name, reinterpret_cast<void *>(&wrapper<H_##name __VA_OPT__(, ) __VA_ARGS__>)},
    LIBC_CALLS
#undef LIBC
};

std::atomic<uintptr_t *> g_library_cookies[4];

bool is_library(const uintptr_t *cookie) {
    for (const auto &c : g_library_cookies)
        if (c.load() == cookie && cookie != nullptr)
            return true;
    return false;
}

uintptr_t bind(uintptr_t value, const uintptr_t *refcook, const uintptr_t *defcook,
               const char *name) {
    if (!is_library(refcook)) {
        if (!is_library(defcook) || std::strcmp(name, "sysmgr_show_version_internal2") != 0)
            return value;
        g_real_entry.store(reinterpret_cast<void *>(value));
        return reinterpret_cast<uintptr_t>(&w_sysmgr_show_version_internal2);
    }
    for (std::size_t h = 0; h < kHookCount; ++h) {
        if (std::strcmp(kWrappers[h].name, name) == 0) {
            g_real[h].store(reinterpret_cast<void *>(value));
            g_bindings.fetch_add(1);
            return reinterpret_cast<uintptr_t>(kWrappers[h].address);
        }
    }
    return value;
}

} // namespace

// The audit interface.
#define AUDIT extern "C" __attribute__((visibility("default")))

AUDIT unsigned la_version(unsigned version) {
    const char *log = std::getenv(SYSMGR_CAPTURE_SOCKET_VARIABLE);
    g_socket_path = log != nullptr && log[0] != '\0' ? log : nullptr;
    return version >= 1 ? LAV_CURRENT : 0;
}

/* The library's references are bound through here, and the host's, to see it call the alternate
 * report. */
AUDIT unsigned la_objopen(struct link_map *map, Lmid_t, uintptr_t *cookie) {
    const char *name = map->l_name != nullptr ? map->l_name : "";
    const char *base = std::strrchr(name, '/');
    base = base != nullptr ? base + 1 : name;
    if (g_socket_path == nullptr)
        return 0;
    if (std::strncmp(base, "libsysmgrcli.so", 15) != 0)
        return LA_FLG_BINDTO | LA_FLG_BINDFROM;
    for (auto &c : g_library_cookies) {
        uintptr_t *none = nullptr;
        if (c.compare_exchange_strong(none, cookie)) {
            // The host's TZ as it started; the report's local times follow it.
            Event("@library").text("path", name).text("tz", std::getenv("TZ"));
            break;
        }
    }
    return LA_FLG_BINDTO | LA_FLG_BINDFROM;
}

AUDIT uintptr_t la_symbind64(Elf64_Sym *sym, unsigned int, uintptr_t *refcook, uintptr_t *defcook,
                             unsigned int *, const char *name) {
    return bind(sym->st_value, refcook, defcook, name);
}

AUDIT uintptr_t la_symbind32(Elf32_Sym *sym, unsigned int, uintptr_t *refcook, uintptr_t *defcook,
                             unsigned int *, const char *name) {
    return bind(sym->st_value, refcook, defcook, name);
}

namespace {

/* At exit: how many of the library's references the recorder took, and the record's end. */
__attribute__((destructor)) void report_bindings() {
    if (g_socket_path == nullptr)
        return;
    if (g_library_cookies[0].load() != nullptr)
        Event("@bindings").field("count", g_bindings.load());
    bool connected;
    {
        Locked lock(g_log_lock);
        connected = g_connection.pid == ::getpid() && g_connection.fd >= 0;
    }
    if (connected)
        Event("@end", true);
}

} // namespace
