// SPDX-License-Identifier: MIT
// libsysmgrcapture.so, an audit module (LD_AUDIT): binds each reference
// libsysmgrcli.so makes to a platform call (calls.def), or to a C library
// function that opens or examines a path or starts a utility (LIBC_CALLS), to
// a wrapper that calls the definition and sends what it answered to
// sysmgr-capture (capture_log.h). A file is recorded when its path is opened
// and a utility's output when it is started, so reads need no wrapper. In a
// link-map namespace of its own, the module reaches the host's errno,
// environment and streams through the host's C library, and uses no C++
// library, as every process the command starts loads it.
#include <link.h>

#include <algorithm>
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
#include "print_format.h"

namespace {

/* The connection, the paths seen and the pipes' streams; an event sent under it takes it again. */
pthread_mutex_t g_lock = PTHREAD_RECURSIVE_MUTEX_INITIALIZER_NP;
struct Locked {
    Locked() { pthread_mutex_lock(&g_lock); }
    ~Locked() { pthread_mutex_unlock(&g_lock); }
};

const char *g_socket_path = nullptr; // the record's socket; null: this process records nothing
std::atomic<int> g_bindings{0};

/*
 * This process's connection to the record's socket, made at its first line
 * (again in a forked child). The host may close the descriptor or reuse its
 * number: before each write it must still be the socket connected, else the
 * process records no more (fd -1), and its record, which then lacks the end
 * line, fails the capture.
 */
struct Connection {
    pid_t pid = 0;
    int fd = -1;
    struct stat st {};

    bool ours() const {
        struct stat now;
        return fd >= 0 && ::fstat(fd, &now) == 0 && now.st_dev == st.st_dev &&
               now.st_ino == st.st_ino;
    }
    void end() {
        if (ours())
            ::close(fd);
        fd = -1;
    }
} g_connection;

/* Sends a line, null when it was lost; a lost line ends the record, as the end line does. */
void write_line(const char *line, std::size_t size, bool end) {
    Locked lock;
    Connection &c = g_connection;
    if (c.pid != ::getpid()) { // the first line, or a forked child's
        c.end();
        c = Connection{::getpid(), ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)};
        sockaddr_un to{};
        to.sun_family = AF_UNIX;
        const std::size_t n = std::strlen(g_socket_path) + 1;
        std::memcpy(to.sun_path, g_socket_path, std::min(n, sizeof to.sun_path));
        if (c.fd >= 0 && (n > sizeof to.sun_path || ::fstat(c.fd, &c.st) != 0 ||
                          ::connect(c.fd, reinterpret_cast<sockaddr *>(&to), sizeof to) != 0)) {
            ::close(c.fd);
            c.fd = -1;
        }
    }
    bool sent = line != nullptr && c.ours();
    for (std::size_t done = 0; sent && done < size;) {
        const ssize_t n = ::send(c.fd, line + done, size - done, MSG_NOSIGNAL);
        sent = n > 0 || (n < 0 && errno == EINTR);
        done += n > 0 ? static_cast<std::size_t>(n) : 0;
    }
    if (!sent || end)
        c.end();
}

/* The host's C library, which the library's errno, environment and streams belong to. */
struct HostLibc {
    int *(*errno_location)();
    char *(*getenv)(const char *);
    std::FILE *(*fdopen)(int, const char *);
    int (*fclose)(std::FILE *);
    int (*pclose)(std::FILE *);
    int (*fileno)(std::FILE *);
    int (*vfprintf)(std::FILE *, const char *, va_list);

    int &error() const { return *errno_location(); }
    /* $SYSMGRCLI_ROOT as the library sees it now; "" when unset. */
    const char *root() const { return getenv("SYSMGRCLI_ROOT") ?: ""; }
} g_host;
pthread_once_t g_host_once = PTHREAD_ONCE_INIT;

