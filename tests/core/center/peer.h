// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A scripted center server for byte-level tests: it accepts on 127.0.0.1, reads requests and sends
// exactly the bytes a test gives it (over the shared ScriptedPeer).
#include <cstdint>
#include <cstring>
#include <vector>

#include "base/le.h"
#include "center/wire.h"
#include "scripted_peer.h"

namespace corvel::test {

struct Request {
    AppPacketHeader header;
    std::vector<uint8_t> data;
    std::vector<uint8_t> raw;  // header and data as received
};

// The center's side of a scripted connection: requests read whole, replies built as the server sends them.
class CenterPeer : public ScriptedPeer {
  public:
    bool Read(Request* request, int timeout_ms = 5000) {
        uint8_t header[AppPacketHeader::kBytes];
        if (!ReadExactly(header, sizeof(header), timeout_ms)) return false;
        request->header = AppPacketHeader::Decode(header);
        request->data.assign(request->header.length, 0);
        if (request->header.length > 0 &&
            !ReadExactly(request->data.data(), request->data.size(), timeout_ms)) {
            return false;
        }
        request->raw.assign(header, header + sizeof(header));
        request->raw.insert(request->raw.end(), request->data.begin(), request->data.end());
        return true;
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
