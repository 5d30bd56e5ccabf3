// SPDX-License-Identifier: GPL-3.0-or-later
#include "transfer/audio_protection.h"

#include <cstring>

namespace corvel {

namespace {

// The rebuilds write the words of one packet (960 bytes, both blocks) contiguously at `out`. All words are
// unsigned and wrap modulo 2^32.

// A = S - B, or B = S - A.
void FromSum(const uint8_t* sum, const uint8_t* known, uint8_t* out) {
    for (int32_t i = 0; i < kAudioWords; ++i) StoreLE32(out + 4 * i, AudioWord(sum, i) - AudioWord(known, i));
}

// A from D and B: the flag says A's word was the smaller.
void ADifferenceB(const uint8_t* diff, const uint8_t* b, uint8_t* out) {
    for (int32_t i = 0; i < kAudioWords; ++i) {
        const uint32_t d = AudioWord(diff, i);
        const uint32_t w = AudioWord(b, i);
        StoreLE32(out + 4 * i, AudioFlag(diff, i) ? w - d : w + d);
    }
}

// B from D and A.
void BDifferenceA(const uint8_t* diff, const uint8_t* a, uint8_t* out) {
    for (int32_t i = 0; i < kAudioWords; ++i) {
        const uint32_t d = AudioWord(diff, i);
        const uint32_t w = AudioWord(a, i);
        StoreLE32(out + 4 * i, AudioFlag(diff, i) ? w + d : w - d);
    }
}

// A and B from S and D alone: on the 33-bit sum rebuilt from S's carry, the larger word is (S + D) / 2 and
// the smaller (S - D) / 2, rounded down; D's flag says whether A is the smaller.
void FromSumAndDifference(const uint8_t* sum, const uint8_t* diff, uint8_t* out_a, uint8_t* out_b) {
    for (int32_t i = 0; i < kAudioWords; ++i) {
        const uint64_t s = AudioWord(sum, i) | static_cast<uint64_t>(AudioFlag(sum, i)) << 32;
        const uint64_t d = AudioWord(diff, i);
        const uint32_t larger = static_cast<uint32_t>((s + d) / 2);
        const uint32_t smaller = static_cast<uint32_t>((s - d) / 2);  // wraps like the words on bad input
        const bool a_smaller = AudioFlag(diff, i);
        StoreLE32(out_a + 4 * i, a_smaller ? smaller : larger);
        StoreLE32(out_b + 4 * i, a_smaller ? larger : smaller);
    }
}

}  // namespace

bool CAudioHandOver::HandOver(FrameRecord* rec) {
    if (recorders_ != nullptr && recorders_->AudioRecordingWanted()) {
        // A frame at 16 or 24 kbit/s decodes to more than the work buffer holds: it goes to the recorders
        // in pieces, so that no audio is lost from the recording.
        codec.bits_left = 0;
        const int32_t size = static_cast<int32_t>(rec->size);
        int32_t consumed = 0;
        while (consumed < size) {
            int32_t produced = kWorkBytes;
            const int32_t used =
                DecodeAudio(rec->type, size - consumed, &codec, work_, &produced, rec->data + consumed, 0);
            if (produced > 0) recorders_->RecordAudio(work_, produced);
            if (used == 0) break;
            consumed += used;
        }
    }
    return buffer_->Push(rec);
}

int32_t CAudioReceiver::HandOver(FrameRecord* cursor, int32_t bytes) {
    FrameRecord frame = *cursor;
    frame.data = cursor->data + kAudioBlockOffset[0];
    frame.size = static_cast<uint32_t>(bytes);
    // A refused frame leaves the cursor where it was, so the next payload is received over it.
    if (hand_over_->HandOver(&frame)) cursor->data = frame.data;
    return bytes;
}

int32_t CAudioReceiver::Deliver(FrameRecord* cursor, const uint8_t* first, const uint8_t* second) {
    uint8_t* out = cursor->data + kAudioBlockOffset[0];
    CopyAudioBlocks(first, out);
    if (second == nullptr) return HandOver(cursor, kAudioPacketFrameBytes);
    CopyAudioBlocks(second, out + kAudioPacketFrameBytes);
    return HandOver(cursor, 2 * kAudioPacketFrameBytes);
}

int32_t CAudioReceiver::OnPacket(FrameRecord* cursor, const uint8_t* header) {
    const uint32_t sequence = LoadLE32(header + 8);
    const int32_t gap = static_cast<int32_t>(sequence - cursor->sequence - 1);
    cursor->sequence = sequence;
    cursor->time = LoadLE32(header + 12);
    cursor->type = AudioFrameTypeOfCode(header[25]);
    if (cursor->type == 0 || LoadLE32(header + 16) < static_cast<uint32_t>(kAudioPayloadBytes)) return 0;

    // Everything is read from our copy: the deliveries below write over the payload's place.
    std::memcpy(packet_, cursor->data, kAudioPayloadBytes);
    uint8_t* const out = cursor->data + kAudioBlockOffset[0];
    const uint32_t state = cursor->aux;
    auto hold = [&](uint32_t held_state) {
        std::memcpy(held_, packet_, kAudioPayloadBytes);
        cursor->aux = held_state;
    };

    switch (LoadLE32(packet_)) {
        case kAudioFormatPlain: {
            const int32_t bytes =
                state == kRecoveryBHeld ? Deliver(cursor, held_, packet_) : Deliver(cursor, packet_, nullptr);
            std::memcpy(last_a_, packet_, kAudioPayloadBytes);
            cursor->aux = kRecoveryLastA;
            return bytes;
        }
        case kAudioFormatSecond:
            if (gap != 0) {
                const int32_t bytes = state == kRecoveryBHeld ? Deliver(cursor, held_, nullptr) : 0;
                hold(kRecoveryBHeld);
                return bytes;
            }
            cursor->aux = kRecoveryNone;
            return Deliver(cursor, packet_, nullptr);
        case kAudioFormatSum:
            if (state == kRecoveryNone) {
                if (gap != 0) hold(kRecoverySHeld);
                return 0;
            }
            if (state == kRecoverySHeld) {
                hold(kRecoverySHeld);
                return 0;
            }
            if (state == kRecoveryBHeld && gap == 0) {
                FromSum(packet_, held_, out);
                CopyAudioBlocks(held_, out + kAudioPacketFrameBytes);
                cursor->aux = kRecoveryNone;
                return HandOver(cursor, 2 * kAudioPacketFrameBytes);
            }
            if (state == kRecoveryLastA && gap == 1) {
                FromSum(packet_, last_a_, out);
                cursor->aux = kRecoveryNone;
                return HandOver(cursor, kAudioPacketFrameBytes);
            }
            {
                const int32_t bytes = state == kRecoveryBHeld ? Deliver(cursor, held_, nullptr) : 0;
                hold(kRecoverySHeld);
                return bytes;
            }
        case kAudioFormatDifference:
            if (state == kRecoveryBHeld) {
                cursor->aux = kRecoveryNone;
                if (gap != 1) return Deliver(cursor, held_, nullptr);
                ADifferenceB(packet_, held_, out);
                CopyAudioBlocks(held_, out + kAudioPacketFrameBytes);
                return HandOver(cursor, 2 * kAudioPacketFrameBytes);
            }
            if (state == kRecoverySHeld && gap == 0) {
                FromSumAndDifference(held_, packet_, out, out + kAudioPacketFrameBytes);
                cursor->aux = kRecoveryNone;
                return HandOver(cursor, 2 * kAudioPacketFrameBytes);
            }
            if (state == kRecoveryLastA && gap == 2) {
                BDifferenceA(packet_, last_a_, out);
                cursor->aux = kRecoveryNone;
                return HandOver(cursor, kAudioPacketFrameBytes);
            }
            return 0;
        default:
            return 0;
    }
}

}  // namespace corvel
