// SPDX-License-Identifier: MIT
// What sysmgr-show keeps of the process's standard streams while a command
// runs: the run's own writes in order, bounded, and nothing from anyone else.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "sysmgr-show/streams.h"

namespace {

// The kept chunks as "stream:bytes|", a long chunk by its length.
std::string shown(const std::vector<StreamChunk> &chunks) {
    std::string out;
    for (const StreamChunk &c : chunks)
        out += std::to_string(c.stream) + ":" +
               (c.bytes.size() <= 16 ? c.bytes : std::to_string(c.bytes.size()) + " bytes") + "|";
    return out;
}

// Sends bytes to where fd 1 sends, from a socket of another process's kind:
// with an address of its own or, unbound, with none.
void send_as_stranger(bool bound, const std::string &bytes) {
    sockaddr_un receiver{};
    socklen_t length = sizeof receiver;
    getpeername(1, reinterpret_cast<sockaddr *>(&receiver), &length);
    const int fd = socket(AF_UNIX, SOCK_DGRAM, 0);
    const sockaddr_un any{AF_UNIX, {}};
    if (bound)
        bind(fd, reinterpret_cast<const sockaddr *>(&any), sizeof(sa_family_t));
    sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr *>(&receiver),
           length);
    close(fd);
}

TEST(StreamCapture, KeepsTheRunsOwnWritesInOrderBoundedAndDropsOthers) {
    constexpr int kStranger = 0, kUnbound = -1;
    struct Write {
        int from; // 1 or 2: the stream; else a stranger
        std::string bytes;
        int times = 1;
    };
    const std::string page(4096, 'x');
    const struct Row {
        const char *name;
        std::vector<Write> writes;
        std::string kept;
        std::size_t dropped, left_out;
    } rows[] = {
        {"order across both streams",
         {{1, "a"}, {kStranger, "forged\n"}, {2, "b\n"}, {kUnbound, "x"}, {1, "c\n"}},
         "1:a|2:b\n|1:c\n|",
         2,
         0},
        {"a stranger's text without a line end is not prepended",
         {{kStranger, "EVIL "}, {2, "real\n"}, {2, "more\n"}},
         "2:real\nmore\n|",
         1,
         0},
        {"a stranger's flood", {{kStranger, "x", 2000}, {1, "ok\n"}}, "1:ok\n|", 2000, 0},
        {"a flood of bytes", {{1, page, 512}, {2, "late\n"}}, "1:1048576 bytes|", 0, 1048581},
        {"a flood of lines", {{2, "\n", 10000}}, "2:8191 bytes|", 0, 1809},
    };
    for (const Row &row : rows) {
        StreamCapture capture;
        std::string problem;
        ASSERT_TRUE(capture.start(problem)) << problem;
        for (const Write &w : row.writes) {
            for (int i = 0; i < w.times; ++i) {
                if (w.from == 1 || w.from == 2)
                    EXPECT_EQ(write(w.from, w.bytes.data(), w.bytes.size()),
                              static_cast<ssize_t>(w.bytes.size()));
                else
                    send_as_stranger(w.from == kStranger, w.bytes);
            }
        }
        capture.stop();
        SCOPED_TRACE(row.name);
        EXPECT_EQ(shown(capture.chunks()), row.kept);
        EXPECT_EQ(capture.dropped(), row.dropped);
        EXPECT_EQ(capture.left_out(), row.left_out);
        EXPECT_EQ(capture.notes().size(),
                  (row.dropped > 0 ? 1u : 0u) + (row.left_out > 0 ? 1u : 0u));
    }
}

} // namespace
