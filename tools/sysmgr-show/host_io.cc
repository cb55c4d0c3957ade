// SPDX-License-Identifier: MIT
//
// Temporary roots that signals remove, for sysmgr-show.
#include "host_io.h"

#include "replay_copy.h"
#include "sysmgrsim/sim.h"
#include "tree.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The temporary root alive now, as the signal handler finds it: its name in
// the directory g_base_fd, which is -1 while there is none. Both are set with
// the signals blocked, so that a signal never removes half-made state.
volatile sig_atomic_t g_base_fd = -1;
char g_root_name[64];

constexpr int kCleanedSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

// Blocks or unblocks the signals that remove the root.
void block_cleaned_signals(int how) {
    sigset_t set;
    sigemptyset(&set);
    for (const int s : kCleanedSignals)
        sigaddset(&set, s);
    pthread_sigmask(how, &set, nullptr);
}

/*
 * Removes the temporary root, again while something (a utility still
 * running) adds to it. Returns 0, or the errno with the name that failed in
 * failed. System calls only: the signal handler calls it.
 */
int remove_root(char *failed, std::size_t size) {
    struct stat st;
    int error = 0;
    for (int attempt = 0; attempt < 20; ++attempt) {
        error = replay::remove_tree(g_base_fd, g_root_name, failed, size);
        if (error == 0 && fstatat(g_base_fd, g_root_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            return 0;
    }
    if (error != 0)
        return error;
    if (size > 0) {
        const std::size_t n = strnlen(g_root_name, size - 1);
        std::memcpy(failed, g_root_name, n);
        failed[n] = '\0';
    }
    return ENOTEMPTY;
}

extern "C" void on_signal(int signal) {
    char failed[1];
    if (g_base_fd >= 0)
        remove_root(failed, sizeof failed);
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigaction(signal, &action, nullptr);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal);
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    raise(signal);
    _exit(128 + signal);
}

} // namespace

