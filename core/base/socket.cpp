// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace corvel {

bool ResolveIPv4(const char* host, uint16_t port, sockaddr_in* out) {
    std::memset(out, 0, sizeof(*out));
    out->sin_family = AF_INET;
    out->sin_port = htons(port);
    if (inet_pton(AF_INET, host, &out->sin_addr) == 1) return true;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* result = nullptr;
    if (getaddrinfo(host, nullptr, &hints, &result) != 0 || result == nullptr) return false;
    out->sin_addr = reinterpret_cast<const sockaddr_in*>(result->ai_addr)->sin_addr;
    freeaddrinfo(result);
    return true;
}

bool CloseSocketOnce(std::atomic<SocketHandle>& handle) {
    const SocketHandle old = handle.exchange(kInvalidSocket, std::memory_order_acq_rel);
    if (old == kInvalidSocket) return false;
    shutdown(old, SHUT_RDWR);
    close(old);
    return true;
}

void WakeSocket(const std::atomic<SocketHandle>& handle) {
    const SocketHandle current = handle.load(std::memory_order_acquire);
    if (current != kInvalidSocket) shutdown(current, SHUT_RDWR);
}

static bool SetBlocking(SocketHandle socket, bool blocking) {
    const int flags = fcntl(socket, F_GETFL, 0);
    if (flags < 0) return false;
    const int wanted = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
    return fcntl(socket, F_SETFL, wanted) == 0;
}

bool ConnectWithTimeout(SocketHandle socket, const sockaddr_in& address, uint32_t timeout_ms) {
    if (socket < 0) return false;
    if (!SetBlocking(socket, false)) return false;
    if (connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        if (errno != EINPROGRESS) return false;
        // poll rather than select: a process with many streams may hold descriptors above FD_SETSIZE.
        pollfd entry{socket, POLLOUT, 0};
        int ready;
        do {
            ready = poll(&entry, 1, static_cast<int>(timeout_ms));
        } while (ready < 0 && errno == EINTR);
        if (ready <= 0) return false;
        int error = 0;
        socklen_t length = sizeof(error);
        if (getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) return false;
    }
    return SetBlocking(socket, true);
}

bool SetSocketTimeouts(SocketHandle socket, uint32_t timeout_ms) {
    timeval tv{static_cast<time_t>(timeout_ms / 1000), static_cast<suseconds_t>((timeout_ms % 1000) * 1000)};
    const int off = 0;
    bool ok = setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof(tv)) == 0;
    ok = setsockopt(socket, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof(tv)) == 0 && ok;
    ok = setsockopt(socket, SOL_SOCKET, SO_DEBUG, &off, sizeof(off)) == 0 && ok;
    return ok;
}

bool RecvAll(SocketHandle socket, void* buffer, size_t n) {
    auto* bytes = static_cast<uint8_t*>(buffer);
    size_t done = 0;
    while (done < n) {
        const ssize_t got = recv(socket, bytes + done, n - done, 0);
        if (got <= 0) {
            if (got < 0 && errno == EINTR) continue;
            return false;
        }
        done += static_cast<size_t>(got);
    }
    return true;
}

bool SendAll(SocketHandle socket, const void* buffer, size_t n) {
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    size_t done = 0;
    while (done < n) {
        const ssize_t sent = send(socket, bytes + done, n - done, MSG_NOSIGNAL);
        if (sent <= 0) {
            if (sent < 0 && errno == EINTR) continue;
            return false;
        }
        done += static_cast<size_t>(sent);
    }
    return true;
}

bool RecvDiscard(SocketHandle socket, size_t n) {
    uint8_t scratch[512];
    while (n > 0) {
        const size_t want = n < sizeof(scratch) ? n : sizeof(scratch);
        const ssize_t got = recv(socket, scratch, want, 0);
        if (got <= 0) {
            if (got < 0 && errno == EINTR) continue;
            return false;
        }
        n -= static_cast<size_t>(got);
    }
    return true;
}

}  // namespace corvel
