// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/pre_record.h"

#include <gtest/gtest.h>

#include <vector>

namespace corvel {
namespace {

// Feeds `seconds` of a 25 frames/s stream with a key frame every `gop` frames, frames of `bytes` each.
void Feed(PreRecordBuffer& buffer, int seconds, int gop, uint32_t bytes, int64_t start_ms = 0) {
    std::vector<uint8_t> payload(bytes, 0x42);
    for (int i = 0; i < seconds * 25; ++i) {
        FrameRecord frame;
        frame.data = payload.data();
        frame.size = bytes;
        frame.type = i % gop == 0 ? IVOP : PVOP;
        frame.time = static_cast<uint32_t>(i / 25);
        buffer.Push(frame, 2, 25, start_ms + i * 40);
    }
}

TEST(PreRecordBuffer, KeepsTheLastSecondsFromAKeyFrame) {
    PreRecordBuffer buffer;
    Feed(buffer, 5, 25, 1000);
    EXPECT_TRUE(buffer.empty()) << "nothing is kept while the time is 0";

    buffer.SetSeconds(10);
    Feed(buffer, 30, 25, 1000);
    // Frames 0.04 s apart: the newest at 29.96 s, the oldest key frame within 10 s at 20 s.
    ASSERT_EQ(buffer.frame_count(), 250u);
    const auto frames = buffer.Take();
    EXPECT_EQ(frames.front().type, static_cast<uint32_t>(IVOP));
    EXPECT_EQ(frames.front().receive_unix_ms, 20'000);
    EXPECT_EQ(frames.back().receive_unix_ms, 29'960);
    EXPECT_EQ(frames.front().picture_format, 2);
    EXPECT_TRUE(buffer.empty());
    EXPECT_EQ(buffer.bytes(), 0u);
}

TEST(PreRecordBuffer, MemoryStaysWithinItsBoundByDroppingWholeGroups) {
    PreRecordBuffer buffer;
    buffer.SetSeconds(10);
    // 50 KiB frames (1.25 MiB/s) would take 12.5 MiB for 10 s; the bound is 4000 KiB.
    Feed(buffer, 20, 25, 50 * 1024);
    EXPECT_LE(buffer.bytes(), buffer.bound_bytes());
    EXPECT_EQ(buffer.bound_bytes(), 4000u * 1024);
    EXPECT_GT(buffer.bytes(), buffer.bound_bytes() - 25u * (50 * 1024 + sizeof(PreRecordedFrame)));
    const auto frames = buffer.Take();
    EXPECT_EQ(frames.front().type, static_cast<uint32_t>(IVOP));

    // A single frame beyond the bound empties the buffer: what follows would not decode without it.
    buffer.SetSeconds(1);
    Feed(buffer, 1, 25, 1000);
    EXPECT_FALSE(buffer.empty());
    Feed(buffer, 1, 1, 500 * 1024);
    EXPECT_TRUE(buffer.empty());

    // Going back to 0 frees everything; a shorter time trims at once.
    buffer.SetSeconds(10);
    Feed(buffer, 10, 25, 1000);
    buffer.SetSeconds(2);
    EXPECT_LE(buffer.frame_count(), 50u);
    buffer.SetSeconds(0);
    EXPECT_TRUE(buffer.empty());
}

}  // namespace
}  // namespace corvel
