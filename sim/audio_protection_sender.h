// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <cstdint>

#include "transfer/audio_payload.h"

namespace corvel::sim {

// Sender side of audio packet protection, as the simulated vehicles send it. Audio is given as the 960
// contiguous bytes of one packet (block 1, then block 2); payloads are the 996 bytes after the stream
// header. Words are unsigned little-endian 32-bit numbers, the convention of the receiver.

// A payload of the given format carrying `audio`, all flag bits 0.
void BuildAudioPayload(uint32_t format, const uint8_t* audio, uint8_t* payload);

// The four payloads of a protected pair, in sending order: A (format 1), B (format 2), the sum packet
// (A + B per word, the carry in the word's flag bit) and the difference packet (|A - B| per word, the flag
// set where A's word is the smaller). Any two of the four give back both A and B.
void BuildProtectedGroup(const uint8_t* audio_a, const uint8_t* audio_b,
                         uint8_t (*payloads)[kAudioPayloadBytes]);

}  // namespace corvel::sim
