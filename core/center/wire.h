// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Wire records of the center-server protocol. Each record is encoded into and decoded from bytes field by
// field in little-endian order; nothing is ever read by laying a struct over received bytes. The byte
// offsets are the contract with the server: every record checks at compile time that its fields fill its
// declared size exactly.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "base/le.h"
#include "center/device_record.h"

namespace corvel {

inline constexpr uint32_t kCenterMagic = FourCC('Q', 'X', 'A', 'P');
inline constexpr uint32_t kCenterVersion = FourCC('V', '1', '0', '3');

// Request types.
inline constexpr uint32_t kRequestAddDevice = 128;
inline constexpr uint32_t kRequestStatusList = 130;
inline constexpr uint32_t kRequestDeviceList = 131;
inline constexpr uint32_t kRequestModifyDevice = 132;
inline constexpr uint32_t kRequestControl = 134;
inline constexpr uint32_t kRequestStatusSince = 192;

// Reply kinds.
inline constexpr uint32_t kReplyRejected = 0x8000;
inline constexpr uint32_t kReplyAnswer = 0x8001;
inline constexpr uint32_t kReplyPollAnswer = 0x8002;
inline constexpr uint32_t kReplyFailure = 0x8003;
// Reply result that refuses the request.
inline constexpr uint32_t kResultRefused = 1;

// Request header: 120 bytes, followed in the same send by `length` data bytes.
struct AppPacketHeader {
    static constexpr size_t kMagicOffset = 0, kVersionOffset = 4, kSequenceOffset = 8, kTypeOffset = 12,
                            kLengthOffset = 16, kUserOffset = 20, kPasswordOffset = 52, kSessionOffset = 84,
                            kHasDataOffset = 116;
    static constexpr size_t kTextBytes = 32;
    static constexpr size_t kBytes = 120;

    uint32_t magic = kCenterMagic;
    uint32_t version = kCenterVersion;
    uint32_t sequence = 0;
    uint32_t type = 0;
    uint32_t length = 0;
    char user[kTextBytes] = {};
    char password[kTextBytes] = {};
    char session_id[kTextBytes] = {};
    uint32_t has_data = 0;

    void Encode(uint8_t* out) const;
    static AppPacketHeader Decode(const uint8_t* in);
};
static_assert(AppPacketHeader::kUserOffset == AppPacketHeader::kLengthOffset + 4);
static_assert(AppPacketHeader::kPasswordOffset == AppPacketHeader::kUserOffset + AppPacketHeader::kTextBytes);
static_assert(AppPacketHeader::kSessionOffset ==
              AppPacketHeader::kPasswordOffset + AppPacketHeader::kTextBytes);
static_assert(AppPacketHeader::kHasDataOffset ==
              AppPacketHeader::kSessionOffset + AppPacketHeader::kTextBytes);
static_assert(AppPacketHeader::kHasDataOffset + 4 == AppPacketHeader::kBytes);

// Reply header: the request header's first 116 bytes (offset 12 is the reply kind), then result and count.
struct AppReplyHeader {
    static constexpr size_t kResultOffset = 116, kCountOffset = 120;
    static constexpr size_t kBytes = 124;

    uint32_t magic = kCenterMagic;
    uint32_t version = kCenterVersion;
    uint32_t sequence = 0;
    uint32_t kind = 0;
    uint32_t length = 0;
    char user[AppPacketHeader::kTextBytes] = {};
    char password[AppPacketHeader::kTextBytes] = {};
    char session_id[AppPacketHeader::kTextBytes] = {};
    uint32_t result = 0;
    uint32_t count = 0;

    void Encode(uint8_t* out) const;
    static AppReplyHeader Decode(const uint8_t* in);
};
static_assert(AppReplyHeader::kResultOffset == AppPacketHeader::kHasDataOffset);
static_assert(AppReplyHeader::kCountOffset + 4 == AppReplyHeader::kBytes);

// Status record: request data of type 192 (only size and stamp set) and each record of its reply. The
// 16 status words follow the embedded device record at that record's own declared size, so a reply may
// carry device records of another length; StatusWordsOffset says where.
struct StatusRecord {
    static constexpr size_t kSizeOffset = 0, kStampLowOffset = 8, kStampHighOffset = 12, kDeviceOffset = 20;
    static constexpr size_t kWordCount = 16;
    static constexpr size_t kBytes = 368;

