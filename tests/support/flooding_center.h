// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A hostile center server on 127.0.0.1 for the flood tests and the status_flood benchmark. Its TCP side
// logs a client in and answers every request with an empty answer, except the status requests of type
// 192: those it counts and never answers. Its UDP side answers every poll with a stamp one higher than the
// last and, while blasting, sends such answers to the last poller from its poll port as fast as the
// socket takes them, so each answer tells the client that something changed again.
#include <netinet/in.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <thread>

namespace corvel::test {

// Sends `count` poll answers to `to` from `udp_socket`, stamped *stamp, *stamp + 1, ... and leaves *stamp
// after the last. A datagram the kernel refuses for want of buffer space is given up (the next carries a
// newer stamp anyway). Returns how many went out.
size_t BlastPollAnswers(int udp_socket, const sockaddr_in& to, uint64_t* stamp, size_t count);

class FloodingCenter {
  public:
    FloodingCenter() = default;
    ~FloodingCenter() { Stop(); }
    FloodingCenter(const FloodingCenter&) = delete;
    FloodingCenter& operator=(const FloodingCenter&) = delete;

    // Binds both ports (kernel-picked) and starts the two serving threads. False, with the reason in
    // `error`, when a socket cannot be made. `blast`: flood the poller, else only answer each poll.
    bool Start(bool blast, std::string* error);
    // Ends both threads and closes every socket. Idempotent.
    void Stop();

    uint16_t tcp_port() const { return tcp_port_; }
    uint16_t udp_port() const { return udp_port_; }
    // What arrived and went out so far; any thread.
    uint64_t status_requests() const { return status_requests_.load(); }  // type 192, never answered
    uint64_t other_requests() const { return other_requests_.load(); }    // answered
    uint64_t polls() const { return polls_.load(); }
    uint64_t poll_answers() const { return poll_answers_.load(); }

  private:
    void ServeTcp();
    void ServeUdp();
    // Reads one request from `connection` and answers it unless it is of type 192. False when the
    // connection ended, broke or sent something that is not a request header.
    bool ServeRequest(int connection);

    bool blast_ = true;
    int listener_ = -1;
    int udp_ = -1;
    uint16_t tcp_port_ = 0;
    uint16_t udp_port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread tcp_thread_;
    std::thread udp_thread_;
    std::atomic<uint64_t> status_requests_{0};
    std::atomic<uint64_t> other_requests_{0};
    std::atomic<uint64_t> polls_{0};
    std::atomic<uint64_t> poll_answers_{0};
};

// The resident set of a process in bytes, from /proc/PID/status; 0 when it cannot be read.
size_t ResidentBytes(int pid);

}  // namespace corvel::test
