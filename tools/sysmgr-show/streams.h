/*
 * SPDX-License-Identifier: MIT
 *
 * Collecting what the process writes on its standard streams while one
 * command of the library runs.
 */
#ifndef SYSMGR_SHOW_STREAMS_H
#define SYSMGR_SHOW_STREAMS_H

#include <cstddef>
#include <string>
#include <thread>
#include <vector>

/* Bytes written on the standard output (stream 1) or error (2), in order. */
struct StreamChunk {
    int stream;
    std::string bytes;
};

/*
 * While started, file descriptors 1 and 2 of the process (and so of every
 * child it starts) are two datagram sockets that send to one receiver, so
 * that the writes of both streams are kept in the order they were made and
 * each is known by its sender. A thread receives them as they come.
 *
 * The receiver has an abstract address, which every process in the network
 * namespace can send to, whoever it runs as. So a datagram counts only when
 * its source address, which the kernel sets and no sender can forge, is one
 * of the two senders' own; the senders stay bound until the last datagram is
 * received, so that no one else can take their names before. Anything else
 * is dropped and counted.
 *
 * What is kept is bounded whatever the senders write: at most kKeptBytes in
 * at most kKeptPieces pieces, a piece being a line or a change of stream
 * (each costs a message or a chunk of its own). The rest is counted.
 */
class StreamCapture {
  public:
    static constexpr std::size_t kKeptBytes = 1u << 20;
    static constexpr std::size_t kKeptPieces = 8192;

    StreamCapture() = default;
    StreamCapture(const StreamCapture &) = delete;
    StreamCapture &operator=(const StreamCapture &) = delete;
    ~StreamCapture() { stop(); }

    bool start(std::string &problem);
    /* Gives the process its streams back; everything received is in chunks(). */
    void stop();
    /* Consecutive writes on one stream are joined in one chunk. */
    const std::vector<StreamChunk> &chunks() const { return chunks_; }
    /* Datagrams from other senders, dropped. */
    std::size_t dropped() const { return dropped_; }
    /* Bytes of the two senders past the bounds, left out. */
    std::size_t left_out() const { return left_out_; }
    /* Lines that say what was dropped or left out, if anything was. */
    std::vector<std::string> notes() const;

  private:
    void receive();
    void keep(int stream, const char *bytes, std::size_t length);

    int receiver_ = -1;
    int senders_[2] = {-1, -1};
    int saved_[2] = {-1, -1};
    int wake_[2] = {-1, -1};
    std::string names_[2]; // each sender's socket address
    std::thread reader_;
    std::vector<StreamChunk> chunks_;
    std::size_t kept_bytes_ = 0;
    std::size_t kept_pieces_ = 0;
    std::size_t dropped_ = 0;
    std::size_t left_out_ = 0;
};

#endif
