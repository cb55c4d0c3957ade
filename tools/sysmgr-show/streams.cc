// SPDX-License-Identifier: MIT
//
// The standard streams of the process as two datagram senders into one receiver.
#include "streams.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// An unnamed datagram socket given a unique abstract address; its address in name.
int bound_socket(std::string &name) {
    const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    socklen_t length = sizeof(sa_family_t); // asks the kernel for an address of its own
    if (bind(fd, reinterpret_cast<sockaddr *>(&address), length) != 0 ||
        (length = sizeof address,
         getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) != 0)) {
        close(fd);
        return -1;
    }
    name.assign(reinterpret_cast<const char *>(&address), length);
    return fd;
}

void close_fd(int &fd) {
    if (fd >= 0)
        close(fd);
    fd = -1;
}

// More datagrams than a receive queue holds: what is read after the wake-up
// at most, so that senders that keep sending cannot hold stop() back.
constexpr std::size_t kReadAfterStop = 1u << 16;

} // namespace

bool StreamCapture::start(std::string &problem) {
    std::string receiver_name;
    receiver_ = bound_socket(receiver_name);
    bool ok = receiver_ >= 0 && pipe2(wake_, O_CLOEXEC) == 0;
    for (int i = 0; ok && i < 2; ++i) {
        senders_[i] = bound_socket(names_[i]);
        ok = senders_[i] >= 0 &&
             connect(senders_[i], reinterpret_cast<const sockaddr *>(receiver_name.data()),
                     static_cast<socklen_t>(receiver_name.size())) == 0;
    }
    // The process's own streams are kept aside first: without them nothing could be reported.
    for (int i = 0; ok && i < 2; ++i)
        ok = (saved_[i] = fcntl(i + 1, F_DUPFD_CLOEXEC, 3)) >= 0;
    if (!ok) {
        problem = std::string("cannot collect the library's messages: ") + std::strerror(errno);
        stop();
        return false;
    }
    // The receiver takes no signals: the thread that runs the library handles them.
    sigset_t all, old;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &old);
    reader_ = std::thread([this] { receive(); });
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    std::fflush(stdout);
    std::fflush(stderr);
    for (int i = 0; i < 2; ++i)
        dup2(senders_[i], i + 1);
    return true;
}

void StreamCapture::stop() {
    std::fflush(stdout);
    std::fflush(stderr);
    for (int i = 0; i < 2; ++i) {
        if (saved_[i] >= 0)
            dup2(saved_[i], i + 1);
        close_fd(saved_[i]);
    }
    if (reader_.joinable()) {
        const char wake = 0;
        while (write(wake_[1], &wake, 1) < 0 && errno == EINTR) {
        }
        reader_.join();
    }
    // Only now: while bound, no one else can send from the senders' names.
    close_fd(senders_[0]);
    close_fd(senders_[1]);
    close_fd(wake_[0]);
    close_fd(wake_[1]);
    close_fd(receiver_);
}

// Receives datagrams in their order until woken, then takes what is left.
void StreamCapture::receive() {
    // More than a datagram of the default buffer sizes; not cleared, so only
    // the pages a datagram fills are touched.
    const std::size_t size = 1u << 18;
    const auto buffer = std::make_unique_for_overwrite<char[]>(size);
    bool woken = false;
    for (std::size_t after_stop = 0; after_stop < kReadAfterStop; after_stop += woken ? 1 : 0) {
        pollfd fds[2] = {{receiver_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        if (!woken && poll(fds, 2, -1) < 0)
            continue; // interrupted
        woken = woken || (fds[1].revents & POLLIN) != 0;
        sockaddr_un from{};
        socklen_t length = sizeof from;
        // MSG_TRUNC: the datagram's whole length, even where the buffer is shorter.
        const ssize_t n = recvfrom(receiver_, buffer.get(), size, MSG_DONTWAIT | MSG_TRUNC,
                                   reinterpret_cast<sockaddr *>(&from), &length);
        if (n < 0) {
            if (woken && errno != EINTR)
                return;
            continue;
        }
        const std::string_view sender(reinterpret_cast<const char *>(&from),
                                      std::min<std::size_t>(length, sizeof from));
        const int stream = sender == names_[0] ? 1 : sender == names_[1] ? 2 : 0;
        if (stream == 0) {
            ++dropped_;
            continue;
        }
        const std::size_t whole = static_cast<std::size_t>(n);
        const std::size_t received = std::min(whole, size);
        keep(stream, buffer.get(), received);
        left_out_ += whole - received;
    }
}

// Keeps what fits of a write, joined to the last chunk when on its stream;
// after the first byte left out, nothing more, so that what is kept is the
// start of what was written.
void StreamCapture::keep(int stream, const char *bytes, std::size_t length) {
    const bool joins = !chunks_.empty() && chunks_.back().stream == stream;
    std::size_t pieces = kept_pieces_ + (joins ? 0 : 1);
    std::size_t take = 0;
    if (left_out_ == 0 && pieces <= kKeptPieces) {
        for (; take < length && kept_bytes_ + take < kKeptBytes; ++take) {
            if (bytes[take] != '\n')
                continue;
            if (pieces == kKeptPieces)
                break;
            ++pieces;
        }
    }
    if (take > 0) {
        if (joins)
            chunks_.back().bytes.append(bytes, take);
        else
            chunks_.push_back({stream, std::string(bytes, take)});
        kept_bytes_ += take;
        kept_pieces_ = pieces;
    }
    left_out_ += length - take;
}

std::vector<std::string> StreamCapture::notes() const {
    std::vector<std::string> out;
    if (left_out_ > 0)
        out.push_back("the standard streams wrote more than the " + std::to_string(kKeptBytes) +
                      " bytes in " + std::to_string(kKeptPieces) + " lines or writes kept; " +
                      std::to_string(left_out_) + " bytes were left out");
    if (dropped_ > 0)
        out.push_back(std::to_string(dropped_) + " datagrams from other senders were dropped");
    return out;
}
