// SPDX-License-Identifier: MIT
// libsysmgrcapture.so, an audit module (LD_AUDIT): binds each reference
// libsysmgrcli.so makes to a platform call (calls.def), or to a C library
// function that opens or examines a path or starts a utility (LIBC_CALLS), to
// a wrapper that calls the definition and sends what it answered to
// sysmgr-capture (capture_log.h). A file is recorded from its path when it is
// opened and a utility's output when it is started, so whichever function the
// library reads them with needs no wrapper. In a link-map namespace of its
// own, the module reaches the host's errno, environment and streams through
// the host's C library, and uses no C++ library, as every process the command
// starts loads it.
#include <link.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include <dlfcn.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "capture_log.h"
#include "platform/platform.h"

namespace {

struct Locked {
    explicit Locked(pthread_mutex_t &mutex) : mutex_(mutex) { pthread_mutex_lock(&mutex_); }
    ~Locked() { pthread_mutex_unlock(&mutex_); }
    pthread_mutex_t &mutex_;
};
pthread_mutex_t g_state_lock = PTHREAD_MUTEX_INITIALIZER; // the paths seen and the utilities run
pthread_mutex_t g_log_lock = PTHREAD_MUTEX_INITIALIZER;   // the connection

const char *g_socket_path = nullptr; // the record's socket; null: this process records nothing
std::atomic<int> g_bindings{0};

/*
 * This process's connection to the record's socket, made at its first line
 * (again in a forked child, whose descriptor is its parent's). The host may
 * close the descriptor or reuse its number: before each write it must still
 * be the socket connected, else the process records no more (fd -1), and its
 * record, which then lacks the end line, fails the capture.
 */
struct Connection {
    pid_t pid = 0;
    int fd = -1;
    struct stat st {};
} g_connection;

bool still_ours(const Connection &c) {
    struct stat st;
    return c.fd >= 0 && ::fstat(c.fd, &st) == 0 && st.st_dev == c.st.st_dev &&
           st.st_ino == c.st.st_ino;
}

void connect_record(Connection &c) {
    c = Connection{::getpid()};
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (std::strlen(g_socket_path) >= sizeof address.sun_path)
        return;
    std::strcpy(address.sun_path, g_socket_path);
    c.fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (c.fd >= 0 &&
        (::connect(c.fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
         ::fstat(c.fd, &c.st) != 0)) {
        ::close(c.fd);
        c.fd = -1;
    }
}

/* Sends a line, null when it was lost; a lost line ends the record, as the end line does. */
void write_line(const char *line, std::size_t size, bool end) {
    Locked lock(g_log_lock);
    Connection &c = g_connection;
    if (c.pid != ::getpid()) {
        if (still_ours(c))
            ::close(c.fd);
        connect_record(c);
    }
    bool sent = line != nullptr && still_ours(c);
    for (std::size_t done = 0; sent && done < size;) {
        const ssize_t n = ::send(c.fd, line + done, size - done, MSG_NOSIGNAL);
        sent = n > 0 || (n < 0 && errno == EINTR);
        done += n > 0 ? static_cast<std::size_t>(n) : 0;
    }
    if (!sent || end) {
        if (still_ours(c))
            ::close(c.fd);
        c.fd = -1;
    }
}

/* The host's C library, which the library's errno, environment and streams belong to. */
struct HostLibc {
    int *(*errno_location)() = __errno_location;
    char *(*getenv)(const char *) = ::getenv;
    std::FILE *(*fdopen)(int, const char *) = ::fdopen;
    int (*fileno)(std::FILE *) = ::fileno;
    int (*fclose)(std::FILE *) = ::fclose;
    int (*pclose)(std::FILE *) = ::pclose;
} g_host;
pthread_once_t g_host_once = PTHREAD_ONCE_INIT;

template <typename F>
void find_host(void *libc, const char *name, F &f) {
    if (void *found = libc != nullptr ? dlsym(libc, name) : nullptr)
        f = reinterpret_cast<F>(found);
}

/* Found at the first use; this module's own functions where the host has none. */
const HostLibc &host() {
    pthread_once(&g_host_once, [] {
        void *libc = dlmopen(LM_ID_BASE, "libc.so.6", RTLD_LAZY | RTLD_NOLOAD);
        find_host(libc, "__errno_location", g_host.errno_location);
        find_host(libc, "getenv", g_host.getenv);
        find_host(libc, "fdopen", g_host.fdopen);
        find_host(libc, "fileno", g_host.fileno);
        find_host(libc, "fclose", g_host.fclose);
        find_host(libc, "pclose", g_host.pclose);
    });
    return g_host;
}

/* $SYSMGRCLI_ROOT as the library sees it now; "" when unset. */
const char *host_root() {
    const char *root = host().getenv("SYSMGRCLI_ROOT");
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
        bool whole = out_ != nullptr && std::ferror(out_) == 0;
        whole = out_ != nullptr && std::fclose(out_) == 0 && whole;
        write_line(whole ? data_ : nullptr, size_, end_);
        std::free(data_);
    }
    Event(const Event &) = delete;
    Event &operator=(const Event &) = delete;

    Event &key(const char *name) { return put(",\"%s\":", name); }
    /* A list's items: each but the first after a comma. */
    Event &list(const char *name) {
        first_ = true;
        return key(name).put("[");
    }
    Event &item() {
        put(first_ ? "" : ",");
        first_ = false;
        return *this;
    }
    Event &end_list() { return put("]"); }
    template <typename T>
    Event &number(T value) {
        static_assert(std::is_integral_v<T>);
        if constexpr (std::is_signed_v<T>)
            return put("%lld", static_cast<long long>(value));
        else
            return put("%llu", static_cast<unsigned long long>(value));
    }
    template <typename T>
    Event &field(const char *name, T value) {
        return key(name).number(value);
    }
    /* A text of at most max bytes, null for none. */
    Event &string(const char *t, std::size_t max = PATH_MAX) {
        return t != nullptr ? hex(t, strnlen(t, max)) : put("null");
    }
    Event &hex(const void *p, std::size_t n) { return put("\"").digits(p, n).put("\""); }
    Event &text(const char *name, const char *t) { return key(name).string(t); }
    Event &word(const char *name, const char *word) { return key(name).put("\"%s\"", word); }
    /* Storage a call filled: size bytes at p, absent when p is null. */
    Event &bytes(const char *name, const void *p, std::size_t size) {
        return p != nullptr ? key(name).hex(p, size) : *this;
    }
    /* A response's length, whether it is null, and its bytes, when the call succeeded. */
    void response(int32_t rc, void *const *resp, const uint32_t *len) {
        if (rc == 0 && resp != nullptr && len != nullptr)
            field("length", *len)
                .field("null_response", *resp == nullptr ? 1 : 0)
                .bytes("response", *resp,
                       *len < SYSMGR_CAPTURE_MAX_DATA ? *len : SYSMGR_CAPTURE_MAX_DATA);
    }
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
    /* "data": up to SYSMGR_CAPTURE_MAX_DATA bytes of fd from its start. */
    Event &data(int fd) {
        key("data").put("\"");
        char chunk[4096];
        for (std::size_t kept = 0; fd >= 0 && kept < SYSMGR_CAPTURE_MAX_DATA;) {
            const std::size_t left = SYSMGR_CAPTURE_MAX_DATA - kept;
            const ssize_t n = ::pread(fd, chunk, left < sizeof chunk ? left : sizeof chunk,
                                      static_cast<off_t>(kept));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            digits(chunk, static_cast<std::size_t>(n));
            kept += static_cast<std::size_t>(n);
        }
        return put("\"");
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
    Event &digits(const void *p, std::size_t n) {
        for (std::size_t i = 0; out_ != nullptr && i < n; ++i) {
            const unsigned char byte = static_cast<const unsigned char *>(p)[i];
            std::fputc("0123456789abcdef"[byte >> 4], out_);
            std::fputc("0123456789abcdef"[byte & 15], out_);
        }
        return *this;
    }
    char *data_ = nullptr;
    std::size_t size_ = 0;
    std::FILE *out_;
    bool end_;
    bool first_ = true;
};

/* "data": up to SYSMGR_CAPTURE_MAX_DATA bytes of the regular file at path. */
Event &file_data(Event &e, const char *path, bool follow) {
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | (follow ? 0 : O_NOFOLLOW));
    e.data(fd);
    if (fd >= 0)
        ::close(fd);
    return e;
}

/* The paths seen so far (below the root): whether each was absent then, whether its data is sent.
 */
struct Seen {
    char *path;
    bool absent, has_data;
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

/* Records each directory above full (shown below the root) the first time it is seen. */
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
            Event e(seen->absent ? "@made" : "@file");
            file_data(e.text("path", shown).word("state", "regular"), path, follow);
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
        file_data(e, path, follow);
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

// The C library functions recorded through: the name and the template that
// wraps it, with its arguments. A test compares the library's imports with it.
// clang-format off
#define LIBC_CALLS \
    LIBC(open, open_w) LIBC(open64, open_w) LIBC(openat, open_w, int) LIBC(openat64, open_w, int) \
    LIBC(fopen, fopen_w) LIBC(fopen64, fopen_w) LIBC(access, examine_w, true, int) \
    LIBC(stat, examine_w, true, void *) LIBC(stat64, examine_w, true, void *) \
    LIBC(__stat64_time64, examine_w, true, void *) LIBC(lstat, examine_w, false, void *) \
    LIBC(lstat64, examine_w, false, void *) LIBC(__lstat64_time64, examine_w, false, void *) \
    LIBC(fstatat, fstatat_w) LIBC(fstatat64, fstatat_w) LIBC(__fstatat64_time64, fstatat_w) \
    LIBC(popen, popen_w) LIBC(pclose, pclose_w) LIBC(system, system_w)
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

#define I(x) e.item().number(x);
#define W(p, n)                                                                                    \
    for (std::size_t i = 0; (p) != nullptr && i < (n); ++i)                                        \
        e.item().number((p)[i]);
#define T(p, max) e.item().string(p, max);
#define O(name, p, size) e.bytes(name, p, size);
#define F(name, value) e.field(name, value);
#define R_INT e.field("r", result);
#define R_HEX R_INT
#define R_TEXT e.key("r").string(result);
#define R_POINTER(what) e.field("r", reinterpret_cast<uintptr_t>(result));
#define R_STATUS(resp, len) R_INT e.response(result, resp, len);
#define CALL(ret, name, params, args, ints, texts, shown, outs, members)                           \
    ret w_##name params {                                                                          \
        Event e(#name);                                                                            \
        e.list("a");                                                                               \
        ints e.end_list().list("t");                                                               \
        texts e.end_list();                                                                        \
        ret result = real<decltype(&w_##name)>(H_##name) args;                                     \
        const int call_errno = *host().errno_location();                                           \
        shown e.field("e", call_errno);                                                            \
        outs *host().errno_location() = call_errno;                                                \
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

// The path functions: the path noted, then the call.

/* path as the process reaches it, from directory dir when given; null when it cannot tell. */
const char *at_path(char (&)[PATH_MAX], const char *path) {
    return path;
}
const char *at_path(char (&full)[PATH_MAX], int dir, const char *path) {
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

/* open, and with Dir int openat: the mode passed on only with the flags that take one. */
template <Hook H, typename... Dir>
int open_w(Dir... dir, const char *path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    const mode_t mode = (flags & (O_CREAT | O_TMPFILE)) != 0 ? va_arg(ap, mode_t) : 0;
    va_end(ap);
    char full[PATH_MAX];
    note_path(at_path(full, dir..., path), (flags & O_NOFOLLOW) == 0,
              (flags & O_ACCMODE) == O_RDONLY && (flags & (O_CREAT | O_TRUNC)) == 0);
    return real<decltype(&open_w<H, Dir...>)>(H)(dir..., path, flags, mode);
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
        note_path(at_path(full, dir, path), (flags & AT_SYMLINK_NOFOLLOW) == 0, false);
    return real<decltype(&fstatat_w<H>)>(H)(dir, path, st, flags);
}

// The utilities. A pipe's utility runs to its end at popen: its output is
// recorded and the library reads it from a copy, a stream of the host's C
// library over a memory file, which pclose then closes with the status the
// utility ended with.
struct Finished {
    std::FILE *stream; // null: a free slot
    int status, error;
};
Finished g_finished[16]; // more pipes at once than a report opens fail as with too many files

/* Reads from to its end, copying the first SYSMGR_CAPTURE_MAX_DATA bytes to to; false when to took
 * less. */
bool drain(int from, int to) {
    char chunk[4096];
    std::size_t kept = 0;
    bool copied = true;
    for (;;) {
        const ssize_t n = ::read(from, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return copied;
        const std::size_t left = SYSMGR_CAPTURE_MAX_DATA - kept;
        const std::size_t keep =
            static_cast<std::size_t>(n) < left ? static_cast<std::size_t>(n) : left;
        copied = copied && ::write(to, chunk, keep) == static_cast<ssize_t>(keep);
        kept += keep;
    }
}

template <Hook H>
std::FILE *popen_w(const char *command, const char *mode) {
    if (command == nullptr || mode == nullptr || mode[0] != 'r')
        return real<decltype(&popen_w<H>)>(H)(command, mode);
    const int copy = memfd_create("sysmgr-capture-pipe", MFD_CLOEXEC);
    if (copy < 0) {
        *host().errno_location() = errno;
        return nullptr;
    }
    std::FILE *pipe = real<decltype(&popen_w<H>)>(H)(command, mode);
    const bool copied =
        pipe != nullptr && drain(host().fileno(pipe), copy) && ::lseek(copy, 0, SEEK_SET) == 0;
    const int drain_error = errno;
    const int status = pipe != nullptr ? host().pclose(pipe) : -1;
    const int error = *host().errno_location();
    std::FILE *stream = copied ? host().fdopen(copy, "r") : nullptr; // sets the host's errno
    if (stream == nullptr) {
        if (pipe != nullptr && !copied)
            *host().errno_location() = drain_error;
        ::close(copy);
        return nullptr;
    }
    Locked lock(g_state_lock);
    for (Finished &f : g_finished) {
        if (f.stream == nullptr) {
            f = Finished{stream, status, error};
            Event("@popen").command(command).field("status", status).data(copy);
            return stream;
        }
    }
    host().fclose(stream);
    *host().errno_location() = EMFILE;
    return nullptr;
}
template <Hook H>
int pclose_w(std::FILE *stream) {
    Locked lock(g_state_lock);
    for (Finished &f : g_finished) {
        if (f.stream == stream && stream != nullptr) {
            host().fclose(stream);
            f.stream = nullptr;
            *host().errno_location() = f.error;
            return f.status;
        }
    }
    return real<decltype(&pclose_w<H>)>(H)(stream);
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
