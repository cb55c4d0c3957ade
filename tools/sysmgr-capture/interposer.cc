// SPDX-License-Identifier: MIT
// libsysmgrcapture.so: a dynamic-linker audit module (LD_AUDIT) that binds
// every reference libsysmgrcli.so makes to a platform function, and to the C
// library calls through which it opens files and runs utilities, to a
// wrapper. The wrapper calls the definition the reference would have bound
// to, wherever the host put it (a shared library or the executable), then
// sends what the call answered to sysmgr-capture (capture_log.h).
//
// The module lives in a link-map namespace of its own with its own C
// library, so the host's errno and environment are reached through the
// host's C library. Nothing here uses the C++ library: the module is loaded
// into every process the command starts, shells included, and stays small.
// A wrapper records after the call and gives the caller the same result and
// the same errno.
#include <link.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

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

constexpr std::size_t kTextMax = 4096; // a text returned by pointer, as far as it is kept

/* A growing byte buffer on malloc; a failed allocation marks it failed. */
class Buf {
  public:
    Buf() = default;
    Buf(const Buf &) = delete;
    Buf &operator=(const Buf &) = delete;
    ~Buf() { std::free(data_); }
    void put(const char *text, std::size_t n) {
        if (failed_ || !reserve(n))
            return;
        std::memcpy(data_ + size_, text, n);
        size_ += n;
    }
    void put(const char *text) { put(text, std::strlen(text)); }
    void number(long long value) {
        char text[32];
        put(text, static_cast<std::size_t>(std::snprintf(text, sizeof text, "%lld", value)));
    }
    void unsigned_number(unsigned long long value) {
        char text[32];
        put(text, static_cast<std::size_t>(std::snprintf(text, sizeof text, "%llu", value)));
    }
    /* "hex" of n bytes, as a JSON string. */
    void hex(const void *bytes, std::size_t n) {
        static constexpr char kDigits[] = "0123456789abcdef";
        put("\"", 1);
        if (!reserve(2 * n))
            return;
        const auto *b = static_cast<const unsigned char *>(bytes);
        for (std::size_t i = 0; i < n; ++i) {
            data_[size_++] = kDigits[b[i] >> 4];
            data_[size_++] = kDigits[b[i] & 15];
        }
        put("\"", 1);
    }
    /* A text of at most max bytes as hex, or null. */
    void text(const char *t, std::size_t max = kTextMax) {
        if (t == nullptr)
            put("null");
        else
            hex(t, strnlen(t, max));
    }
    const char *data() const { return data_; }
    std::size_t size() const { return size_; }
    bool failed() const { return failed_; }
    void clear() { size_ = 0; }

  private:
    bool reserve(std::size_t n) {
        if (size_ + n <= capacity_)
            return true;
        std::size_t capacity = capacity_ > 0 ? capacity_ : 256;
        while (capacity < size_ + n)
            capacity *= 2;
        auto *grown = static_cast<char *>(std::realloc(data_, capacity));
        if (grown == nullptr) {
            failed_ = true;
            return false;
        }
        data_ = grown;
        capacity_ = capacity;
        return true;
    }
    char *data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
    bool failed_ = false;
};

/* Holds a mutex for its lifetime. */
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

/* ---- The record ------------------------------------------------------- */

const char *g_socket_path = nullptr; // the record's socket; null: this process records nothing
std::atomic<int> g_bindings{0};

