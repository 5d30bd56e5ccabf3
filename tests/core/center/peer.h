// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A scripted center server for byte-level tests: it accepts on 127.0.0.1, reads requests and sends
// exactly the bytes a test gives it. Every wait is bounded so a broken client fails the test instead of
// hanging it.
#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "base/le.h"
#include "center/wire.h"

namespace corvel::test {

struct Request {
    AppPacketHeader header;
    std::vector<uint8_t> data;
    std::vector<uint8_t> raw;  // header and data as received
};

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
    ScriptedPeer() {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof(address));
        listen(listener_, 8);
        socklen_t length = sizeof(address);
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        // A UDP socket that never answers, so the client's poll stays quiet unless a test answers it.
        udp_ = socket(AF_INET, SOCK_DGRAM, 0);
        address.sin_port = 0;
        bind(udp_, reinterpret_cast<sockaddr*>(&address), sizeof(address));
        length = sizeof(address);
        getsockname(udp_, reinterpret_cast<sockaddr*>(&address), &length);
        udp_port_ = ntohs(address.sin_port);
    }
    ~ScriptedPeer() {
        CloseConnection();
        close(listener_);
        close(udp_);
    }
    ScriptedPeer(const ScriptedPeer&) = delete;
    ScriptedPeer& operator=(const ScriptedPeer&) = delete;

    uint16_t port() const { return port_; }
    uint16_t udp_port() const { return udp_port_; }
    int udp_socket() const { return udp_; }

    bool Accept(int timeout_ms = 5000) {
        CloseConnection();
        if (!WaitReadable(listener_, timeout_ms)) return false;
        connection_ = accept(listener_, nullptr, nullptr);
        return connection_ >= 0;
    }
    // True when a connection is waiting to be accepted within timeout_ms.
    bool ConnectionPending(int timeout_ms) { return WaitReadable(listener_, timeout_ms); }

    bool Read(Request* request, int timeout_ms = 5000) {
        uint8_t header[AppPacketHeader::kBytes];
        if (!ReadExactly(connection_, header, sizeof(header), timeout_ms)) return false;
        request->header = AppPacketHeader::Decode(header);
        request->data.assign(request->header.length, 0);
        if (request->header.length > 0 &&
            !ReadExactly(connection_, request->data.data(), request->data.size(), timeout_ms)) {
            return false;
        }
        request->raw.assign(header, header + sizeof(header));
        request->raw.insert(request->raw.end(), request->data.begin(), request->data.end());
        return true;
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

    // A reply header (and data) as the server sends it.
    static std::vector<uint8_t> Reply(uint32_t kind, uint32_t sequence, uint32_t count,
                                      const std::vector<uint8_t>& data, uint32_t result = 0,
                                      uint32_t version = kCenterVersion, uint32_t magic = kCenterMagic,
                                      uint32_t declared_length = UINT32_MAX) {
        AppReplyHeader reply;
        reply.magic = magic;
        reply.version = version;
        reply.sequence = sequence;
        reply.kind = kind;
        reply.length = declared_length != UINT32_MAX ? declared_length : static_cast<uint32_t>(data.size());
        reply.result = result;
        reply.count = count;
        std::vector<uint8_t> bytes(AppReplyHeader::kBytes);
        reply.Encode(bytes.data());
        bytes.insert(bytes.end(), data.begin(), data.end());
        return bytes;
    }
    static std::vector<uint8_t> Answer(const Request& to, uint32_t count = 0,
                                       const std::vector<uint8_t>& data = {}) {
        return Reply(kReplyAnswer, to.header.sequence, count, data);
    }

  private:
    int listener_ = -1;
    int udp_ = -1;
    int connection_ = -1;
    uint16_t port_ = 0;
    uint16_t udp_port_ = 0;
};

// A device record as a server lists it: size 280, identifier, texts, channel count, last report.
inline DeviceRecord MakeRecord(const char* id, uint32_t last_report = 1700000000, int32_t channels = 4,
                               const char* vehicle = "") {
    DeviceRecord record;
    StoreLE32(record.bytes, DeviceRecord::kBytes);
    record.set_id(id);
    record.set_text1(vehicle);
    record.set_channel_count(channels);
    record.set_last_report(last_report);
    return record;
}

// Records laid end to end, each padded (or cut) to `size` bytes.
inline std::vector<uint8_t> Records(const std::vector<DeviceRecord>& records,
                                    size_t size = DeviceRecord::kBytes) {
    std::vector<uint8_t> bytes;
    for (const auto& record : records) {
        std::vector<uint8_t> one(size, 0xEE);
        std::memcpy(one.data(), record.bytes, std::min(size, DeviceRecord::kBytes));
        bytes.insert(bytes.end(), one.begin(), one.end());
    }
    return bytes;
}

}  // namespace corvel::test
