// SPDX-License-Identifier: GPL-3.0-or-later
// DecodeAudio and EncodeG726 on arbitrary bytes: the frame type, the output room per call and the frame
// come from the input. Every call must stay within its input and room, and decoding a frame in pieces
// must end.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "media/audio_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    static constexpr uint32_t kTypes[] = {0x20, 0x21, 0x22, 0x23, 0x40, 0x41, 0x42, 0, 17};
    const uint32_t type = data[0] < 9 * 16 ? kTypes[data[0] % 9] : data[0];
    const int32_t piece = 1 + data[1] * 8 + (data[2] & 7);
    const uint8_t* frame = data + 3;
    const int32_t frame_bytes = static_cast<int32_t>(size - 3);

    corvel::AudioCodecState state;
    std::vector<uint8_t> out(static_cast<size_t>(piece));
    int32_t consumed = 0;
    for (int calls = 0;; ++calls) {
        int32_t room = piece;
        const int32_t used = corvel::DecodeAudio(type, frame_bytes - consumed, &state, out.data(), &room,
                                                 frame + consumed, 0x7F);
        if (used < 0 || used > frame_bytes - consumed || room < 0 || room > piece) std::abort();
        consumed += used;
        if (room == 0 || (used == 0 && consumed == frame_bytes)) break;
        if (calls > 4 * frame_bytes + 16) std::abort();  // no progress
    }

    if (frame_bytes >= 2 * corvel::kTalkSamplesPerFrame) {
        state.Reset(data[2] % 4);
        std::vector<int16_t> samples(corvel::kTalkSamplesPerFrame);
        std::memcpy(samples.data(), frame, samples.size() * 2);
        corvel::EncodeG726(samples.data(), reinterpret_cast<uint8_t*>(samples.data()), &state);
        const int32_t words =
            corvel::kTalkSamplesPerFrame / corvel::kG726Packing[state.rate_index].codes_per_word;
        if (state.produced != 4 * words) std::abort();
    }
    return 0;
}