/*
 * This process's connection to the record's socket, made at its first line
 * (again in a forked child, whose parent keeps its own). The host may close
 * the descriptor or reuse its number: before each write it must still be the
 * socket connected, else the process records no more, and its connection,
 * which then ended without the end line, fails the capture.
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
    if (c.fd < 0 || ::connect(c.fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        ::fstat(c.fd, &st) != 0) {
        if (c.fd >= 0)
            ::close(c.fd);
        c.fd = -1;
        return false;
    }
    c.dev = st.st_dev;
    c.ino = st.st_ino;
    return true;
}

/* Sends a line; the end line closes the connection. */
void write_line(const Buf &line, bool end = false) {
    Locked lock(g_log_lock);
    Connection &c = g_connection;
    if (c.pid != ::getpid()) {
        // A forked child: the connection is its parent's.
        if (still_ours(c))
            ::close(c.fd);
        c = Connection{::getpid()};
    }
    if (c.done)
        return;
    if (line.failed() || (c.fd < 0 && !connect_record(c)) || !still_ours(c)) {
        c.done = true; // a line is lost: what was sent must not read as whole
        if (still_ours(c))
            ::close(c.fd);
        c.fd = -1;
        return;
    }
    for (std::size_t done = 0; done < line.size();) {
        const ssize_t n = ::send(c.fd, line.data() + done, line.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            end = true;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    if (end) {
        ::close(c.fd);
        c.fd = -1;
        c.done = true;
    }
}

/* The host's C library: its errno and its environment. */
struct HostLibc {
    int *(*errno_location)() = nullptr;
    char *(*getenv)(const char *) = nullptr;
};
HostLibc g_host;
pthread_once_t g_host_once = PTHREAD_ONCE_INIT;

void find_host_libc() {
    void *libc = dlmopen(LM_ID_BASE, "libc.so.6", RTLD_LAZY | RTLD_NOLOAD);
    if (libc == nullptr)
        return;
    g_host.errno_location = reinterpret_cast<int *(*)()>(dlsym(libc, "__errno_location"));
    g_host.getenv = reinterpret_cast<char *(*)(const char *)>(dlsym(libc, "getenv"));
}

int *host_errno() {
    pthread_once(&g_host_once, find_host_libc);
    return g_host.errno_location != nullptr ? g_host.errno_location() : &errno;
}

/* $SYSMGRCLI_ROOT as the library sees it now; "" when unset. */
const char *host_root() {
    pthread_once(&g_host_once, find_host_libc);
    const char *root = g_host.getenv != nullptr ? g_host.getenv("SYSMGRCLI_ROOT") : nullptr;
    return root != nullptr ? root : "";
}

/* path without the root in front, when it is there. */
const char *below_root(const char *path) {
    const char *root = host_root();
    const std::size_t n = std::strlen(root);
    return n > 0 && std::strncmp(path, root, n) == 0 && path[n] == '/' ? path + n : path;
}

/*
 * One line of the record, written when it goes. Around a host's call the
 * host's errno is kept as the call left it; the loader's own callbacks, which
 * must not reach into the host's C library, pass false.
 */
class Event {
  public:
    explicit Event(const char *fn, bool in_call = true)
        : fn_(fn), in_call_(in_call), saved_errno_(in_call ? *host_errno() : 0) {
        line_.put("{\"pid\":");
        line_.number(getpid());
        line_.put(",\"fn\":\"");
        line_.put(fn);
        line_.put("\"");
    }
    ~Event() {
        if (g_socket_path != nullptr) {
            line_.put(",\"a\":[");
            line_.put(args_.data(), args_.size());
            line_.put("],\"t\":[");
            line_.put(texts_.data(), texts_.size());
            line_.put("],\"e\":");
            line_.number(saved_errno_);
            line_.put("}\n");
            write_line(line_, std::strcmp(fn_, "@end") == 0);
        }
        if (in_call_)
            *host_errno() = saved_errno_;
    }
    Event(const Event &) = delete;
    Event &operator=(const Event &) = delete;

    Event &arg(long long value) {
        comma(args_);
        args_.number(value);
        return *this;
    }
    Event &text(const char *t, std::size_t max = kTextMax) {
        comma(texts_);
        texts_.text(t, max);
        return *this;
    }
    Event &ret(long long value) {
        line_.put(",\"r\":");
        line_.number(value);
        return *this;
    }
    Event &ret_unsigned(unsigned long long value) {
        line_.put(",\"r\":");
        line_.unsigned_number(value);
        return *this;
    }
    Event &ret_text(const char *t) {
        line_.put(",\"r\":");
        line_.text(t);
        return *this;
    }
    /* A pointer result by its address, so that a handle can be followed. */
    Event &ret_pointer(const void *p) { return ret_unsigned(reinterpret_cast<std::uintptr_t>(p)); }
    /* Storage the call filled: size bytes at p, none when p is null. */
    Event &out(const char *name, const void *p, std::size_t size) {
        if (p == nullptr)
            return *this;
        member(name);
        line_.hex(p, size);
        return *this;
    }
    Event &field(const char *name, long long value) {
        member(name);
        line_.number(value);
        return *this;
    }
    Event &field_unsigned(const char *name, unsigned long long value) {
        member(name);
        line_.unsigned_number(value);
        return *this;
    }
    Event &field_text(const char *name, const char *t, std::size_t max = PATH_MAX) {
        member(name);
        line_.text(t, max);
        return *this;
    }
    Event &field_state(const char *state) {
        member("state");
        line_.put("\"");
        line_.put(state);
        line_.put("\"");
        return *this;
    }

  private:
    static void comma(Buf &b) {
        if (b.size() > 0)
            b.put(",", 1);
    }
    void member(const char *name) {
        line_.put(",\"");
        line_.put(name);
        line_.put("\":");
    }
    Buf line_, args_, texts_;
    const char *fn_;
    bool in_call_;
    int saved_errno_;
};

/* ---- Files and utilities ---------------------------------------------- */

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
    char *copy = strdup(path);
    if (grown == nullptr || copy == nullptr) {
        std::free(copy);
        if (grown != nullptr)
            g_seen = grown;
        return nullptr;
    }
    g_seen = grown;
    g_seen[g_seen_count] = Seen{copy, absent, false};
    return &g_seen[g_seen_count++];
}

/* Up to the first SYSMGR_CAPTURE_MAX_DATA bytes of the regular file at path. */
void read_data(const char *path, bool follow, Buf &data) {
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | (follow ? 0 : O_NOFOLLOW));
    if (fd < 0)
        return;
    char chunk[8192];
    for (std::size_t left = SYSMGR_CAPTURE_MAX_DATA; left > 0;) {
        const ssize_t n = ::read(fd, chunk, left < sizeof chunk ? left : sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        data.put(chunk, static_cast<std::size_t>(n));
        left -= static_cast<std::size_t>(n);
    }
    ::close(fd);
}

void file_event(const char *fn, const char *shown, const char *state, const struct stat *st,
                const Buf *data, const char *target = nullptr) {
    Event e(fn);
    e.field_text("path", shown).field_state(state);
    if (st != nullptr)
        e.field("mode", st->st_mode & 07777);
    if (data != nullptr)
        e.out("data", data->size() > 0 ? data->data() : "", data->size());
    if (target != nullptr)
        e.field_text("target", target);
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
        file_event("@file", dir + skip, "directory", &st, nullptr);
    }
}