/* Found at the first use; this module's own functions where the host has none. */
const HostLibc &host() {
    pthread_once(&g_host_once, [] {
        void *libc = dlmopen(LM_ID_BASE, "libc.so.6", RTLD_LAZY | RTLD_NOLOAD);
        auto find = [libc](const char *name, auto own) {
            void *found = libc != nullptr ? dlsym(libc, name) : nullptr;
            return found != nullptr ? reinterpret_cast<decltype(own)>(found) : own;
        };
        g_host = {find("__errno_location", &__errno_location),
                  find("getenv", &::getenv),
                  find("fdopen", &::fdopen),
                  find("fclose", &::fclose),
                  find("pclose", &::pclose),
                  find("fileno", &::fileno),
                  find("vfprintf", &::vfprintf)};
    });
    return g_host;
}

/* One line of the record, sent when it goes: "pid", "fn", then the members added; bytes in hex. */
class Event {
  public:
    explicit Event(const char *fn, bool end = false) : end_(end) {
        put("{\"pid\":%d,\"fn\":\"%s\"", static_cast<int>(::getpid()), fn);
    }
    ~Event() {
        put("}\n");
        bool whole = out_ != nullptr && std::ferror(out_) == 0;
        whole = out_ != nullptr && std::fclose(out_) == 0 && whole;
        write_line(whole ? line_ : nullptr, size_, end_);
        std::free(line_);
    }
    Event(const Event &) = delete;
    Event &operator=(const Event &) = delete;

    Event &put(const char *format, ...) __attribute__((format(printf, 2, 3))) {
        va_list ap;
        va_start(ap, format);
        if (out_ != nullptr)
            std::vfprintf(out_, format, ap);
        va_end(ap);
        return *this;
    }
    /* A member's name; a list's items follow it, each but the first after a comma. */
    Event &key(const char *name) {
        first_ = true;
        return put(",\"%s\":", name);
    }
    Event &item() {
        put(first_ ? "" : ",");
        first_ = false;
        return *this;
    }
    template <typename T>
    Event &number(T value) {
        if constexpr (std::is_signed_v<T>)
            return put("%lld", static_cast<long long>(value));
        return put("%llu", static_cast<unsigned long long>(value));
    }
    template <typename T>
    Event &field(const char *name, T value) {
        return key(name).number(value);
    }
    Event &word(const char *name, const char *word) { return key(name).put("\"%s\"", word); }
    /* n bytes at p, null for none. */
    Event &hex(const void *p, std::size_t n) {
        if (p == nullptr)
            return put("null");
        put("\"");
        for (std::size_t i = 0; i < n; ++i)
            put("%02x", static_cast<const unsigned char *>(p)[i]);
        return put("\"");
    }
    Event &text(const char *t, std::size_t max = PATH_MAX) {
        return hex(t, t != nullptr ? strnlen(t, max) : 0);
    }
    Event &text(const char *name, const char *t) { return key(name).text(t); }
    /* Storage a call filled: size bytes at p, absent when p is null. */
    Event &bytes(const char *name, const void *p, std::size_t size) {
        return p != nullptr ? key(name).hex(p, size) : *this;
    }
    /* A command as shown: every copy of the root taken out. */
    Event &command(const char *cmd) {
        const char *root = host().root();
        const std::size_t n = std::strlen(root);
        key("cmd").put("\"");
        for (const char *p = cmd; *p != '\0';)
            if (n > 1 && std::strncmp(p, root, n) == 0)
                p += n;
            else
                put("%02x", static_cast<unsigned char>(*p++));
        return put("\"");
    }
    /* "data": up to SYSMGR_CAPTURE_MAX_DATA bytes of fd from its start. */
    Event &data(int fd) {
        key("data").put("\"");
        unsigned char chunk[4096];
        for (std::size_t kept = 0; fd >= 0 && kept < SYSMGR_CAPTURE_MAX_DATA;) {
            const ssize_t n =
                ::pread(fd, chunk, std::min(sizeof chunk, SYSMGR_CAPTURE_MAX_DATA - kept),
                        static_cast<off_t>(kept));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            for (ssize_t i = 0; i < n; ++i)
                put("%02x", chunk[i]);
            kept += static_cast<std::size_t>(n);
        }
        return put("\"");
    }

  private:
    char *line_ = nullptr;
    std::size_t size_ = 0;
    std::FILE *out_ = open_memstream(&line_, &size_);
    bool end_;
    bool first_ = true;
};

