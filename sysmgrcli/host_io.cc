// SPDX-License-Identifier: MIT
//
// Writes to the host's standard streams with SIGPIPE kept from the host.
#include "host_io.h"

#include <cstdarg>
#include <ctime>

#include <signal.h>

namespace sysmgrcli {

namespace {

/*
 * Blocks SIGPIPE in the calling thread while it lives. A write to a broken
 * pipe raises SIGPIPE in the writing thread, where it now stays pending; if
 * it was not pending before, it is the library's own and is taken off the
 * thread before the mask is restored. One the host already had pending is
 * left alone.
 */
class SigpipeGuard {
  public:
    SigpipeGuard() noexcept {
        sigemptyset(&pipe_);
        sigaddset(&pipe_, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe_, &old_);
        was_pending_ = pending();
    }
    ~SigpipeGuard() {
        if (!was_pending_ && pending()) {
            const timespec now = {};
            sigtimedwait(&pipe_, nullptr, &now);
        }
        pthread_sigmask(SIG_SETMASK, &old_, nullptr);
    }
    SigpipeGuard(const SigpipeGuard &) = delete;
    SigpipeGuard &operator=(const SigpipeGuard &) = delete;

  private:
    bool pending() const noexcept {
        sigset_t set;
        return sigpending(&set) == 0 && sigismember(&set, SIGPIPE) == 1;
    }

    sigset_t pipe_;
    sigset_t old_;
    bool was_pending_;
};

} // namespace

void say(std::FILE *stream, const char *format, ...) {
    const SigpipeGuard guard;
    va_list args;
    va_start(args, format);
    std::vfprintf(stream, format, args);
    va_end(args);
}

void flush_stdout() noexcept {
    const SigpipeGuard guard;
    std::fflush(stdout);
}

} // namespace sysmgrcli