/*
 * Called before the library opens (reads) or examines path: the first time,
 * records the path as found, following a link when the library's access
 * follows it; the data of a regular file the library reads; and a file the
 * run made itself each time the library is about to read it.
 */
void note_path(const char *path, bool follow, bool reads) {
    if (g_socket_path == nullptr || path == nullptr)
        return;
    const char *shown = below_root(path);
    Locked lock(g_state_lock);
    if (Seen *seen = find_seen(shown)) {
        if (reads && (seen->absent || !seen->has_data)) {
            Buf data;
            read_data(path, follow, data);
            file_event(seen->absent ? "@made" : "@file", shown, "regular", nullptr, &data);
            seen->has_data = !seen->absent;
        }
        return;
    }
    note_parents(path, shown);
    struct stat st;
    const int rc = follow ? ::stat(path, &st) : ::lstat(path, &st);
    if (rc != 0) {
        add_seen(shown, true);
        file_event("@file", shown, "absent", nullptr, nullptr);
        return;
    }
    Seen *seen = add_seen(shown, false);
    if (S_ISREG(st.st_mode)) {
        Buf data;
        if (reads)
            read_data(path, follow, data);
        file_event("@file", shown, "regular", &st, reads ? &data : nullptr);
        if (seen != nullptr)
            seen->has_data = reads;
    } else if (S_ISDIR(st.st_mode)) {
        file_event("@file", shown, "directory", &st, nullptr);
    } else if (S_ISLNK(st.st_mode)) {
        char target[PATH_MAX];
        const ssize_t n = ::readlink(path, target, sizeof target - 1);
        target[n > 0 ? n : 0] = '\0';
        file_event("@file", shown, "symlink", &st, nullptr, target);
    } else {
        file_event("@file", shown, "other", &st, nullptr);
    }
}

/* A command as shown: every copy of the root taken out. */
void command_text(const char *command, Buf &out) {
    const char *root = host_root();
    const std::size_t n = std::strlen(root);
    for (const char *p = command; *p != '\0';) {
        if (n > 1 && std::strncmp(p, root, n) == 0) {
            p += n;
        } else {
            out.put(p, 1);
            ++p;
        }
    }
    out.put("", 1);
}

