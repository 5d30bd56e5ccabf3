// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio_protection_sender.h"

#include <cstring>

#include "base/le.h"

namespace corvel::sim {

void BuildAudioPayload(uint32_t format, const uint8_t* audio, uint8_t* payload) {
    std::memset(payload, 0, kAudioPayloadBytes);
    StoreLE32(payload, format);
    StoreAudioBlocks(audio, payload);
}

void BuildProtectedGroup(const uint8_t* audio_a, const uint8_t* audio_b,
                         uint8_t (*payloads)[kAudioPayloadBytes]) {
    BuildAudioPayload(kAudioFormatPlain, audio_a, payloads[0]);
    BuildAudioPayload(kAudioFormatSecond, audio_b, payloads[1]);
    uint8_t* sum = payloads[2];
    uint8_t* diff = payloads[3];
    std::memset(sum, 0, kAudioPayloadBytes);
    std::memset(diff, 0, kAudioPayloadBytes);
    StoreLE32(sum, kAudioFormatSum);
    StoreLE32(diff, kAudioFormatDifference);
    for (int32_t i = 0; i < kAudioWords; ++i) {
        const uint32_t a = LoadLE32(audio_a + 4 * i);
        const uint32_t b = LoadLE32(audio_b + 4 * i);
        const uint64_t total = static_cast<uint64_t>(a) + b;
        SetAudioWord(sum, i, static_cast<uint32_t>(total));
        SetAudioFlag(sum, i, (total >> 32) != 0);
        SetAudioWord(diff, i, a < b ? b - a : a - b);
        SetAudioFlag(diff, i, a < b);
    }
}

}  // namespace corvel::sim
