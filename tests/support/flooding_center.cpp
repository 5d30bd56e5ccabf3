// SPDX-License-Identifier: GPL-3.0-or-later
#include "flooding_center.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "base/le.h"
#include "center/wire.h"

namespace corvel::test {

namespace {

constexpr int kWaitMs = 50;
// Bursts between two looks at the poll socket while blasting: long enough to outrun the client.
constexpr size_t kBurstDatagrams = 64;
// The largest request data a client sends is one status request record; a header announcing far more
// is not a client of ours.
constexpr uint32_t kMaxRequestBytes = 64 * 1024;

bool Readable(int fd, int timeout_ms) {
    pollfd entry{fd, POLLIN, 0};
    return poll(&entry, 1, timeout_ms) > 0;
}

// Reads exactly `n` bytes, waiting in short steps so that Stop is noticed. False on end, error or stop.
bool ReadAll(int fd, uint8_t* out, size_t n, const std::atomic<bool>& stop) {
    size_t done = 0;
    while (done < n) {
        if (stop.load()) return false;
        if (!Readable(fd, kWaitMs)) continue;
        const ssize_t got = recv(fd, out + done, n - done, 0);
        if (got <= 0) return false;
        done += static_cast<size_t>(got);
    }
    return true;
}

int BoundSocket(int type, uint16_t* port, std::string* error) {
    const int fd = socket(AF_INET, type, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        (type == SOCK_STREAM && listen(fd, 4) != 0) ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        *error = std::string("socket: ") + std::strerror(errno);
        if (fd >= 0) close(fd);
        return -1;
    }
    *port = ntohs(address.sin_port);
    return fd;
}

}  // namespace

size_t BlastPollAnswers(int udp_socket, const sockaddr_in& to, uint64_t* stamp, size_t count) {
    uint8_t answer[PollAnswer::kMinBytes] = {};
    size_t sent = 0;
    for (size_t i = 0; i < count; ++i) {
        PollAnswer::Encode(kCenterVersion, (*stamp)++, answer);
        if (sendto(udp_socket, answer, sizeof(answer), MSG_DONTWAIT, reinterpret_cast<const sockaddr*>(&to),
                   sizeof(to)) == static_cast<ssize_t>(sizeof(answer))) {
            ++sent;
        }
    }
    return sent;
}

bool FloodingCenter::Start(bool blast, std::string* error) {
    Stop();
    blast_ = blast;
    stop_.store(false);
    listener_ = BoundSocket(SOCK_STREAM, &tcp_port_, error);
    if (listener_ < 0) return false;
    udp_ = BoundSocket(SOCK_DGRAM, &udp_port_, error);
    if (udp_ < 0) {
        close(listener_);
        listener_ = -1;
        return false;
    }
    tcp_thread_ = std::thread([this] { ServeTcp(); });
    udp_thread_ = std::thread([this] { ServeUdp(); });
    return true;
}

void FloodingCenter::Stop() {
    stop_.store(true);
    if (tcp_thread_.joinable()) tcp_thread_.join();
    if (udp_thread_.joinable()) udp_thread_.join();
    if (listener_ >= 0) close(listener_);
    if (udp_ >= 0) close(udp_);
    listener_ = udp_ = -1;
}

// One client at a time: a new connection (the client logging in again) replaces the old one.
void FloodingCenter::ServeTcp() {
    int connection = -1;
    while (!stop_.load()) {
        pollfd entries[2] = {{listener_, POLLIN, 0}, {connection, POLLIN, 0}};
        if (poll(entries, connection >= 0 ? 2 : 1, kWaitMs) <= 0) continue;
        if ((entries[0].revents & POLLIN) != 0) {
            if (connection >= 0) close(connection);
            connection = accept(listener_, nullptr, nullptr);
            continue;
        }
        if (connection >= 0 && entries[1].revents != 0 && !ServeRequest(connection)) {
            close(connection);
            connection = -1;
        }
    }
    if (connection >= 0) close(connection);
}

bool FloodingCenter::ServeRequest(int connection) {
    uint8_t bytes[AppPacketHeader::kBytes];
    if (!ReadAll(connection, bytes, sizeof(bytes), stop_)) return false;
    const AppPacketHeader request = AppPacketHeader::Decode(bytes);
    if (request.magic != kCenterMagic || request.length > kMaxRequestBytes) return false;
    uint8_t data[kMaxRequestBytes];
    if (!ReadAll(connection, data, request.length, stop_)) return false;
    if (request.type == kRequestStatusSince) {
        status_requests_.fetch_add(1);
        return true;
    }
    other_requests_.fetch_add(1);
    // Logged in, an empty fleet, every other request done.
    AppReplyHeader reply;
    reply.sequence = request.sequence;
    reply.kind = kReplyAnswer;
    uint8_t out[AppReplyHeader::kBytes];
    reply.Encode(out);
    return send(connection, out, sizeof(out), MSG_NOSIGNAL) == static_cast<ssize_t>(sizeof(out));
}

void FloodingCenter::ServeUdp() {
    sockaddr_in client{};
    bool have_client = false;
    uint64_t stamp = 1;
    while (!stop_.load()) {
        const bool blasting = blast_ && have_client;
        if (Readable(udp_, blasting ? 0 : kWaitMs)) {
            uint8_t datagram[PollAnswer::kMaxBytes];
            sockaddr_in from{};
            socklen_t length = sizeof(from);
            const ssize_t got = recvfrom(udp_, datagram, sizeof(datagram), MSG_DONTWAIT,
                                         reinterpret_cast<sockaddr*>(&from), &length);
            if (got == static_cast<ssize_t>(PollDatagram::kBytes) && LoadLE32(datagram) == kCenterMagic &&
                LoadLE32(datagram + PollDatagram::kKindOffset) == PollDatagram::kPollKind) {
                polls_.fetch_add(1);
                // The poller's latest address: a client that made a new socket polls from a new port.
                client = from;
                have_client = true;
                poll_answers_.fetch_add(BlastPollAnswers(udp_, client, &stamp, 1));
            }
        }
        if (blasting) poll_answers_.fetch_add(BlastPollAnswers(udp_, client, &stamp, kBurstDatagrams));
    }
}

size_t ResidentBytes(int pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        size_t kib = 0;
        if (std::sscanf(line.c_str(), "VmRSS: %zu kB", &kib) == 1) return kib * 1024;
    }
    return 0;
}

}  // namespace corvel::test