/* The pipes from popen() being read, with the bytes read so far. */
struct Pipe {
    std::FILE *file = nullptr;
    Buf command;
    Buf data;
};
constexpr std::size_t kPipes = 16;
Pipe g_pipes[kPipes];
std::atomic<int> g_pipes_open{0};

/* ---- The wrappers ----------------------------------------------------- */

// Each wrapper w_NAME calls NAME's definition through REAL(NAME) and records
// the call under NAME (its own name without "w_": __func__ + 2).

#define CAPTURE_HOOKS(X)                                                                           \
    X(cmd_paraminfo_to_rxhandle)                                                                   \
    X(cmd_req_cmdId_getnext)                                                                       \
    X(cmd_req_is_xmlagent)                                                                         \
    X(cmd_prt_send)                                                                                \
    X(mts_bind)                                                                                    \
    X(mts_unbind)                                                                                  \
    X(mts_send)                                                                                    \
    X(mts_rr_token_get)                                                                            \
    X(mts_drop)                                                                                    \
    X(mts_recv)                                                                                    \
    X(mts_payload_get)                                                                             \
    X(mts_errno_get)                                                                               \
    X(cmi_req_resp)                                                                                \
    X(cmi_remote_req_resp)                                                                         \
    X(syserr2str)                                                                                  \
    X(timer_get_cycles)                                                                            \
    X(timer_diff_cycle_in_msec)                                                                    \
    X(pfm_is_dorrel_switch)                                                                        \
    X(pdb_is_bellwick_chassis)                                                                     \
    X(card_get_slot_num)                                                                           \
    X(get_module_bios_version_ext)                                                                 \
    X(srg_timestamp_file_get)                                                                      \
    X(srg_sw_ver_file_get)                                                                         \
    X(srg_sw_interim_ver_file_get)                                                                 \
    X(get_card_module_info)                                                                        \
    X(get_platform_info)                                                                           \
    X(pfm_get_processor_name)                                                                      \
    X(pdb_get_chassis_id_string)                                                                   \
    X(pfm_get_dorrel_value)                                                                        \
    X(pdb_get_mod_id_string2)                                                                      \
    X(pfm_get_sup_serial_num)                                                                      \
    X(urifs_server_validate)                                                                       \
    X(urifs_scheme_validate)                                                                       \
    X(fileutil_fs_stat_get)                                                                        \
    X(get_running_plugins)                                                                         \
    X(cmpproxy_print_cmp_version)                                                                  \
    X(cmpproxy_print_cmp_hardware)                                                                 \
    X(pfm_last_rr)                                                                                 \
    X(img_open)                                                                                    \
    X(img_timestamp)                                                                               \
    X(img_close)                                                                                   \
    X(open)                                                                                        \
    X(open64)                                                                                      \
    X(stat)                                                                                        \
    X(stat64)                                                                                      \
    X(__stat64_time64)                                                                             \
    X(popen)                                                                                       \
    X(pclose)                                                                                      \
    X(getc)                                                                                        \
    X(system)

enum Hook {
#define X(f) H_##f,
    CAPTURE_HOOKS(X)
#undef X
        kHookCount
};

/* What each reference would have bound to, set as the library is bound. */
std::atomic<void *> g_real[kHookCount];

template <typename F>
F real(Hook h) {
    return reinterpret_cast<F>(g_real[h].load(std::memory_order_relaxed));
}
#define REAL(f) real<decltype(&::f)>(H_##f)

using OpenFunc = int (*)(const char *, int, ...);
using StatFunc = int (*)(const char *, void *);

constexpr std::size_t kCmiText = sizeof(cli_context_t::cmi_text1);
thread_local uint32_t t_last_opcode = 0; // the request whose payload comes next

void *w_cmd_paraminfo_to_rxhandle(const cli_context_t *context) {
    void *rx = REAL(cmd_paraminfo_to_rxhandle)(context);
    Event(__func__ + 2).ret_pointer(rx).out("context", context, sizeof *context);
    return rx;
}

int32_t w_cmd_req_cmdId_getnext(void *rx) {
    const int32_t rc = REAL(cmd_req_cmdId_getnext)(rx);
    Event(__func__ + 2).ret(rc);
    return rc;
}

int w_cmd_req_is_xmlagent(void *rx) {
    const int rc = REAL(cmd_req_is_xmlagent)(rx);
    Event(__func__ + 2).ret(rc);
    return rc;
}