/* The paths seen so far (below the root): whether each was absent then, whether its data is due. */
struct Seen {
    char *path;
    bool absent, data_due;
} g_seen[1024]; // more paths than the library reaches: a path past them is recorded each time
std::size_t g_seen_count = 0;

Seen *find_seen(const char *path) {
    for (std::size_t i = 0; i < g_seen_count; ++i)
        if (std::strcmp(g_seen[i].path, path) == 0)
            return &g_seen[i];
    return nullptr;
}

/*
 * The first time full (shown below the root) is seen, records it as found,
 * following a link when the library's access follows it; a parent only when
 * it is a directory. When the library reads it, records a regular file's
 * data the first time, and a file the run made itself each time.
 */
void note_one(const char *full, const char *shown, bool follow, bool reads, bool parent) {
    Seen *seen = find_seen(shown);
    if (seen == nullptr) {
        struct stat st;
        const bool found = (follow ? ::stat(full, &st) : ::lstat(full, &st)) == 0;
        if (parent && (!found || !S_ISDIR(st.st_mode)))
            return;
        char *copy = g_seen_count < std::size(g_seen) ? strdup(shown) : nullptr;
        if (copy != nullptr) {
            seen = &g_seen[g_seen_count++];
            *seen = Seen{copy, !found, found && S_ISREG(st.st_mode)};
        }
        Event e("@file");
        e.text("path", shown)
            .word("state", !found                ? "absent"
                           : S_ISREG(st.st_mode) ? "regular"
                           : S_ISDIR(st.st_mode) ? "directory"
                           : S_ISLNK(st.st_mode) ? "symlink"
                                                 : "other");
        if (!found)
            return; // its data only once the run made it
        e.field("mode", st.st_mode & 07777);
        if (S_ISLNK(st.st_mode)) {
            char target[PATH_MAX];
            const ssize_t size = ::readlink(full, target, sizeof target - 1);
            target[size > 0 ? size : 0] = '\0';
            e.text("target", target);
        }
    }
    if (seen != nullptr && reads && (seen->absent || seen->data_due)) {
        Event e(seen->absent ? "@made" : "@file");
        const int fd = ::open(full, O_RDONLY | O_NONBLOCK | O_CLOEXEC | (follow ? 0 : O_NOFOLLOW));
        e.text("path", shown).word("state", "regular").data(fd);
        if (fd >= 0)
            ::close(fd);
        seen->data_due = false;
    }
}

/* Called before the library opens (reads) or examines path: the directories above it, then it. */
void note_path(const char *path, bool follow, bool reads) {
    if (path == nullptr || path[0] == '\0')
        return;
    const char *root = host().root();
    const std::size_t n = std::strlen(root);
    const std::size_t skip = n > 0 && std::strncmp(path, root, n) == 0 && path[n] == '/' ? n : 0;
    char dir[PATH_MAX];
    Locked lock;
    for (const char *slash = std::strchr(path + skip + 1, '/');
         slash != nullptr && find_seen(path + skip) == nullptr;
         slash = std::strchr(slash + 1, '/')) {
        const auto size = static_cast<std::size_t>(slash - path);
        if (size >= sizeof dir)
            break;
        std::memcpy(dir, path, size);
        dir[size] = '\0';
        note_one(dir, dir + skip, true, false, true);
    }
    note_one(path, path + skip, follow, reads, false);
}

// The C library functions recorded through: the name and the template that
// wraps it, with its arguments. A test compares the library's imports with
// the functions that open or examine a path, start a utility or write output.
// clang-format off
#define LIBC_CALLS \
    LIBC(open, open_w) LIBC(open64, open_w) LIBC(access, examine_w, true, int) \
    LIBC(stat, examine_w, true, void *) LIBC(stat64, examine_w, true, void *) \
    LIBC(__stat64_time64, examine_w, true, void *) LIBC(lstat, examine_w, false, void *) \
    LIBC(lstat64, examine_w, false, void *) LIBC(__lstat64_time64, examine_w, false, void *) \
    LIBC(fopen, fopen_w) LIBC(fopen64, fopen_w) \
    LIBC(popen, popen_w) LIBC(pclose, pclose_w) LIBC(system, system_w) \
    LIBC(vfprintf, vfprintf_w) LIBC(fprintf, fprintf_w) LIBC(fwrite, fwrite_w) LIBC(write, write_w)
