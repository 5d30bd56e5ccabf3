// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Framing of the media streams between the library and a transfer server. Encoded and decoded byte by byte,
// little-endian; the offsets are the contract with the transfer servers.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "base/le.h"

namespace corvel {

inline constexpr uint32_t kTransferMagic = FourCC('Q', 'X', 'T', 'S');
inline constexpr uint32_t kStreamMagic = FourCC('Q', 'X', 'T', 'X');
inline constexpr uint32_t kTransferVersion = FourCC('V', '1', '0', '0');

// Transfer kinds.
inline constexpr uint8_t kTransferVideo = 1;
inline constexpr uint8_t kTransferPosition = 4;
inline constexpr uint8_t kTransferAudio = 19;
inline constexpr uint8_t kTransferTalk = 33;

// Route control codes asked of the center server per kind.
inline constexpr uint32_t kRouteVideo = 1, kRouteAudio = 3, kRouteTalk = 5, kRoutePosition = 7;

// 36 bytes in front of every stream packet, both directions.
struct TransferHeader {
    static constexpr size_t kBytes = 36;
    static constexpr size_t kMagicOffset = 0, kVersionOffset = 4, kSequenceOffset = 8, kTimeOffset = 12,
                            kLengthOffset = 16, kSentByUsOffset = 20, kKindOffset = 21, kChannelOffset = 22,
                            kMediaOffset = 23;
    // Media-specific bytes.
    static constexpr size_t kTalkMarkOffset = 24;   // 'A' in sent talk packets
    static constexpr size_t kCodecOffset = 25;      // audio codec code (received audio), 3 in sent talk
    static constexpr size_t kFormatOffset = 25;     // picture format code (received video)
    static constexpr size_t kFrameRateOffset = 26;  // announced frames per second (received video)
    static constexpr size_t kFrameKindOffset = 33;  // 3: predicted frame (received video)

    uint32_t magic = kTransferMagic;
    uint32_t version = kTransferVersion;
    uint32_t sequence = 0;
    uint32_t time = 0;
    uint32_t length = 0;
    uint8_t sent_by_us = 0;
    uint8_t kind = 0;
    uint8_t channel = 0;
    uint8_t media[13] = {};  // bytes 23..35

    uint8_t media_byte(size_t offset) const { return media[offset - kMediaOffset]; }
    void set_media_byte(size_t offset, uint8_t value) { media[offset - kMediaOffset] = value; }
    void Encode(uint8_t* out) const;
    static TransferHeader Decode(const uint8_t* in);
};
static_assert(TransferHeader::kMediaOffset + sizeof(TransferHeader::media) == TransferHeader::kBytes);

// Sent once per connection to the transfer server.
struct StreamRequest {
    static constexpr size_t kBytes = 180;
    static constexpr uint32_t kRequest = 2;
    static constexpr uint32_t kFollowingBytes = 164;
    static constexpr size_t kUserOffset = 16, kPasswordOffset = 48, kSessionOffset = 80, kDeviceOffset = 112,
                            kDirectionOffset = 176, kKindOffset = 177, kChannelOffset = 178;
    static constexpr size_t kTextBytes = 32, kDeviceBytes = 64;

    std::string_view user, password, session_id, device_id;
    uint8_t kind = 0;
    uint8_t channel = 0;

    void Encode(uint8_t* out) const;
};
static_assert(StreamRequest::kDeviceOffset + StreamRequest::kDeviceBytes == StreamRequest::kDirectionOffset);
static_assert(StreamRequest::kChannelOffset + 2 == StreamRequest::kBytes);

// The transfer server's 16-byte answer; `further` bytes follow it and are skipped.
struct StreamReply {
    static constexpr size_t kBytes = 16;
    static constexpr uint32_t kAccepted = 128;
    uint32_t magic = 0;
    uint32_t answer = 0;
    uint32_t further = 0;

    static StreamReply Decode(const uint8_t* in);
    void Encode(uint8_t* out) const;
};

}  // namespace corvel