int w_cmd_prt_send(void *rx) {
    const int rc = REAL(cmd_prt_send)(rx);
    Event(__func__ + 2).ret(rc);
    return rc;
}

int32_t w_mts_bind(int32_t kind, int32_t sap, int32_t flags, const char *client) {
    const int32_t rc = REAL(mts_bind)(kind, sap, flags, client);
    Event(__func__ + 2).arg(kind).arg(sap).arg(flags).text(client).ret(rc);
    return rc;
}

int w_mts_unbind(int32_t q, int32_t flags) {
    const int rc = REAL(mts_unbind)(q, flags);
    Event(__func__ + 2).arg(q).arg(flags).ret(rc);
    return rc;
}

int w_mts_send(int32_t q, const uint32_t dest[2], uint32_t opcode, int32_t a, int32_t b, void *msg,
               int32_t c, int32_t d) {
    const int rc = REAL(mts_send)(q, dest, opcode, a, b, msg, c, d);
    t_last_opcode = opcode;
    Event(__func__ + 2).arg(q).arg(opcode).ret(rc);
    return rc;
}

uint32_t w_mts_rr_token_get(void *msg) {
    const uint32_t rc = REAL(mts_rr_token_get)(msg);
    Event(__func__ + 2).ret_unsigned(rc);
    return rc;
}

int w_mts_drop(int32_t q, void *msg) {
    const int rc = REAL(mts_drop)(q, msg);
    Event(__func__ + 2).arg(q).ret(rc);
    return rc;
}

int w_mts_recv(int32_t q, void *msg, int32_t opts[MTS_RECV_OPTS_WORDS]) {
    const int rc = REAL(mts_recv)(q, msg, opts);
    Event(__func__ + 2).arg(q).arg(t_last_opcode).ret(rc);
    return rc;
}

/* The payload as the library reads it: the answer record of the request sent last. */
void *w_mts_payload_get(void *msg) {
    void *payload = REAL(mts_payload_get)(msg);
    const std::size_t size =
        t_last_opcode == SYSMGR_OPC_SCOPE_DONE     ? sizeof(sysmgr_scope_done_rsp_t)
        : t_last_opcode == SYSMGR_OPC_PRIOR_UPTIME ? sizeof(sysmgr_prior_uptime_rsp_t)
                                                   : 0;
    Event(__func__ + 2).arg(t_last_opcode).ret_pointer(payload).out("payload", payload, size);
    return payload;
}

int w_mts_errno_get(int32_t q) {
    const int rc = REAL(mts_errno_get)(q);
    Event(__func__ + 2).arg(q).ret(rc);
    return rc;
}

void response(Event &e, int32_t rc, void *const *resp, const uint32_t *len) {
    if (rc != 0 || resp == nullptr || len == nullptr)
        return;
    e.field("length", *len).field("null_response", *resp == nullptr ? 1 : 0);
    e.out("response", *resp, *len < SYSMGR_CAPTURE_MAX_DATA ? *len : SYSMGR_CAPTURE_MAX_DATA);
}

int32_t w_cmi_req_resp(uint32_t opcode, int32_t a2, int32_t a3, void **resp, uint32_t *len,
                       const char *text1, const char *text2, int32_t service, int32_t q,
                       int32_t a10) {
    const int32_t rc = REAL(cmi_req_resp)(opcode, a2, a3, resp, len, text1, text2, service, q, a10);
    Event e(__func__ + 2);
    e.arg(opcode).arg(service).arg(q).text(text1, kCmiText).text(text2, kCmiText).ret(rc);
    response(e, rc, resp, len);
    return rc;
}

int32_t w_cmi_remote_req_resp(uint32_t opcode, int32_t a2, int32_t a3, void **resp, uint32_t *len,
                              const char *text1, const char *text2, int32_t service, uint32_t node,
                              int32_t q, int32_t a11) {
    const int32_t rc =
        REAL(cmi_remote_req_resp)(opcode, a2, a3, resp, len, text1, text2, service, node, q, a11);
    Event e(__func__ + 2);
    e.arg(opcode).arg(service).arg(q).arg(node).ret(rc);
    response(e, rc, resp, len);
    return rc;
}

const char *w_syserr2str(int32_t err) {
    const char *text = REAL(syserr2str)(err);
    Event(__func__ + 2).arg(err).ret_text(text);
    return text;
}