void remove_root_on_signals() {
    struct sigaction action {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    for (const int s : kCleanedSignals)
        sigaddset(&action.sa_mask, s); // one removal at a time
    for (const int s : kCleanedSignals)
        sigaction(s, &action, nullptr);
}

/*
 * Under $TMPDIR when set; else in memory (the user's runtime directory,
 * else /dev/shm) when one is writable, since a run creates and removes
 * a whole small tree and on a disk with online discard each removal
 * costs milliseconds; else /tmp. The second is where it came from.
 */
static std::pair<std::string, std::string> base_directory() {
    for (const char *name : {"TMPDIR", "XDG_RUNTIME_DIR"}) {
        const char *dir = std::getenv(name);
        if (dir != nullptr && dir[0] == '/' && access(dir, W_OK | X_OK) == 0)
            return {dir, std::string("$") + name};
    }
    if (access("/dev/shm", W_OK | X_OK) == 0)
        return {"/dev/shm", "the fallback"};
    return {"/tmp", "the fallback"};
}

// "sysmgr-show." and six random letters or digits.
static bool random_name(std::string &name) {
    static constexpr char kChars[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    unsigned char bytes[6];
    if (getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes))
        return false;
    name = "sysmgr-show.";
    for (const unsigned char b : bytes)
        name += kChars[b % (sizeof kChars - 1)];
    return true;
}

bool TempRoot::create(std::string &problem) {
    const auto [base, source] = base_directory();
    const int base_fd = open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat st;
    if (base_fd < 0 || fstat(base_fd, &st) != 0) {
        problem = "temporary directory " + base + ": " + std::strerror(errno);
        if (base_fd >= 0)
            close(base_fd);
        return false;
    }
    const tree::Unsafe unsafe = tree::unsafe_directory(st, geteuid());
    if (unsafe != tree::Unsafe::no) {
        problem = "temporary directory " + base + " (" + source + "): " +
                  (unsafe == tree::Unsafe::others_write
                       ? tree::kOthersWrite
                       : "owned by another user (uid " + std::to_string(st.st_uid) + ")");
        close(base_fd);
        return false;
    }
    std::string name;
    int made = -1;
    block_cleaned_signals(SIG_BLOCK);
    for (int attempt = 0; attempt < 100 && made != 0; ++attempt) {
        made = random_name(name) ? mkdirat(base_fd, name.c_str(), 0700) : -1;
        if (made != 0 && errno != EEXIST)
            break;
    }
    if (made == 0) {
        std::memcpy(g_root_name, name.c_str(), name.size() + 1);
        g_base_fd = base_fd;
    }
    const int error = errno;
    block_cleaned_signals(SIG_UNBLOCK);
    errno = error;
    if (made == 0) {
        fd_ = openat(base_fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd_ >= 0 && fchmod(fd_, 0700) == 0) { // whatever the umask
            path_ = base + "/" + name;
            return true;
        }
    }
    problem = "cannot create a directory in " + base + ": " + std::strerror(errno);
    if (fd_ >= 0)
        close(fd_);
    fd_ = -1;
    if (made == 0) {
        char failed[1];
        remove_root(failed, sizeof failed);
    }
    g_base_fd = -1;
    close(base_fd);
    return false;
}

TempRoot::~TempRoot() {
    std::string problem;
    if (!remove(problem))
        std::fprintf(stderr, "sysmgr-show: %s\n", problem.c_str());
}

bool TempRoot::remove(std::string &problem) {
    const int base_fd = g_base_fd;
    if (base_fd < 0)
        return true;
    if (fd_ >= 0)
        close(fd_);
    fd_ = -1;
    char failed[NAME_MAX + 1];
    const int error = remove_root(failed, sizeof failed);
    if (error != 0)
        problem = "cannot remove the temporary directory " + path_ + ": " + failed + ": " +
                  std::strerror(error);
    g_base_fd = -1;
    close(base_fd);
    path_.clear();
    return error == 0;
}

namespace {

struct Opened {
    std::string path; // below the root
    int error;        // 0: opened
};

// Set only on the thread that runs the library, before and after it runs.
bool g_recording = false;
std::string g_recorded_root;
std::vector<Opened> g_opened;

} // namespace

// The C library's open() with this program's bookkeeping: the library's
// files, as it opens them, without any change to what it gets.
extern "C" int open(const char *path, int flags, ...) {
    mode_t mode = 0;
    if ((flags & (O_CREAT | O_TMPFILE)) != 0) {
        va_list ap;
        va_start(ap, flags);
        mode = va_arg(ap, mode_t);
        va_end(ap);
    }
    using OpenFunc = int (*)(const char *, int, ...);
    static const auto real = reinterpret_cast<OpenFunc>(dlsym(RTLD_NEXT, "open"));
    const int fd = real(path, flags, mode);
    const std::string &root = g_recorded_root;
    if (g_recording && std::strncmp(path, root.c_str(), root.size()) == 0 &&
        std::strncmp(path + root.size(), "/" SIM_SUDO_DIR "/", sizeof SIM_SUDO_DIR + 1) != 0) {
        const int error = fd < 0 ? errno : 0;
        g_opened.push_back({path + root.size(), error});
        errno = error != 0 ? error : errno;
    }
    return fd;
}

std::string trace_line(std::size_t number, const std::string &text) {
    char shown[32];
    std::snprintf(shown, sizeof shown, "%4zu  ", number);
    return shown + text + "\n";
}

void record_opens(const std::string &root) {
    g_recorded_root = root;
    g_opened.clear();
    g_recording = true;
}

void stop_recording_opens() {
    g_recording = false;
}

std::string opened_files_trace() {
    std::string out = "trace: " + std::to_string(g_opened.size()) + " files opened\n";
    std::size_t n = 0;
    for (const Opened &o : g_opened)
        out += trace_line(++n, o.path + " = " + (o.error == 0 ? "opened" : std::strerror(o.error)));
    return out;
}
