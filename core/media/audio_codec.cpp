// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/audio_codec.h"

#include <algorithm>
#include <cstring>
// The library's headers come after the standard ones (they disturb <cmath> otherwise) and expect the C
// fixed-width names.
#include <stdint.h>

#include <spandsp/telephony.h>

#include <spandsp/bit_operations.h>
#include <spandsp/bitstream.h>
#include <spandsp/g711.h>
#include <spandsp/g726.h>
#include <spandsp/private/bitstream.h>
#include <spandsp/private/g726.h>

#include "media/frame_buffer.h"

namespace corvel {

namespace {

g726_state_t* Coder(AudioCodecState* state) {
    return reinterpret_cast<g726_state_t*>(state->g726);
}
static_assert(sizeof(g726_state_t) <= sizeof(AudioCodecState::g726));
static_assert(alignof(g726_state_t) <= 8);

constexpr int kG726BitRate[4] = {16000, 24000, 32000, 40000};
// Codes are gathered into blocks of this many and handed to the coder in one call.
constexpr int32_t kCodeBlock = 256;

int32_t DecodeG726(AudioCodecState* state, const uint8_t* input, int32_t input_bytes, uint8_t* output,
                   int32_t* output_bytes) {
    const G726Packing& pack = kG726Packing[state->rate_index];
    const uint32_t mask = (1u << pack.bits_per_code) - 1;
    uint8_t codes[kCodeBlock];
    int16_t samples[kCodeBlock];
    int32_t consumed = 0;
    int32_t room = *output_bytes;
    int32_t produced = 0;
    bool input_done = false;
    while (room >= 2 && !input_done) {
        const int32_t wanted = std::min(room / 2, kCodeBlock);
        int32_t n = 0;
        while (n < wanted) {
            if (state->bits_left < pack.bits_per_code) {
                const int32_t remaining = input_bytes - consumed;
                if (remaining < 4) {
                    consumed = input_bytes;  // a broken tail must not stall the caller
                    input_done = true;
                    break;
                }
                const uint8_t* p = input + consumed;
                state->current_word = static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
                                      static_cast<uint32_t>(p[2]) << 8 | p[3];
                state->bits_left = pack.bits_used;
                consumed += 4;
            }
            state->bits_left -= pack.bits_per_code;
            codes[n++] = static_cast<uint8_t>((state->current_word >> state->bits_left) & mask);
        }
        if (n > 0) {
            g726_decode(Coder(state), samples, codes, n);
            std::memcpy(output + produced, samples, static_cast<size_t>(n) * 2);
            produced += n * 2;
            room -= n * 2;
        }
    }
    state->produced = produced;
    *output_bytes = produced;
    return consumed;
}

template <int16_t (*Expand)(uint8_t)>
int32_t DecodeG711(const uint8_t* input, int32_t input_bytes, uint8_t* output, int32_t* output_bytes) {
    const int32_t n = std::min(*output_bytes / 2, input_bytes);
    for (int32_t i = 0; i < n; ++i) {
        const int16_t sample = Expand(input[i]);
        std::memcpy(output + 2 * i, &sample, 2);
    }
    *output_bytes = 2 * n;
    return n;
}

int16_t ExpandUlaw(uint8_t code) {
    return ulaw_to_linear(code);
}
int16_t ExpandAlaw(uint8_t code) {
    return alaw_to_linear(code);
}

void StoreWord(uint8_t* p, uint32_t word) {
    p[0] = static_cast<uint8_t>(word >> 24);
    p[1] = static_cast<uint8_t>(word >> 16);
    p[2] = static_cast<uint8_t>(word >> 8);
    p[3] = static_cast<uint8_t>(word);
}

}  // namespace

bool AudioCodecState::Reset(int32_t index) {
    if (index < 0 || index > 3) return false;
    g726_init(Coder(this), kG726BitRate[index], G726_ENCODING_LINEAR, G726_PACKING_NONE);
    rate_index = index;
    bits_left = 0;
    current_word = 0;
    return true;
}

int32_t DecodeAudio(uint32_t type, int32_t inputBytes, AudioCodecState* state, uint8_t* output,
                    int32_t* outputBytes, const uint8_t* input, uint8_t fillByte) {
    inputBytes = std::max(inputBytes, 0);
    *outputBytes = std::max(*outputBytes, 0);
    if (type >= kFrameG726 && type <= kFrameG726Last) {
        const int32_t index = static_cast<int32_t>(type - kFrameG726);
        if (index != state->rate_index) state->Reset(index);
        return DecodeG726(state, input, inputBytes, output, outputBytes);
    }
    switch (type) {
        case kFramePcm: {
            const int32_t n = std::min(inputBytes, *outputBytes);
            if (n > 0) std::memmove(output, input, static_cast<size_t>(n));
            *outputBytes = n;
            return n;
        }
        case kFrameUlaw:
            return DecodeG711<ExpandUlaw>(input, inputBytes, output, outputBytes);
        case kFrameAlaw:
            return DecodeG711<ExpandAlaw>(input, inputBytes, output, outputBytes);
        default:
            // A codec we do not know: play silence of the caller's choice and skip its data.
            if (*outputBytes > 0) std::memset(output, fillByte, static_cast<size_t>(*outputBytes));
            return inputBytes;
    }
}

int64_t AudioFrameSamples(uint32_t type, int64_t bytes) {
    bytes = std::max<int64_t>(bytes, 0);
    if (type >= kFrameG726 && type <= kFrameG726Last) {
        // Whole words only: a tail of 1 to 3 bytes decodes to nothing.
        return bytes / 4 * kG726Packing[type - kFrameG726].codes_per_word;
    }
    switch (type) {
        case kFramePcm:
            return bytes / 2;
        case kFrameUlaw:
        case kFrameAlaw:
            return bytes;
        default:
            return 0;
    }
}

void EncodeG726(const int16_t* samples, uint8_t* output, AudioCodecState* state) {
    const G726Packing& pack = kG726Packing[state->rate_index];
    uint8_t codes[kCodeBlock];
    int16_t block[kCodeBlock];
    int32_t produced = 0;
    for (int32_t first = 0; first < kTalkSamplesPerFrame; first += kCodeBlock) {
        const int32_t n = std::min(kCodeBlock, kTalkSamplesPerFrame - first);
        // Copied out first: with the output over the input, the words written below never reach samples
        // not yet read (a block of codes takes less room than its samples did).
        std::memcpy(block, samples + first, static_cast<size_t>(n) * 2);
        g726_encode(Coder(state), codes, block, n);
        for (int32_t i = 0; i < n; ++i) {
            if (state->bits_left + pack.bits_per_code > 32) {
                StoreWord(output + produced, state->current_word);
                produced += 4;
                state->current_word = 0;
                state->bits_left = 0;
            }
            state->current_word = state->current_word << pack.bits_per_code | codes[i];
            state->bits_left += pack.bits_per_code;
        }
    }
    if (state->bits_left + pack.bits_per_code > 32) {
        StoreWord(output + produced, state->current_word);
        produced += 4;
        state->current_word = 0;
        state->bits_left = 0;
    }
    state->produced = produced;
}

}  // namespace corvel