uint64_t w_timer_get_cycles(void) {
    const uint64_t rc = REAL(timer_get_cycles)();
    Event(__func__ + 2).ret_unsigned(rc);
    return rc;
}

uint64_t w_timer_diff_cycle_in_msec(uint64_t later, uint64_t earlier) {
    const uint64_t rc = REAL(timer_diff_cycle_in_msec)(later, earlier);
    Event(__func__ + 2)
        .field_unsigned("later", later)
        .field_unsigned("earlier", earlier)
        .ret_unsigned(rc);
    return rc;
}

int w_pfm_is_dorrel_switch(int32_t q) {
    const int rc = REAL(pfm_is_dorrel_switch)(q);
    Event(__func__ + 2).arg(q).ret(rc);
    return rc;
}

int w_pdb_is_bellwick_chassis(void) {
    const int rc = REAL(pdb_is_bellwick_chassis)();
    Event(__func__ + 2).ret(rc);
    return rc;
}

int w_card_get_slot_num(uint8_t *slot) {
    const int rc = REAL(card_get_slot_num)(slot);
    Event(__func__ + 2).ret(rc).out("slot", slot, 1);
    return rc;
}

int w_get_module_bios_version_ext(uint8_t slot, void *record, int32_t *len) {
    const int rc = REAL(get_module_bios_version_ext)(slot, record, len);
    // Only the two version texts are read from the record.
    const auto *bytes = static_cast<const char *>(record);
    constexpr std::size_t kField = BIOS_RECORD_RUNNING_TEXT - BIOS_RECORD_FLASH_TEXT;
    Event(__func__ + 2)
        .arg(slot)
        .ret(rc)
        .out("flash", bytes != nullptr ? bytes + BIOS_RECORD_FLASH_TEXT : nullptr, kField)
        .out("running", bytes != nullptr ? bytes + BIOS_RECORD_RUNNING_TEXT : nullptr, kField);
    return rc;
}

int32_t w_srg_timestamp_file_get(const char *path) {
    const int32_t rc = REAL(srg_timestamp_file_get)(path);
    Event(__func__ + 2).text(path).ret(rc);
    return rc;
}

const char *w_srg_sw_ver_file_get(const char *path) {
    const char *text = REAL(srg_sw_ver_file_get)(path);
    Event(__func__ + 2).text(path).ret_text(text);
    return text;
}

const char *w_srg_sw_interim_ver_file_get(const char *path) {
    const char *text = REAL(srg_sw_interim_ver_file_get)(path);
    Event(__func__ + 2).text(path).ret_text(text);
    return text;
}

int w_get_card_module_info(void *record) {
    const int rc = REAL(get_card_module_info)(record);
    Event(__func__ + 2).ret(rc).out("record", record, offsetof(card_module_info_t, platform));
    return rc;
}

int w_get_platform_info(void *record) {
    const int rc = REAL(get_platform_info)(record);
    Event(__func__ + 2).ret(rc).out("record", record, sizeof(platform_slot_info_t));
    return rc;
}

int w_pfm_get_processor_name(char *buf) {
    const int rc = REAL(pfm_get_processor_name)(buf);
    Event(__func__ + 2).ret(rc).out("name", buf, 128);
    return rc;
}

const char *w_pdb_get_chassis_id_string(void) {
    const char *text = REAL(pdb_get_chassis_id_string)();
    Event(__func__ + 2).ret_text(text);
    return text;
}

const char *w_pfm_get_dorrel_value(const char *t) {
    const char *text = REAL(pfm_get_dorrel_value)(t);
    Event(__func__ + 2).text(t).ret_text(text);
    return text;
}

const char *w_pdb_get_mod_id_string2(uint8_t slot, int32_t q) {
    const char *text = REAL(pdb_get_mod_id_string2)(slot, q);
    Event(__func__ + 2).arg(slot).arg(q).ret_text(text);
    return text;
}

int w_pfm_get_sup_serial_num(int32_t q, char *buf) {
    const int rc = REAL(pfm_get_sup_serial_num)(q, buf);
    Event(__func__ + 2).arg(q).ret(rc).out("serial", buf, 64);
    return rc;
}

