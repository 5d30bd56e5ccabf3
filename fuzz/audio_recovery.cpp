// SPDX-License-Identifier: GPL-3.0-or-later
// The audio receiver fed arbitrary packet sequences through a real audio buffer. Each packet takes 6
// input bytes: format, codec code, sequence step (signed), consumer action, payload seed (2 bytes);
// the payload's words are drawn from the seed, so sums, differences and carries take any value.
// Nothing may leave the region, the cursor keeps its reserve, and delivered sizes are 960 or 1920.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "media/frame_buffer.h"
#include "transfer/audio_protection.h"

namespace {

class CountingTarget : public corvel::AudioRecordTarget {
  public:
    bool AudioRecordingWanted() override { return wanted; }
    void RecordAudio(const uint8_t*, int32_t bytes) override {
        if (bytes <= 0 || bytes > corvel::CAudioHandOver::kWorkBytes) std::abort();
    }
    bool wanted = false;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace corvel;
    // One buffer for all inputs: Init keeps its region and drops every frame.
    static CABuffer2 buffer;
    if (!buffer.Init(kAudioBufferCapacity, kAudioLargestFrame, 2)) return 0;
    buffer.maximum_frame_count = kAudioMaximumFrameCount;
    CountingTarget target;
    CAudioHandOver hand_over(&buffer, &target);
    CAudioReceiver receiver(&hand_over);
    FrameRecord cursor;
    buffer.GetWritePos(&cursor);
    uint32_t sequence = 1;
    uint8_t header[kAudioHeaderBytes] = {'Q', 'X', 'T', 'S', 'V', '1', '0', '0'};

    for (size_t at = 0; at + 6 <= size; at += 6) {
        const uint8_t* p = data + at;
        sequence += static_cast<uint32_t>(static_cast<int8_t>(p[2]));
        StoreLE32(header + 8, sequence);
        StoreLE32(header + 16, p[3] & 0x80 ? kAudioPayloadBytes - 1 : kAudioPayloadBytes);
        header[25] = p[1] % 10;
        target.wanted = (p[3] & 0x70) == 0x70;  // decoding for recording is the costly part: 1 in 8
        uint32_t seed = p[4] | p[5] << 8 | 1u << 16;
        StoreLE32(cursor.data, p[0] % 6);
        for (int32_t i = 4; i < kAudioPayloadBytes; i += 4) {
            seed = seed * 1103515245u + 12345u;
            StoreLE32(cursor.data + i, seed ^ seed << 13);
        }
        const int32_t bytes = receiver.OnPacket(&cursor, header);
        if (bytes != 0 && bytes != 960 && bytes != 1920) std::abort();
        if (cursor.data < buffer.Region() ||
            cursor.data + kAudioLargestFrame > buffer.Region() + buffer.Capacity())
            std::abort();
        FrameRecord out;
        switch (p[3] & 3) {
            case 0:
                break;
            case 1:
                buffer.Pop(&out);
                break;
            case 2:
                while (buffer.Pop(&out))
                    if (out.size != 960 && out.size != 1920) std::abort();
                break;
            case 3:
                buffer.GetWritePos(&cursor);
                break;
        }
    }
    return 0;
}
