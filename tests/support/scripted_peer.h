// SPDX-License-Identifier: GPL-3.0-or-later
// A scripted peer on 127.0.0.1 for byte-level tests of the library's connections (kernel-picked ports).
// Two ways to drive it:
// - by hand, from the test's thread: Accept(), ReadExactly()/Send()/Silent() on the one open connection;
// - with a Script: a thread of its own accepts connection after connection and runs the script for each
//   (with 5 s socket time-outs) until the peer is destroyed; the by-hand calls are not used then.
// Every wait is bounded, so a broken client fails the test instead of hanging it.
#pragma once
#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <thread>
#include <utility>
#include <vector>

#include "base/socket.h"

namespace corvel::test {

inline bool WaitReadable(int fd, int timeout_ms) {
    pollfd entry{fd, POLLIN, 0};
    return poll(&entry, 1, timeout_ms) > 0;
}

inline bool ReadExactly(int fd, uint8_t* out, size_t n, int timeout_ms) {
    size_t done = 0;
    while (done < n) {
        if (!WaitReadable(fd, timeout_ms)) return false;
        const ssize_t got = recv(fd, out + done, n - done, 0);
        if (got <= 0) return false;
        done += static_cast<size_t>(got);
    }
    return true;
}

class ScriptedPeer {
  public:
    // Runs on the peer's thread, once per accepted connection; `fd` is closed after it returns.
    using Script = std::function<void(int fd, int connection_index)>;

    ScriptedPeer() {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        const int on = 1;
        setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof(address));
        listen(listener_, 8);
        socklen_t length = sizeof(address);
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        // A UDP socket that never answers, so a client's poll stays quiet unless a test answers it.
        udp_ = socket(AF_INET, SOCK_DGRAM, 0);
        address.sin_port = 0;
        bind(udp_, reinterpret_cast<sockaddr*>(&address), sizeof(address));
        length = sizeof(address);
        getsockname(udp_, reinterpret_cast<sockaddr*>(&address), &length);
        udp_port_ = ntohs(address.sin_port);
    }
    explicit ScriptedPeer(Script script) : ScriptedPeer() {
        script_ = std::move(script);
        thread_ = std::thread([this] { Serve(); });
    }
    ~ScriptedPeer() {
        stopping_ = true;
        if (thread_.joinable()) {
            shutdown(listener_, SHUT_RDWR);  // wakes the accept of the serving thread
            thread_.join();
        }
        CloseConnection();
        close(listener_);
        close(udp_);
    }
    ScriptedPeer(const ScriptedPeer&) = delete;
    ScriptedPeer& operator=(const ScriptedPeer&) = delete;

    uint16_t port() const { return port_; }
    uint16_t udp_port() const { return udp_port_; }
    int udp_socket() const { return udp_; }
    // Connections the script has been given so far.
    int connections() const { return connections_.load(); }
    bool stopping() const { return stopping_.load(); }

    bool Accept(int timeout_ms = 5000) {
        CloseConnection();
        if (!WaitReadable(listener_, timeout_ms)) return false;
        connection_ = accept(listener_, nullptr, nullptr);
        return connection_ >= 0;
    }
    // True when a connection is waiting to be accepted within timeout_ms.
    bool ConnectionPending(int timeout_ms) { return WaitReadable(listener_, timeout_ms); }
    bool ReadExactly(uint8_t* out, size_t n, int timeout_ms) {
        return test::ReadExactly(connection_, out, n, timeout_ms);
    }
    // True when nothing arrives within timeout_ms (the connection stays open).
    bool Silent(int timeout_ms) { return !WaitReadable(connection_, timeout_ms); }
    // True when the client closed its end (reads end of stream) within timeout_ms.
    bool ClosedByClient(int timeout_ms) {
        uint8_t byte;
        return WaitReadable(connection_, timeout_ms) && recv(connection_, &byte, 1, 0) <= 0;
    }
    bool Send(const std::vector<uint8_t>& bytes) {
        return send(connection_, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(bytes.size());
    }
    void CloseConnection() {
        if (connection_ >= 0) close(connection_);
        connection_ = -1;
    }

  private:
    void Serve() {
        while (!stopping_) {
            const int fd = accept(listener_, nullptr, nullptr);
            if (fd < 0) return;
            SetSocketTimeouts(fd, 5000);
            script_(fd, connections_.fetch_add(1));
            shutdown(fd, SHUT_RDWR);
            close(fd);
        }
    }

    int listener_ = -1;
    int udp_ = -1;
    int connection_ = -1;
    uint16_t port_ = 0;
    uint16_t udp_port_ = 0;
    Script script_;
    std::atomic<int> connections_{0};
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

}  // namespace corvel::test
