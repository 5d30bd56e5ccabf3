// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated vehicles' video loops: every channel's pictures carry its device id and channel number.
extern "C" {
#include <libavcodec/avcodec.h>
}

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "h264_loop.h"

namespace velq_sim {
namespace {

// The luma plane (width × height) of the first picture the frames decode to; empty when none does.
std::vector<uint8_t> FirstLuma(const std::vector<EncodedFrame>& frames, int width, int height) {
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    AVCodecContext* context = avcodec_alloc_context3(codec);
    avcodec_open2(context, codec, nullptr);
    AVPacket* packet = av_packet_alloc();
    AVFrame* picture = av_frame_alloc();
    std::vector<uint8_t> luma;
    for (const EncodedFrame& frame : frames) {
        packet->data = const_cast<uint8_t*>(frame.bytes.data());
        packet->size = static_cast<int>(frame.bytes.size());
        avcodec_send_packet(context, packet);
        if (avcodec_receive_frame(context, picture) == 0 && picture->width == width &&
            picture->height == height) {
            for (int y = 0; y < height; ++y)
                luma.insert(luma.end(), picture->data[0] + y * picture->linesize[0],
                            picture->data[0] + y * picture->linesize[0] + width);
            break;
        }
    }
    av_frame_free(&picture);
    av_packet_free(&packet);
    avcodec_free_context(&context);
    return luma;
}

TEST(H264Loop, EachChannelsPicturesCarryItsOwnLabel) {
    H264Library library(10, 5);
    const PictureFormat& cif = *PictureFormatByName("CIF");
    const auto first = library.Loop(cif, 25, "MDVR-10001", 1);
    const auto second = library.Loop(cif, 25, "MDVR-10001", 2);
    const auto other = library.Loop(cif, 25, "MDVR-10002", 1);
    ASSERT_TRUE(first && second && other);
    EXPECT_EQ(first->size(), 10u);
    EXPECT_EQ(library.Loop(cif, 25, "MDVR-10001", 1), first);  // shared while held

    const auto a = FirstLuma(*first, 352, 288), b = FirstLuma(*second, 352, 288),
               c = FirstLuma(*other, 352, 288);
    ASSERT_EQ(a.size(), 352u * 288);
    // The label's box: dark, with bright text in it, in the top left corner only.
    auto label_pixels = [](const std::vector<uint8_t>& luma, int x0, int x1, int y0, int y1, int* dark,
                           int* bright) {
        *dark = *bright = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) {
                *dark += luma[y * 352 + x] < 40;
                *bright += luma[y * 352 + x] > 200;
            }
    };
    int dark = 0, bright = 0;
    label_pixels(a, 0, 100, 0, 50, &dark, &bright);
    EXPECT_GT(dark, 1000);
    EXPECT_GT(bright, 100);
    // The second line ("channel N") differs between channels; the first (device id) between devices.
    auto differing = [](const std::vector<uint8_t>& x, const std::vector<uint8_t>& y, int y0, int y1) {
        int count = 0;
        for (int row = y0; row < y1; ++row)
            for (int col = 0; col < 176; ++col)
                count += std::abs(x[row * 352 + col] - y[row * 352 + col]) > 100;
        return count;
    };
    EXPECT_GT(differing(a, b, 26, 50), 20);
    EXPECT_LT(differing(a, b, 0, 26), 5);
    EXPECT_GT(differing(a, c, 0, 26), 20);
    EXPECT_LT(differing(a, c, 26, 50), 5);
}

TEST(H264Loop, ALoopNobodyHoldsIsFreed) {
    H264Library library(5, 5);
    const PictureFormat& qcif = *PictureFormatByName("QCIF");
    std::weak_ptr<const std::vector<EncodedFrame>> weak = library.Loop(qcif, 25, "D000001", 3);
    EXPECT_TRUE(weak.expired());
    EXPECT_NE(library.Loop(qcif, 25, "D000001", 3), nullptr);  // encoded again on demand
}

}  // namespace
}  // namespace velq_sim