// clang-format on

/* What each reference would have bound to, set as the library is bound. */
#define CALL(ret, name, ...) std::atomic<void *> g_real_##name;
#include "calls.def"
#undef CALL
#define LIBC(name, ...) std::atomic<void *> g_real_##name;
LIBC_CALLS
#undef LIBC
std::atomic<void *> g_real_entry;
#define CALL(...)
#define PRINT(ret, name, params, form)                                                             \
    struct Row_##name {                                                                            \
        static constexpr const char *fn = #name;                                                   \
        static inline std::atomic<void *> real;                                                    \
    };
#include "calls.def"
#undef CALL
#undef PRINT

template <typename F>
F definition(const std::atomic<void *> &real) {
    return reinterpret_cast<F>(real.load(std::memory_order_relaxed));
}

// The path functions: the path noted, then the call; open passes the mode on
// only with the flags that take one.
template <std::atomic<void *> &Real>
int open_w(const char *path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    const mode_t mode = (flags & (O_CREAT | O_TMPFILE)) != 0 ? va_arg(ap, mode_t) : 0;
    va_end(ap);
    note_path(path, (flags & O_NOFOLLOW) == 0,
              (flags & O_ACCMODE) == O_RDONLY && (flags & (O_CREAT | O_TRUNC)) == 0);
    return definition<decltype(&open_w<Real>)>(Real)(path, flags, mode);
}
/* The library opens none by stream, but a coverage build's runtime in it does. */
template <std::atomic<void *> &Real>
std::FILE *fopen_w(const char *path, const char *mode) {
    note_path(path, true, mode != nullptr && mode[0] == 'r' && std::strchr(mode, '+') == nullptr);
    return definition<decltype(&fopen_w<Real>)>(Real)(path, mode);
}
/* stat, lstat and access; Follow when the call follows a final link. */
template <std::atomic<void *> &Real, bool Follow, typename A>
int examine_w(const char *path, A arg) {
    note_path(path, Follow, false);
    return definition<decltype(&examine_w<Real, Follow, A>)>(Real)(path, arg);
}

// A pipe's utility runs when it is started: its output is recorded, and the
// library reads it from a stream of the host's C library over a memory file,
// which pclose closes, answering the status the utility ended with.
struct Finished {
    std::FILE *stream; // null: a free slot
    int status, error;
} g_finished[16]; // one more stream open at once fails as with too many files

template <std::atomic<void *> &Real>
std::FILE *popen_w(const char *command, const char *mode) {
    const auto real = definition<decltype(&popen_w<Real>)>(Real);
    if (command == nullptr || mode == nullptr || mode[0] != 'r')
        return real(command, mode);
    const int copy = memfd_create("sysmgr-capture-pipe", MFD_CLOEXEC);
    std::FILE *pipe = copy >= 0 ? real(command, mode) : nullptr;
    if (pipe == nullptr) {
        if (copy >= 0)
            ::close(copy);
        else
            host().error() = errno;
        return nullptr;
    }
    bool copied = true;
    char chunk[4096];
    // At most what the library reads of a pipe; pclose then ends a utility that
    // writes more as it would end it.
    for (std::size_t kept = 0; copied && kept < SYSMGR_CAPTURE_MAX_DATA;) {
        const ssize_t n =
            ::read(::fileno(pipe), chunk, std::min(sizeof chunk, SYSMGR_CAPTURE_MAX_DATA - kept));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        copied = ::write(copy, chunk, static_cast<std::size_t>(n)) == n;
        kept += static_cast<std::size_t>(n);
    }
    const int status = host().pclose(pipe);
    const int error = host().error();
    std::FILE *stream =
        copied && ::lseek(copy, 0, SEEK_SET) == 0 ? host().fdopen(copy, "r") : nullptr;
    Locked lock;
    Finished *slot = std::find_if(std::begin(g_finished), std::end(g_finished),
                                  [](const Finished &f) { return f.stream == nullptr; });
    if (stream != nullptr && slot != std::end(g_finished)) {
        *slot = Finished{stream, status, error};
        Event("@popen").command(command).field("status", status).data(copy);
        return stream;
    }
    if (stream != nullptr)
        host().fclose(stream);
    else
        ::close(copy);
    host().error() = stream != nullptr ? EMFILE : ENOMEM;
    return nullptr;
}
template <std::atomic<void *> &Real>
int pclose_w(std::FILE *stream) {
    Locked lock;
    for (Finished &f : g_finished) {
        if (f.stream == stream && stream != nullptr) {
            host().fclose(stream);
            f.stream = nullptr;
            host().error() = f.error;
            return f.status;
        }
    }
    return definition<decltype(&pclose_w<Real>)>(Real)(stream);
}
template <std::atomic<void *> &Real>
int system_w(const char *command) {
    const int status = definition<decltype(&system_w<Real>)>(Real)(command);
    Event e("@system");
    if (command != nullptr)
        e.command(command);
    e.field("status", status);
    return status;
}

