// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <cstdint>

namespace corvel {

// All audio is 8000 samples/s mono; decoded it is 16-bit linear PCM in host byte order.
constexpr int32_t kTalkSamplesPerFrame = 1920;  // EncodeG726 encodes exactly this many samples
constexpr int32_t kTalkRateIndex = 2;           // the operator's voice goes out as G.726 at 32 kbit/s

// Packing of G.726 per rate index 0..3 (16, 24, 32, 40 kbit/s): 32-bit words, most significant byte
// first, codes right-aligned with the first code the most significant; for 3- and 5-bit codes the two top
// bits of every word carry no code.
struct G726Packing {
    int32_t bits_per_code;
    int32_t codes_per_word;
    int32_t bits_used;
};
constexpr G726Packing kG726Packing[4] = {{2, 16, 32}, {3, 10, 30}, {4, 8, 32}, {5, 6, 30}};

// State of one decoding or encoding stream (the audio player of a channel, the audio transfer of a
// channel, the talk capture). Belongs to exactly one thread at a time; not locked.
struct AudioCodecState {
    AudioCodecState() { Reset(kTalkRateIndex); }

    // Selects the coder of `rate_index` (0..3), empties the bit reader/writer and resets the G.726 state
    // to the standard's initial values. False, and nothing changed, for an index outside 0..3.
    bool Reset(int32_t rate_index);

    int32_t rate_index = kTalkRateIndex;
    // Bytes produced by the last G.726 call: PCM bytes when decoding, code bytes when encoding.
    int32_t produced = 0;
    // The standard's per-channel state of the G.726 library, which also holds the coder functions selected
    // for the rate. Kept as bytes so that the library's headers stay out of every includer.
    alignas(8) unsigned char g726[96] = {};
    // Decoding: bits of current_word not yet consumed. Encoding: bits already filled. A caller that starts
    // a new frame sets it to 0, so the frame begins with its first word.
    int32_t bits_left = 0;
    uint32_t current_word = 0;
};

// Decodes the frame bytes `input` of frame type `type` (IVOP/PVOP table in frame_buffer.h: 0x20..0x23
// G.726, 0x40 PCM, 0x41 mu-law, 0x42 A-law) into PCM at `output`. *outputBytes gives the room on entry
// and receives the bytes produced. Returns the input bytes consumed; stops when either side is exhausted.
// - G.726: a type of another rate than the state's resets the state for it; the state, including a
//   partly consumed word, carries over to the next call, so a frame may be decoded in pieces of any size.
//   1 to 3 trailing bytes that do not form a word count as consumed.
// - PCM: copies min(inputBytes, room) bytes. G.711: min(room / 2, inputBytes) codes to as many samples.
// - Any other type, 0 included: fills the whole room with fillByte and swallows all input.
// Negative sizes count as 0.
int32_t DecodeAudio(uint32_t type, int32_t inputBytes, AudioCodecState* state, uint8_t* output,
                    int32_t* outputBytes, const uint8_t* input, uint8_t fillByte);

// The samples that `bytes` of frame type `type` decode to: what a frame (or several of one type) lasts,
// at 8000 samples/s. 0 for a type DecodeAudio does not know, which plays as fill and swallows its bytes.
int64_t AudioFrameSamples(uint32_t type, int64_t bytes);

// Encodes exactly kTalkSamplesPerFrame samples at the state's rate into packed words at `output`;
// state->produced receives the output byte count (960 at 32 kbit/s). `output` may equal the samples'
// address: the output never overtakes the input.
void EncodeG726(const int16_t* samples, uint8_t* output, AudioCodecState* state);

}  // namespace corvel