    uint64_t stamp = 0;
    DeviceRecord device;
    uint32_t words[kWordCount] = {};

    // Offset of the status words for a device record that declares `record_size` bytes.
    static constexpr size_t StatusWordsOffset(uint32_t record_size) {
        return kDeviceOffset + (record_size & ~3u);
    }
    static uint64_t StampOf(const uint8_t* record) {
        return static_cast<uint64_t>(LoadLE32(record + kStampHighOffset)) << 32 |
               LoadLE32(record + kStampLowOffset);
    }
    // The request form: size 368 and the stamp, everything else zero.
    static void EncodeRequest(uint64_t stamp, uint8_t* out);
    // The reply form: the size field says 368, the device record as held (its own size field included), and
    // the words at the offset that the device record's size field implies (300 for 280).
    void Encode(uint8_t* out) const;
};
static_assert(StatusRecord::StatusWordsOffset(DeviceRecord::kBytes) + StatusRecord::kWordCount * 4 <=
              StatusRecord::kBytes);
static_assert(StatusRecord::kDeviceOffset + DeviceRecord::kBytes <= StatusRecord::kBytes);

// Control request and reply record (84 bytes). In a media route reply `value` is the transfer server's IPv4
// address in network byte order and `value2` its port in host order.
struct ControlRecord {
    static constexpr size_t kSizeOffset = 0, kCodeOffset = 4, kIdOffset = 8, kIdBytes = 64,
                            kChannelOffset = 72, kValueOffset = 76, kValue2Offset = 80;
    static constexpr size_t kBytes = 84;

    uint32_t size = kBytes;
    uint32_t code = 0;
    char device_id[kIdBytes] = {};
    int32_t channel = 0;
    int32_t value = 0;
    int32_t value2 = 0;

    std::string_view id() const;
    void set_id(std::string_view text);
    void Encode(uint8_t* out) const;
    static ControlRecord Decode(const uint8_t* in);
};
static_assert(ControlRecord::kChannelOffset == ControlRecord::kIdOffset + ControlRecord::kIdBytes);
static_assert(ControlRecord::kValue2Offset + 4 == ControlRecord::kBytes);

// UDP poll datagram (client to server) and its answer.
struct PollDatagram {
    static constexpr size_t kMagicOffset = 0, kVersionOffset = 4, kZeroOffset = 8, kKindOffset = 12,
                            kSessionOffset = 16, kSessionBytes = 32, kTrailerOffset = 48;
    static constexpr size_t kBytes = 56;
    static constexpr uint32_t kPollKind = 2;

    static void Encode(std::string_view session_id, uint8_t* out);
};
static_assert(PollDatagram::kTrailerOffset == PollDatagram::kSessionOffset + PollDatagram::kSessionBytes);
static_assert(PollDatagram::kTrailerOffset + 8 == PollDatagram::kBytes);

struct PollAnswer {
    static constexpr size_t kMagicOffset = 0, kVersionOffset = 4, kKindOffset = 12, kStampLowOffset = 48,
                            kStampHighOffset = 52;
    static constexpr size_t kMinBytes = 56;
    static constexpr size_t kMaxBytes = 1024;  // longer answers are cut by the receive buffer

    // The stamp of a well-formed answer (magic, at least 56 bytes, kind 0x8002); false for anything else.
    static bool Decode(const uint8_t* in, size_t bytes, uint64_t* stamp);
    static void Encode(uint32_t version, uint64_t stamp, uint8_t* out);
};
static_assert(PollAnswer::kStampHighOffset + 4 == PollAnswer::kMinBytes);

}  // namespace corvel
