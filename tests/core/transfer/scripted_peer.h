// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>
#include <vector>

#include "base/socket.h"

namespace corvel::test {

// A TCP server on 127.0.0.1 (kernel-picked port) that runs `script` for every connection it accepts, one
// at a time, on its own thread, until destroyed.
class ScriptedPeer {
  public:
    using Script = std::function<void(int fd, int connection_index)>;
    explicit ScriptedPeer(Script script) : script_(std::move(script)) {
        listen_fd_ = socket(AF_INET, SOCK_STREAM, 0);
        const int on = 1;
        setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listen_fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address));
        socklen_t length = sizeof(address);
        getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        listen(listen_fd_, 8);
        thread_ = std::thread([this] { Serve(); });
    }
    ~ScriptedPeer() {
        stopping_ = true;
        shutdown(listen_fd_, SHUT_RDWR);
        thread_.join();
        close(listen_fd_);
    }
    uint16_t port() const { return port_; }
    int connections() const { return connections_.load(); }
    bool stopping() const { return stopping_.load(); }

  private:
    void Serve() {
        while (!stopping_) {
            const int fd = accept(listen_fd_, nullptr, nullptr);
            if (fd < 0) return;
            SetSocketTimeouts(fd, 5000);
            script_(fd, connections_.fetch_add(1));
            shutdown(fd, SHUT_RDWR);
            close(fd);
        }
    }
    Script script_;
    int listen_fd_ = -1;
    uint16_t port_ = 0;
    std::atomic<int> connections_{0};
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

}  // namespace corvel::test