// What the library writes to its standard output and error: "@out", the
// descriptor and the bytes, as a write or a formatted print hands them on.
void output(int fd, const void *data, std::size_t n) {
    if (fd == STDOUT_FILENO || fd == STDERR_FILENO)
        Event("@out").field("fd", fd).bytes("data", data,
                                            std::min(n, std::size_t{SYSMGR_CAPTURE_MAX_DATA}));
}
/* A formatted print on a stream: recorded when the stream is the standard output or error. */
void formatted(std::FILE *stream, const char *format, va_list ap) {
    const int fd = stream != nullptr ? host().fileno(stream) : -1;
    if ((fd == STDOUT_FILENO || fd == STDERR_FILENO) && format != nullptr) {
        va_list copy;
        va_copy(copy, ap);
        char *text = nullptr;
        const int n = vasprintf(&text, format, copy);
        va_end(copy);
        if (n >= 0)
            output(fd, text, static_cast<std::size_t>(n));
        std::free(text);
    }
}
template <std::atomic<void *> &Real>
int vfprintf_w(std::FILE *stream, const char *format, va_list ap) {
    formatted(stream, format, ap);
    return definition<decltype(&vfprintf_w<Real>)>(Real)(stream, format, ap);
}
/* Passed on as vfprintf, which takes the arguments fprintf was given. */
template <std::atomic<void *> &>
int fprintf_w(std::FILE *stream, const char *format, ...) {
    va_list ap;
    va_start(ap, format);
    formatted(stream, format, ap);
    const int result = host().vfprintf(stream, format, ap);
    va_end(ap);
    return result;
}
template <std::atomic<void *> &Real>
std::size_t fwrite_w(const void *data, std::size_t size, std::size_t n, std::FILE *stream) {
    const std::size_t written = definition<decltype(&fwrite_w<Real>)>(Real)(data, size, n, stream);
    if (written > 0 && stream != nullptr)
        output(host().fileno(stream), data, written * size);
    return written;
}
template <std::atomic<void *> &Real>
ssize_t write_w(int fd, const void *data, std::size_t n) {
    const ssize_t written = definition<decltype(&write_w<Real>)>(Real)(fd, data, n);
    if (written > 0)
        output(fd, data, static_cast<std::size_t>(written));
    return written;
}

// The print calls (calls.def's PRINT rows), recorded as the back end receives
// them. A print argument's value is recorded at the print call, as the back
// end reads it then: callers reuse one argument and one value buffer.
constexpr std::size_t kMaxFormat = 65536;

