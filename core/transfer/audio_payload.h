// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <cstdint>
#include <cstring>

#include "base/le.h"

namespace corvel {

// The 996-byte audio payload that follows the 36-byte stream header, in both directions:
//   0    format (1 plain, 2 second packet of a protected pair, 3 sum packet, 4 difference packet)
//   4    block 1: 120 little-endian 32-bit words     484  flag bits of block 1 (bit k belongs to word k,
//   500  block 2: 120 words                           980  flag bits of block 2  least significant first)
// Words of the sum and difference packets are unsigned; the halving from both parity packets rounds down.
constexpr int32_t kAudioHeaderBytes = 36;
constexpr int32_t kAudioPayloadBytes = 996;
constexpr int32_t kAudioPacketBytes = kAudioHeaderBytes + kAudioPayloadBytes;  // 1032
constexpr int32_t kAudioBlockBytes = 480;
constexpr int32_t kAudioBlockWords = 120;
constexpr int32_t kAudioFlagBytes = 16;
constexpr int32_t kAudioBlockOffset[2] = {4, 500};
constexpr int32_t kAudioFlagOffset[2] = {484, 980};
constexpr int32_t kAudioPacketFrameBytes = 2 * kAudioBlockBytes;  // the audio of one packet, 960 bytes
constexpr int32_t kAudioWords = 2 * kAudioBlockWords;             // words of one packet, both blocks

constexpr uint32_t kAudioFormatPlain = 1;
constexpr uint32_t kAudioFormatSecond = 2;
constexpr uint32_t kAudioFormatSum = 3;
constexpr uint32_t kAudioFormatDifference = 4;

// Word i (0..239, block 1 then block 2) of a payload and its flag bit.
inline int32_t AudioWordOffset(int32_t i) {
    return kAudioBlockOffset[i / kAudioBlockWords] + 4 * (i % kAudioBlockWords);
}
inline uint32_t AudioWord(const uint8_t* payload, int32_t i) {
    return LoadLE32(payload + AudioWordOffset(i));
}
inline void SetAudioWord(uint8_t* payload, int32_t i, uint32_t word) {
    StoreLE32(payload + AudioWordOffset(i), word);
}
inline bool AudioFlag(const uint8_t* payload, int32_t i) {
    const int32_t k = i % kAudioBlockWords;
    return (payload[kAudioFlagOffset[i / kAudioBlockWords] + k / 8] >> (k % 8)) & 1;
}
inline void SetAudioFlag(uint8_t* payload, int32_t i, bool flag) {
    const int32_t k = i % kAudioBlockWords;
    uint8_t& byte = payload[kAudioFlagOffset[i / kAudioBlockWords] + k / 8];
    byte = static_cast<uint8_t>(flag ? byte | (1u << (k % 8)) : byte & ~(1u << (k % 8)));
}

// The two blocks of a payload as 960 contiguous bytes (block 1, then block 2) at `out`.
inline void CopyAudioBlocks(const uint8_t* payload, uint8_t* out) {
    std::memcpy(out, payload + kAudioBlockOffset[0], kAudioBlockBytes);
    std::memcpy(out + kAudioBlockBytes, payload + kAudioBlockOffset[1], kAudioBlockBytes);
}
// The reverse: 960 contiguous bytes into the two block fields of a payload (flags untouched).
inline void StoreAudioBlocks(const uint8_t* blocks, uint8_t* payload) {
    std::memcpy(payload + kAudioBlockOffset[0], blocks, kAudioBlockBytes);
    std::memcpy(payload + kAudioBlockOffset[1], blocks + kAudioBlockBytes, kAudioBlockBytes);
}

// Frame type (see media/frame_buffer.h) of the audio codec code in header byte 25; 0 for codes the
// system does not know (the packet is dropped).
inline uint32_t AudioFrameTypeOfCode(uint8_t code) {
    static constexpr uint32_t kTypes[8] = {0, 0x20, 0x21, 0x22, 0x23, 0x41, 0x42, 0x40};
    return code < 8 ? kTypes[code] : 0;
}

}  // namespace corvel