int w_urifs_server_validate(const char *scheme, const char *server, uint32_t *a, uint32_t *b) {
    const int rc = REAL(urifs_server_validate)(scheme, server, a, b);
    Event(__func__ + 2).text(scheme).text(server).ret(rc);
    return rc;
}

int w_urifs_scheme_validate(const char *scheme, void *out) {
    const int rc = REAL(urifs_scheme_validate)(scheme, out);
    Event(__func__ + 2).text(scheme).ret(rc);
    return rc;
}

int w_fileutil_fs_stat_get(const char *path, void *record) {
    const int rc = REAL(fileutil_fs_stat_get)(path, record);
    Event(__func__ + 2).text(path).ret(rc).out("record", record, sizeof(fs_stat_record_t));
    return rc;
}

/* The names of the rows the library reads: as many as reported, at most the table's. */
int w_get_running_plugins(void *table, int32_t *count) {
    const int rc = REAL(get_running_plugins)(table, count);
    Event e(__func__ + 2);
    e.ret(rc);
    if (count != nullptr)
        e.field("count", *count);
    if (rc == 0 && table != nullptr && count != nullptr) {
        const auto *rows = static_cast<const plugin_record_t *>(table);
        const int32_t n = *count < 0 ? 0 : *count > PLUGIN_TABLE_ROWS ? PLUGIN_TABLE_ROWS : *count;
        for (int32_t i = 0; i < n; ++i)
            e.text(rows[i].name, sizeof rows[i].name);
    }
    return rc;
}

int w_cmpproxy_print_cmp_version(int32_t q, void *rx) {
    const int rc = REAL(cmpproxy_print_cmp_version)(q, rx);
    Event(__func__ + 2).arg(q).ret(rc);
    return rc;
}

int w_cmpproxy_print_cmp_hardware(int32_t q, void *rx) {
    const int rc = REAL(cmpproxy_print_cmp_hardware)(q, rx);
    Event(__func__ + 2).arg(q).ret(rc);
    return rc;
}

int w_pfm_last_rr(void *record) {
    const int rc = REAL(pfm_last_rr)(record);
    Event(__func__ + 2).ret(rc).out("record", record, offsetof(last_rr_record_t, platform));
    return rc;
}

void *w_img_open(const char *path, int32_t *error) {
    void *image = REAL(img_open)(path, error);
    Event e(__func__ + 2);
    e.text(path).ret_pointer(image);
    if (error != nullptr)
        e.field("error", *error);
    return image;
}

uint32_t w_img_timestamp(void *image) {
    const uint32_t rc = REAL(img_timestamp)(image);
    Event(__func__ + 2).field_unsigned("image", reinterpret_cast<std::uintptr_t>(image)).ret(rc);
    return rc;
}

int w_img_close(void *image) {
    const int rc = REAL(img_close)(image);
    Event(__func__ + 2).ret(rc);
    return rc;
}

/* Whether an open only reads: then the file's content is what the library gets. */
bool reads_only(int flags) {
    return (flags & O_ACCMODE) == O_RDONLY && (flags & (O_CREAT | O_TRUNC)) == 0;
}

/* An open or stat through the definition behind hook h, the path noted first. */
int open_through(Hook h, const char *path, int flags, va_list ap) {
    const mode_t mode = (flags & (O_CREAT | O_TMPFILE)) != 0 ? va_arg(ap, mode_t) : 0;
    note_path(path, (flags & O_NOFOLLOW) == 0, reads_only(flags));
    return real<OpenFunc>(h)(path, flags, mode);
}
int stat_through(Hook h, const char *path, void *st) {
    note_path(path, true, false);
    return real<StatFunc>(h)(path, st);
}

int w_open(const char *path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    const int fd = open_through(H_open, path, flags, ap);
    va_end(ap);
    return fd;
}

int w_open64(const char *path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    const int fd = open_through(H_open64, path, flags, ap);
    va_end(ap);
    return fd;
}

int w_stat(const char *path, void *st) {
    return stat_through(H_stat, path, st);
}
int w_stat64(const char *path, void *st) {
    return stat_through(H_stat64, path, st);
}
int w___stat64_time64(const char *path, void *st) {
    return stat_through(H___stat64_time64, path, st);
}