template <typename Row>
int arg_make_w(cmd_prt_arg_t *arg, uint32_t tag, const void *value, uint32_t len) {
    const int result = definition<decltype(&arg_make_w<Row>)>(Row::real)(arg, tag, value, len);
    Event(Row::fn).field("tag", tag).field("len", len).field("r", result);
    return result;
}
template <typename Row>
cmd_prt_arg_t *tuple_w(uint32_t tag, const uint32_t *value) {
    cmd_prt_arg_t *result = definition<decltype(&tuple_w<Row>)>(Row::real)(tag, value);
    Event(Row::fn).field("tag", tag).bytes("value", value, sizeof *value);
    return result;
}
/* A literal format, or one with a conversion that takes one print argument. */
template <typename Row>
int prt_w(void *rx, const char *format, ...) {
    const cmd_prt_arg_t *arg = nullptr;
    const bool takes =
        format != nullptr && print_conversion(format, strnlen(format, kMaxFormat), 0).end > 0;
    if (takes) {
        va_list ap;
        va_start(ap, format);
        arg = va_arg(ap, const cmd_prt_arg_t *);
        va_end(ap);
    }
    const int result = takes ? definition<decltype(&prt_w<Row>)>(Row::real)(rx, format, arg)
                             : definition<decltype(&prt_w<Row>)>(Row::real)(rx, format);
    Event e(Row::fn);
    e.text("fmt", format);
    if (takes && arg == nullptr)
        e.key("arg").put("null");
    else if (takes)
        e.field("tag", arg->tag)
            .field("len", arg->len)
            .bytes("value", arg->value, std::min(arg->len, SYSMGR_CAPTURE_MAX_DATA));
    e.field("r", result);
    return result;
}
/*
 * printf conversions. The arguments are read as the format lists them, which
 * is all a variadic call tells of them, and passed on in order, each as a
 * word the size of a pointer: the calling conventions this runs on pass ints
 * and pointers alike. A format this cannot follow (a floating-point
 * conversion, more than kWords arguments) is passed on with what was read and
 * marks the record, which fails the capture.
 */
