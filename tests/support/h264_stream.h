// SPDX-License-Identifier: GPL-3.0-or-later
// H.264 test material for any test or benchmark that needs real video (decoding, recording, transfers):
// a moving test pattern encoded in-process with libavcodec + libx264. Include "h264_stream.h" (it is in the
// test support library, which every test program links).
#pragma once
#include <cstdint>
#include <vector>

namespace corvel::test {

struct EncodedFrame {
    std::vector<uint8_t> bytes;  // Annex B; key frames carry SPS and PPS in front
    bool key = false;            // an IDR picture: decodable alone
};

struct H264StreamOptions {
    int width = 352;
    int height = 288;
    int frames = 50;
    int gop = 25;  // a key frame every `gop` frames, and only there
    int frames_per_second = 25;
    int first_pattern_frame = 0;  // where the pattern's motion starts (two streams can continue each other)
};

// Encodes `frames` pictures of a pattern (gradients and a bar that moves every frame) with no B frames, one
// picture per packet, in decode order. Empty when the encoder is not available or fails.
std::vector<EncodedFrame> EncodeTestPattern(const H264StreamOptions& options);

}  // namespace corvel::test