std::FILE *w_popen(const char *command, const char *mode) {
    std::FILE *file = REAL(popen)(command, mode);
    if (file == nullptr || g_socket_path == nullptr)
        return file;
    Locked lock(g_state_lock);
    for (Pipe &p : g_pipes) {
        if (p.file == nullptr) {
            p.file = file;
            p.command.clear();
            p.data.clear();
            command_text(command, p.command);
            g_pipes_open.fetch_add(1);
            return file;
        }
    }
    return file; // more pipes at once than a report opens: this one is not kept
}

int w_getc(std::FILE *file) {
    const int c = REAL(getc)(file);
    if (c != EOF && g_pipes_open.load(std::memory_order_relaxed) > 0) {
        Locked lock(g_state_lock);
        for (Pipe &p : g_pipes) {
            if (p.file == file && p.data.size() < SYSMGR_CAPTURE_MAX_DATA) {
                const char byte = static_cast<char>(c);
                p.data.put(&byte, 1);
            }
        }
    }
    return c;
}

int w_pclose(std::FILE *file) {
    const int status = REAL(pclose)(file);
    Event e("@popen");
    Locked lock(g_state_lock);
    for (Pipe &p : g_pipes) {
        if (p.file == file && file != nullptr) {
            e.field_text("cmd", p.command.data()).out("data", p.data.data(), p.data.size());
            e.field("status", status);
            p.file = nullptr;
            g_pipes_open.fetch_sub(1);
        }
    }
    return status;
}

int w_system(const char *command) {
    const int status = REAL(system)(command);
    Event e("@system");
    if (command != nullptr) {
        Buf shown;
        command_text(command, shown);
        e.field_text("cmd", shown.data());
    }
    e.field("status", status);
    return status;
}

/*
 * The alternate version report's entry, when the host calls it: its queue
 * handle is an answer of the host's that reaches no platform call.
 */
std::atomic<void *> g_real_entry{nullptr};
int w_sysmgr_show_version_internal2(int32_t q, void *rx) {
    Event("@entry").field("q", q);
    using Entry = int (*)(int32_t, void *);
    return reinterpret_cast<Entry>(g_real_entry.load())(q, rx);
}

struct Wrapper {
    const char *name;
    void *address;
};
const Wrapper kWrappers[kHookCount] = {
#define X(f) {#f, reinterpret_cast<void *>(&w_##f)},
    CAPTURE_HOOKS(X)
#undef X
};

/* ---- The audit interface ---------------------------------------------- */

constexpr std::size_t kMaxLibraries = 4;
std::atomic<uintptr_t *> g_library_cookies[kMaxLibraries];

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

extern "C" {

__attribute__((visibility("default"))) unsigned la_version(unsigned version) {
    const char *log = std::getenv(SYSMGR_CAPTURE_SOCKET_VARIABLE);
    g_socket_path = log != nullptr && log[0] != '\0' ? log : nullptr;
    return version >= 1 ? LAV_CURRENT : 0;
}

/*
 * The library's references are bound through here, and the host's, to see
 * it reach the library's alternate report.
 */
__attribute__((visibility("default"))) unsigned la_objopen(struct link_map *map, Lmid_t,
                                                           uintptr_t *cookie) {
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
            Event("@library", false).field_text("path", name).field_text("tz", std::getenv("TZ"));
            break;
        }
    }
    return LA_FLG_BINDTO | LA_FLG_BINDFROM;
}

__attribute__((visibility("default"))) uintptr_t la_symbind64(Elf64_Sym *sym, unsigned int,
                                                              uintptr_t *refcook,
                                                              uintptr_t *defcook, unsigned int *,
                                                              const char *name) {
    return bind(sym->st_value, refcook, defcook, name);
}

__attribute__((visibility("default"))) uintptr_t la_symbind32(Elf32_Sym *sym, unsigned int,
                                                              uintptr_t *refcook,
                                                              uintptr_t *defcook, unsigned int *,
                                                              const char *name) {
    return bind(sym->st_value, refcook, defcook, name);
}

} // extern "C"

namespace {

/*
 * At exit, how many of the library's references were put behind the
 * recorder, and the end of a process's record when it sent one.
 */
__attribute__((destructor)) void report_bindings() {
    if (g_socket_path == nullptr)
        return;
    if (g_library_cookies[0].load() != nullptr)
        Event("@bindings", false).field("count", g_bindings.load());
    bool connected;
    {
        Locked lock(g_log_lock);
        connected = g_connection.pid == ::getpid() && g_connection.fd >= 0;
    }
    if (connected)
        Event("@end", false);
}

} // namespace