template <typename Row>
int dprt_w(void *rx, const char *format, ...) {
    constexpr std::size_t kWords = 8;
    intptr_t words[kWords] = {};
    std::size_t n = 0;
    bool followed = format != nullptr;
    va_list ap;
    va_start(ap, format);
    auto take = [&](intptr_t word) {
        followed = followed && n < kWords;
        if (followed)
            words[n++] = word;
    };
    auto field = [&](const char *&c) { // a width or precision: digits, or '*' for an int
        if (*c == '*')
            take(va_arg(ap, int)), ++c;
        else
            c += std::strspn(c, "0123456789");
    };
    for (const char *c = format; followed && *c != '\0'; ++c) {
        if (*c != '%' || *++c == '%')
            continue;
        c += std::strspn(c, "-+ #0");
        field(c);
        if (*c == '.')
            field(++c);
        const bool is_long = *c == 'l' || *c == 'z';
        c += is_long ? 1 : 0;
        if (*c != '\0' && std::strchr("sp", *c) != nullptr)
            take(reinterpret_cast<intptr_t>(va_arg(ap, void *)));
        else if (*c != '\0' && std::strchr("diouxXc", *c) != nullptr)
            take(is_long ? static_cast<intptr_t>(va_arg(ap, long)) : va_arg(ap, int));
        else
            followed = false;
    }
    va_end(ap);
    const int result = definition<decltype(&dprt_w<Row>)>(Row::real)(
        rx, format, words[0], words[1], words[2], words[3], words[4], words[5], words[6], words[7]);
    Event e(Row::fn);
    e.text("fmt", format);
    char *text = nullptr;
    if (followed && asprintf(&text, format, words[0], words[1], words[2], words[3], words[4],
                             words[5], words[6], words[7]) >= 0)
        e.key("text").text(text, SYSMGR_CAPTURE_MAX_DATA);
    else
        e.field("unfollowed", 1);
    std::free(text);
    e.field("r", result);
    return result;
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

/* A response's length, whether it is null, and its bytes, when the call succeeded. */
void response(Event &e, int32_t rc, void *const *resp, const uint32_t *len) {
    if (rc == 0 && resp != nullptr && len != nullptr)
        e.field("length", *len)
            .field("null_response", *resp == nullptr ? 1 : 0)
            .bytes("response", *resp, std::min(*len, SYSMGR_CAPTURE_MAX_DATA));
}

#define I(x) e.item().number(x);
#define W(p, n)                                                                                    \
    for (std::size_t i = 0; (p) != nullptr && i < (n); ++i)                                        \
        e.item().number((p)[i]);
#define T(p, max) e.item().text(p, max);
#define O(name, p, size) e.bytes(name, p, size);
#define F(name, value) e.field(name, value);
#define R_INT e.field("r", result);
#define R_HEX R_INT
#define R_TEXT e.key("r").text(result);
#define R_POINTER(what) e.field("r", reinterpret_cast<uintptr_t>(result));
#define R_STATUS(resp, len) R_INT response(e, result, resp, len);
#define CALL(ret, name, params, args, ints, texts, shown, outs, members)                           \
    ret w_##name params {                                                                          \
        Event e(#name);                                                                            \
        e.key("a").put("[");                                                                       \
        ints e.put("]").key("t").put("[");                                                         \
        texts e.put("]");                                                                          \
        ret result = definition<decltype(&w_##name)>(g_real_##name) args;                          \
        const int call_errno = host().error();                                                     \
        shown e.field("e", call_errno);                                                            \
        outs host().error() = call_errno;                                                          \
        return result;                                                                             \
    }
#include "calls.def"
#undef CALL

/* The alternate report's entry, called by the host: its queue handle reaches no platform call. */
int w_sysmgr_show_version_internal2(int32_t q, void *rx) {
    Event("@entry").field("q", q);
    return definition<decltype(&w_sysmgr_show_version_internal2)>(g_real_entry)(q, rx);
}

const struct {
    const char *name;
    void *wrapper;
    std::atomic<void *> *real;
} kWrappers[] = {
#define CALL(ret, name, ...) {#name, reinterpret_cast<void *>(&w_##name), &g_real_##name},
#include "calls.def"
#undef CALL
#define LIBC(name, wrapper, ...)                                                                   \
    {#name, reinterpret_cast<void *>(&wrapper<g_real_##name __VA_OPT__(, ) __VA_ARGS__>),          \
     &g_real_##name},
    LIBC_CALLS
#undef LIBC
// The form's wrapper has the row's declaration, or this does not compile.
#define CALL(...)
#define PRINT(ret, name, params, form)                                                             \
    {#name, reinterpret_cast<void *>(static_cast<ret(*) params>(&form##_w<Row_##name>)),           \
     &Row_##name::real},
#include "calls.def"
#undef CALL
#undef PRINT
};

std::atomic<uintptr_t *> g_library_cookies[4]; // the library's loads

bool is_library(const uintptr_t *cookie) {
    return cookie != nullptr &&
           std::any_of(std::begin(g_library_cookies), std::end(g_library_cookies),
                       [cookie](const auto &c) { return c.load() == cookie; });
}

/* The library's references to a wrapped function go to its wrapper, the host's to the entry's. */
uintptr_t bind(uintptr_t value, const uintptr_t *refcook, const uintptr_t *defcook,
               const char *name) {
    const bool from_library = is_library(refcook);
    if (!from_library && is_library(defcook) &&
        std::strcmp(name, "sysmgr_show_version_internal2") == 0) {
        g_real_entry.store(reinterpret_cast<void *>(value));
        return reinterpret_cast<uintptr_t>(&w_sysmgr_show_version_internal2);
    }
    for (const auto &w : kWrappers) {
        if (from_library && std::strcmp(w.name, name) == 0) {
            w.real->store(reinterpret_cast<void *>(value));
            g_bindings.fetch_add(1);
            return reinterpret_cast<uintptr_t>(w.wrapper);
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

/* Every object's references are audited: the library's, and the host's, to see it call the
 * alternate report. */
AUDIT unsigned la_objopen(struct link_map *map, Lmid_t, uintptr_t *cookie) {
    const char *name = map->l_name != nullptr ? map->l_name : "";
    const char *base = std::strrchr(name, '/');
    if (g_socket_path == nullptr)
        return 0;
    const bool library =
        std::strncmp(base != nullptr ? base + 1 : name, "libsysmgrcli.so", 15) == 0;
    for (auto &c : g_library_cookies) {
        uintptr_t *none = nullptr;
        if (library && c.compare_exchange_strong(none, cookie)) {
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

/* At exit: how many of the library's references the recorder took, and the record's end. */
__attribute__((destructor)) static void report_bindings() {
    if (g_socket_path == nullptr)
        return;
    if (g_library_cookies[0].load() != nullptr)
        Event("@bindings").field("count", g_bindings.load());
    Locked lock;
    if (g_connection.pid == ::getpid() && g_connection.fd >= 0)
        Event("@end", true);
}
