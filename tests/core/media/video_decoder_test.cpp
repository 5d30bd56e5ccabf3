// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/video_decoder.h"

#include <gtest/gtest.h>

#include <random>

#include "video_test_util.h"

namespace corvel {
namespace {

using test::EncodedFrame;
using test::EncodeTestPattern;
using test::ShownPicture;

constexpr int kWidth = 352;
constexpr int kHeight = 288;

// Decodes `bytes` (copied into a scratch block that is scribbled over as soon as Decode returns, as the
// ring buffer reuses a frame's bytes once the next frame is taken) and converts the picture to BGRA.
struct ScribbledDecoder {
    VideoDecoder decoder;
    std::vector<uint8_t> scratch;
    std::vector<uint8_t> bgra = std::vector<uint8_t>(static_cast<size_t>(kWidth) * 4 * kHeight);

    bool Decode(const std::vector<uint8_t>& bytes) {
        scratch = bytes;
        const bool decoded = decoder.Decode(scratch.data(), static_cast<uint32_t>(scratch.size()));
        std::fill(scratch.begin(), scratch.end(), 0xA5);
        return decoded;
    }
    uint64_t Checksum() {
        if (!decoder.ConverterFits() && !decoder.Open(kWidth, kHeight, 32)) return 0;
        if (!decoder.Convert(bgra.data(), kWidth * 4)) return 0;
        const uint8_t* planes[3] = {bgra.data(), nullptr, nullptr};
        const int strides[3] = {kWidth * 4, 0, 0};
        return test::PlanesChecksum(VELQ_PIX_BGRA32, kWidth, kHeight, planes, strides);
    }
};

TEST(VideoDecoder, PicturesDoNotDependOnTheSourceBytesAfterDecode) {
    const std::vector<EncodedFrame> frames = EncodeTestPattern({kWidth, kHeight, 50, 25, 25, 0});
    ASSERT_EQ(frames.size(), 50u);
    const std::vector<ShownPicture> expected = test::ReferencePictures(frames, VELQ_PIX_BGRA32);
    ASSERT_EQ(expected.size(), frames.size());

    ScribbledDecoder d;
    ASSERT_TRUE(d.decoder.Open(0, 0, 0));
    for (size_t i = 0; i < frames.size(); ++i) {
        ASSERT_TRUE(d.Decode(frames[i].bytes)) << "frame " << i;
        ASSERT_EQ(d.Checksum(), expected[i].checksum) << "frame " << i;
    }
}

TEST(VideoDecoder, OversizedGarbageAndEmptyFramesLeaveTheDecoderUsable) {
    const std::vector<EncodedFrame> frames = EncodeTestPattern({kWidth, kHeight, 26, 25, 25, 0});
    ASSERT_EQ(frames.size(), 26u);
    const std::vector<ShownPicture> expected = test::ReferencePictures(frames, VELQ_PIX_BGRA32);

    ScribbledDecoder d;
    ASSERT_TRUE(d.decoder.Open(0, 0, 0));
    ASSERT_TRUE(d.Decode(frames[0].bytes));
    EXPECT_FALSE(d.decoder.Decode(nullptr, 100));
    EXPECT_FALSE(d.decoder.Decode(frames[1].bytes.data(), 0));

    // Far larger than the decoder's first input block, so the block grows; noise in between start codes.
    std::mt19937 random(7);
    std::vector<uint8_t> garbage(3 * 1024 * 1024);
    for (auto& byte : garbage) byte = static_cast<uint8_t>(random());
    for (size_t at = 0; at + 4 < garbage.size(); at += 4099) {
        garbage[at] = garbage[at + 1] = 0;
        garbage[at + 2] = 1;
    }
    d.Decode(garbage);
    d.Decode(std::vector<uint8_t>(garbage.begin(), garbage.begin() + 17));

    // The next key frame decodes to exactly the picture an undisturbed decoder gives.
    ASSERT_TRUE(d.Decode(frames[25].bytes));
    EXPECT_EQ(d.Checksum(), expected[25].checksum);
}

}  // namespace
}  // namespace corvel
