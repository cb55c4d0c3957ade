// SPDX-License-Identifier: MIT
//
// Temporary roots that signals remove, and the scratch copy of a capture,
// for sysmgr-show.
#include "host_io.h"

#include "sysmgrsim/sim.h"

#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <system_error>

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// The temporary root alive now, guarded so that a signal never removes half-made state.
std::mutex g_root_mutex;
std::string g_root;
int g_signal_pipe[2] = {-1, -1};

constexpr int kCleanedSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

// Removes dir, again while something (a utility still running) adds to it.
void remove_tree(const std::string &dir) {
    std::error_code ec;
    for (int attempt = 0; attempt < 20 && fs::exists(fs::symlink_status(dir, ec)); ++attempt)
        fs::remove_all(dir, ec);
}

extern "C" void on_signal(int signal) {
    const int saved = errno;
    const unsigned char number = static_cast<unsigned char>(signal);
    while (write(g_signal_pipe[1], &number, 1) < 0 && errno == EINTR) {
    }
    errno = saved;
}

// Waits for a signal's number, removes the root and ends the process with the
// signal; a 0 ends the wait instead.
void end_on_signal() {
    unsigned char number = 0;
    while (read(g_signal_pipe[0], &number, 1) != 1) {
    }
    if (number == 0)
        return;
    std::lock_guard<std::mutex> lock(g_root_mutex);
    if (!g_root.empty())
        remove_tree(g_root);
    std::signal(number, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, number);
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    raise(number);
    _exit(128 + number);
}

} // namespace

bool SignalWatch::start(std::string &problem) {
    if (pipe2(g_signal_pipe, O_CLOEXEC) != 0) {
        problem = std::string("cannot watch for signals: ") + std::strerror(errno);
        return false;
    }
    // The watcher must not take the signals itself while it removes the root.
    sigset_t set, old;
    sigemptyset(&set);
    for (int s : kCleanedSignals)
        sigaddset(&set, s);
    pthread_sigmask(SIG_BLOCK, &set, &old);
    watcher_ = std::thread(end_on_signal);
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    struct sigaction action {};
    action.sa_handler = on_signal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (int s : kCleanedSignals)
        sigaction(s, &action, nullptr);
    return true;
}

SignalWatch::~SignalWatch() {
    if (!watcher_.joinable())
        return;
    for (int s : kCleanedSignals)
        std::signal(s, SIG_DFL);
    // A signal taken before this is ahead of the 0 in the pipe and ends the process.
    const unsigned char stop = 0;
    while (write(g_signal_pipe[1], &stop, 1) < 0 && errno == EINTR) {
    }
    watcher_.join();
    close(g_signal_pipe[0]);
    close(g_signal_pipe[1]);
}

void default_sigpipe() {
    std::signal(SIGPIPE, SIG_DFL);
}

/*
 * Under $TMPDIR when set; else in memory (the user's runtime directory,
 * else /dev/shm) when one is writable, since a run creates and removes
 * a whole small tree and on a disk with online discard each removal
 * costs milliseconds; else /tmp.
 */
static std::string base_directory() {
    for (const char *name : {"TMPDIR", "XDG_RUNTIME_DIR"}) {
        const char *dir = std::getenv(name);
        if (dir != nullptr && dir[0] == '/' && access(dir, W_OK | X_OK) == 0)
            return dir;
    }
    return access("/dev/shm", W_OK | X_OK) == 0 ? "/dev/shm" : "/tmp";
}

bool TempRoot::create(std::string &problem) {
    std::string tmpl = base_directory() + "/sysmgr-show.XXXXXX";
    std::lock_guard<std::mutex> lock(g_root_mutex);
    if (mkdtemp(tmpl.data()) == nullptr) {
        problem = "cannot create a directory from " + tmpl + ": " + std::strerror(errno);
        return false;
    }
    path_ = g_root = tmpl;
    return true;
}

void TempRoot::remove() {
    if (path_.empty())
        return;
    std::lock_guard<std::mutex> lock(g_root_mutex);
    remove_tree(path_);
    g_root.clear();
    path_.clear();
}

bool copy_capture(const std::string &from, const std::string &to, std::string &problem) {
    std::error_code ec;
    std::vector<std::pair<fs::path, fs::perms>> directories; // modes set last, to write into them
    for (auto it = fs::recursive_directory_iterator(from, ec); !ec && it != fs::end(it);
         it.increment(ec)) {
        const fs::path target = to / fs::relative(it->path(), from);
        const fs::file_status st = it->symlink_status(ec);
        if (ec)
            break;
        if (fs::is_symlink(st)) {
            fs::copy_symlink(it->path(), target, ec);
        } else if (fs::is_directory(st)) {
            if (fs::create_directory(target, ec))
                directories.emplace_back(target, st.permissions());
        } else if (fs::is_regular_file(st)) {
            if (!fs::copy_file(it->path(), target, ec)) {
                ec.clear(); // unreadable here: unreadable in the copy too
                std::FILE *stand_in = std::fopen(target.c_str(), "w");
                if (stand_in != nullptr)
                    std::fclose(stand_in);
                fs::permissions(target, fs::perms::none, ec);
            }
        } else if (mkfifo(target.c_str(), 0600) != 0) {
            ec.assign(errno, std::generic_category());
        }
        if (ec)
            break;
    }
    if (ec) {
        problem = "--root " + from + ": cannot copy it: " + ec.message();
        return false;
    }
    for (auto d = directories.rbegin(); d != directories.rend(); ++d)
        fs::permissions(d->first, d->second, ec);
    return true;
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
