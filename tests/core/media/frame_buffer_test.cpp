// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/frame_buffer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

namespace corvel {
namespace {

// A small ring whose arithmetic is easy to follow: 4000 bytes with a reserve of 1000.
constexpr int32_t kCapacity = 4000;
constexpr uint32_t kLargest = 1000;

FrameRecord StartProducer(CBuffer& buffer) {
    FrameRecord cursor;
    buffer.GetWritePos(&cursor);
    return cursor;
}

// Writes `size` bytes of `fill` at the cursor and pushes them; returns where the frame was written.
uint8_t* PushFrame(CBuffer& buffer, FrameRecord& cursor, uint32_t size, uint32_t type = kFramePcm,
                   uint8_t fill = 0x5A, bool* stored = nullptr) {
    uint8_t* at = cursor.data;
    std::memset(at, fill, size);
    cursor.size = size;
    cursor.type = type;
    const bool ok = buffer.Push(&cursor);
    if (stored != nullptr) *stored = ok;
    return at;
}

size_t Offset(const CBuffer& buffer, const uint8_t* p) {
    return static_cast<size_t>(p - buffer.Region());
}

class AudioRing : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(buffer.Init(kCapacity, kLargest, 2));
        cursor = StartProducer(buffer);
    }
    CABuffer2 buffer;
    FrameRecord cursor;
    FrameRecord out;
};

TEST_F(AudioRing, FirstFrameComesOutOfFirstPopAndPlaceholderIsDropped) {
    EXPECT_EQ(cursor.data, buffer.Region());
    bool stored = false;
    uint8_t* at = PushFrame(buffer, cursor, 960, kFramePcm, 0x11, &stored);
    EXPECT_TRUE(stored);
    EXPECT_EQ(cursor.size, 0u);
    EXPECT_EQ(Offset(buffer, cursor.data), 960u);
    EXPECT_EQ(buffer.FrameCount(), 2);  // placeholder for the held frame plus the frame
    EXPECT_EQ(buffer.Used(), 960);

    ASSERT_TRUE(buffer.Pop(&out));
    EXPECT_EQ(out.data, at);
    EXPECT_EQ(out.size, 960u);
    EXPECT_EQ(out.type, kFramePcm);
    EXPECT_EQ(buffer.Used(), 0);
    EXPECT_FALSE(buffer.Pop(&out));
    EXPECT_EQ(buffer.Used(), 0);
    EXPECT_EQ(buffer.FrameCount(), 0);
}

TEST_F(AudioRing, FrameNearTheEndIsKeptAndWrapsOnlyWhenHeldFrameLeavesRoom) {
    // Frames at 0, 900, 1800; the next at 2700 ends past 4000 - reserve.
    uint8_t* f0 = PushFrame(buffer, cursor, 900);
    PushFrame(buffer, cursor, 900);
    PushFrame(buffer, cursor, 900);
    ASSERT_EQ(Offset(buffer, cursor.data), 2700u);
    ASSERT_TRUE(buffer.Pop(&out));
    ASSERT_EQ(out.data, f0);  // held at 0: the region start has no reserve before it

    bool stored = true;
    PushFrame(buffer, cursor, 900, kFramePcm, 0x5A, &stored);
    EXPECT_FALSE(stored);
    EXPECT_EQ(Offset(buffer, cursor.data), 2700u) << "a refused frame is overwritten by the next one";
    EXPECT_EQ(cursor.size, 0u);

    ASSERT_TRUE(buffer.Pop(&out));  // held at 900: still within the first 1000 bytes
    PushFrame(buffer, cursor, 900, kFramePcm, 0x5A, &stored);
    EXPECT_FALSE(stored);

    ASSERT_TRUE(buffer.Pop(&out));  // held at 1800
    uint8_t* last = PushFrame(buffer, cursor, 900, kFramePcm, 0x77, &stored);
    EXPECT_TRUE(stored);
    EXPECT_EQ(Offset(buffer, last), 2700u) << "stored where it was written";
    EXPECT_EQ(cursor.data, buffer.Region()) << "next write position wraps to the region start";

    ASSERT_TRUE(buffer.Pop(&out));
    EXPECT_EQ(out.data, last);
    EXPECT_EQ(out.data[899], 0x77);
}

TEST_F(AudioRing, WrappedWriterKeepsTheReserveBeforeTheHeldFrame) {
    PushFrame(buffer, cursor, 900);
    PushFrame(buffer, cursor, 900);
    PushFrame(buffer, cursor, 900);
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(buffer.Pop(&out));  // held at 1800
    PushFrame(buffer, cursor, 900);                             // at 2700, wraps
    ASSERT_EQ(cursor.data, buffer.Region());

    // Below the held frame at 1800: a frame may end at most 1000 bytes before it.
    bool stored = true;
    PushFrame(buffer, cursor, 801, kFramePcm, 0, &stored);
    EXPECT_FALSE(stored);
    EXPECT_EQ(cursor.data, buffer.Region());
    PushFrame(buffer, cursor, 800, kFramePcm, 0, &stored);
    EXPECT_TRUE(stored);
    EXPECT_EQ(Offset(buffer, cursor.data), 800u);
    PushFrame(buffer, cursor, 1, kFramePcm, 0, &stored);
    EXPECT_FALSE(stored);
    EXPECT_EQ(buffer.Used(), 1700);
}

TEST_F(AudioRing, RefusesFramesOutsideTheAdmissibleSizes) {
    bool stored = true;
    PushFrame(buffer, cursor, 0, kFramePcm, 0, &stored);
    EXPECT_FALSE(stored);
    PushFrame(buffer, cursor, kLargest + 1, kFramePcm, 0, &stored);
    EXPECT_FALSE(stored);
    EXPECT_EQ(buffer.FrameCount(), 0);
    PushFrame(buffer, cursor, kLargest, kFramePcm, 0, &stored);
    EXPECT_TRUE(stored);
}

TEST_F(AudioRing, AtMostEightFramesWaitAndOlderOnesAreNeverEvicted) {
    buffer.maximum_frame_count = kAudioMaximumFrameCount;
    int accepted = 0;
    for (uint32_t i = 0; i < 12; ++i) {
        cursor.sequence = i;
        bool stored = false;
        PushFrame(buffer, cursor, 100, kFramePcm, 0, &stored);
        accepted += stored;
    }
    EXPECT_EQ(accepted, 8);
    EXPECT_EQ(buffer.FrameCount(), 9);

    ASSERT_TRUE(buffer.Pop(&out));
    EXPECT_EQ(out.sequence, 0u);
    cursor.sequence = 50;
    bool stored = false;
    PushFrame(buffer, cursor, 100, kFramePcm, 0, &stored);
    EXPECT_TRUE(stored) << "one frame taken, one place free";
    PushFrame(buffer, cursor, 100, kFramePcm, 0, &stored);
    EXPECT_FALSE(stored);

    for (uint32_t i = 1; i < 8; ++i) {
        ASSERT_TRUE(buffer.Pop(&out));
        EXPECT_EQ(out.sequence, i);
    }
    ASSERT_TRUE(buffer.Pop(&out));
    EXPECT_EQ(out.sequence, 50u);
    EXPECT_FALSE(buffer.Pop(&out));
}

TEST_F(AudioRing, GetWritePosDropsWaitingFramesButKeepsTheHeldOne) {
    PushFrame(buffer, cursor, 700);
    ASSERT_TRUE(buffer.Pop(&out));
    const uint8_t* held = out.data;
    PushFrame(buffer, cursor, 700);
    PushFrame(buffer, cursor, 700);

    FrameRecord fresh;
    fresh.size = 99;
    fresh.type = 5;
    buffer.GetWritePos(&fresh);
    EXPECT_EQ(fresh.data, held + 700);
    EXPECT_EQ(fresh.size, 0u);
    EXPECT_EQ(fresh.type, 0u);
    EXPECT_EQ(buffer.FrameCount(), 1);
    EXPECT_EQ(buffer.Used(), 0);
    EXPECT_FALSE(buffer.Pop(&out));

    buffer.GetWritePos(nullptr);  // a null cursor is allowed
    buffer.GetWritePos(&fresh);
    EXPECT_EQ(fresh.data, buffer.Region()) << "empty buffer starts at the region start";
}

TEST_F(AudioRing, GetWritePosWrapsWhenTheHeldFrameLeavesNoReserveBehindIt) {
    PushFrame(buffer, cursor, 900);
    PushFrame(buffer, cursor, 900);
    PushFrame(buffer, cursor, 900);
    PushFrame(buffer, cursor, 100);  // at 2700, ends at 2800: 2800 + 1000 fits
    for (int i = 0; i < 4; ++i) ASSERT_TRUE(buffer.Pop(&out));
    ASSERT_EQ(Offset(buffer, out.data), 2700u);
    buffer.GetWritePos(&cursor);
    EXPECT_EQ(Offset(buffer, cursor.data), 2800u);

    PushFrame(buffer, cursor, 300);  // 2800..3100: 3100 + 1000 passes the end, wraps
    ASSERT_TRUE(buffer.Pop(&out));
    buffer.GetWritePos(&cursor);
    EXPECT_EQ(cursor.data, buffer.Region());
}

TEST(FrameBufferInit, KeepsALargerRegionAndRejectsImpossibleSizes) {
    CABuffer2 buffer;
    EXPECT_EQ(buffer.Mode(), 0u);
    ASSERT_TRUE(buffer.Init(kAudioBufferCapacity, kAudioLargestFrame, 2));
    EXPECT_EQ(buffer.Mode(), 2u);
    const uint8_t* region = buffer.Region();
    ASSERT_NE(region, nullptr);

    ASSERT_TRUE(buffer.Init(kAudioBufferCapacity / 2, 4096, 2));
    EXPECT_EQ(buffer.Region(), region);
    EXPECT_EQ(buffer.Capacity(), kAudioBufferCapacity);
    EXPECT_EQ(buffer.LargestFrame(), 4096u);

    // Init drops every descriptor, the held one too.
    FrameRecord cursor = StartProducer(buffer);
    PushFrame(buffer, cursor, 1000);
    ASSERT_TRUE(buffer.Init(kAudioBufferCapacity, kAudioLargestFrame, 2));
    EXPECT_EQ(buffer.FrameCount(), 0);
    FrameRecord out;
    EXPECT_FALSE(buffer.Pop(&out));

    ASSERT_TRUE(buffer.Init(2 * kAudioBufferCapacity, kAudioLargestFrame, 2));
    EXPECT_EQ(buffer.Capacity(), 2 * kAudioBufferCapacity);
    buffer.Stop();
    EXPECT_EQ(buffer.Mode(), 0u);
    EXPECT_NE(buffer.Region(), nullptr) << "the region outlives Stop";

    CABuffer2 other;
    EXPECT_FALSE(other.Init(2999, 1000, 2));
    EXPECT_FALSE(other.Init(4000, 0, 2));
    EXPECT_FALSE(other.Init(-1, 1000, 2));
    EXPECT_TRUE(other.Init(3000, 1000, 2));
}

class VideoRing : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(buffer.Init(kCapacity, kLargest, 2));
        buffer.gopState = 0;
        cursor = StartProducer(buffer);
    }
    bool Push(uint32_t type, uint32_t size = 500) {
        bool stored = false;
        PushFrame(buffer, cursor, size, type, 0, &stored);
        EXPECT_EQ(cursor.type, 0u);
        EXPECT_EQ(cursor.size, 0u);
        return stored;
    }
    CVBuffer2 buffer;
    FrameRecord cursor;
    FrameRecord out;
};

TEST(VideoBufferStart, NothingIsStoredBeforeTheSourceStarts) {
    CVBuffer2 buffer;
    EXPECT_EQ(buffer.gopState.load(), -1);
    ASSERT_TRUE(buffer.Init(kCapacity, kLargest, 2));
    FrameRecord cursor = StartProducer(buffer);
    cursor.size = 100;
    cursor.type = IVOP;
    EXPECT_FALSE(buffer.Push(&cursor));
    EXPECT_EQ(buffer.gopState.load(), -1);
    buffer.GetWritePos(&cursor);
    buffer.Clear();
    EXPECT_EQ(buffer.gopState.load(), -1) << "resets keep the not-started value";
}

TEST_F(VideoRing, PredictedFramesWaitForTheFirstKeyFrame) {
    EXPECT_FALSE(Push(PVOP));
    EXPECT_EQ(buffer.gopState.load(), 0);
    EXPECT_TRUE(Push(IVOP));
    EXPECT_EQ(buffer.gopState.load(), 1);
    EXPECT_TRUE(Push(PVOP));
    EXPECT_FALSE(Push(0)) << "type 0 is no frame";
    EXPECT_EQ(buffer.FrameCount(), 3);
}

TEST_F(VideoRing, LostFrameDropsPredictedFramesUntilTheNextKeyFrame) {
    ASSERT_TRUE(Push(IVOP, 900));
    ASSERT_TRUE(Push(PVOP, 900));
    ASSERT_TRUE(Push(PVOP, 900));
    ASSERT_FALSE(Push(PVOP, 900)) << "no room while the first frame is held at the region start";
    EXPECT_EQ(buffer.gopState.load(), 0);

    for (int i = 0; i < 3; ++i) ASSERT_TRUE(buffer.Pop(&out));  // room again
    EXPECT_FALSE(Push(PVOP, 100)) << "the group is broken";
    EXPECT_TRUE(Push(IVOP, 100));
    EXPECT_TRUE(Push(PVOP, 100));
    EXPECT_EQ(buffer.gopState.load(), 1);
}

TEST_F(VideoRing, RefusedKeyFrameAlsoBreaksTheGroup) {
    ASSERT_TRUE(Push(IVOP, 900));
    ASSERT_TRUE(Push(IVOP, 900));
    ASSERT_TRUE(Push(IVOP, 900));
    EXPECT_EQ(buffer.gopState.load(), 3);
    EXPECT_FALSE(Push(IVOP, 900));
    EXPECT_EQ(buffer.gopState.load(), 0);
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(buffer.Pop(&out));
    EXPECT_FALSE(Push(PVOP, 100));
    EXPECT_TRUE(Push(IVOP, 100)) << "a key frame is taken whenever there is room";
}

TEST_F(VideoRing, PoppingKeyFramesCountsTheGroupDownToOne) {
    ASSERT_TRUE(Push(IVOP, 100));
    ASSERT_TRUE(Push(PVOP, 100));
    ASSERT_TRUE(Push(IVOP, 100));
    ASSERT_TRUE(Push(IVOP, 100));
    EXPECT_EQ(buffer.gopState.load(), 3);
    ASSERT_TRUE(buffer.Pop(&out));
    EXPECT_EQ(out.type, IVOP);
    EXPECT_EQ(buffer.gopState.load(), 2);
    ASSERT_TRUE(buffer.Pop(&out));
    EXPECT_EQ(out.type, PVOP);
    EXPECT_EQ(buffer.gopState.load(), 2);
    ASSERT_TRUE(buffer.Pop(&out));
    ASSERT_TRUE(buffer.Pop(&out));
    EXPECT_EQ(buffer.gopState.load(), 1) << "kept at least 1 once a key frame was accepted";
    EXPECT_TRUE(Push(PVOP, 100));
}

TEST_F(VideoRing, ReconnectionRestartsAtAKeyFrame) {
    ASSERT_TRUE(Push(IVOP));
    ASSERT_TRUE(Push(PVOP));
    ASSERT_TRUE(buffer.Pop(&out));
    buffer.GetWritePos(&cursor);
    EXPECT_EQ(buffer.gopState.load(), 0);
    EXPECT_EQ(buffer.Used(), 0);
    EXPECT_FALSE(buffer.Pop(&out)) << "the waiting predicted frame was discarded";
    EXPECT_FALSE(Push(PVOP));
    EXPECT_TRUE(Push(IVOP));

    buffer.Clear();
    EXPECT_EQ(buffer.gopState.load(), 0);
    EXPECT_EQ(buffer.FrameCount(), 0);
}

TEST_F(VideoRing, OtherTypesPassWithoutTouchingTheGroup) {
    EXPECT_TRUE(Push(kFramePcm));
    EXPECT_EQ(buffer.gopState.load(), 0);
    buffer.maximum_frame_count = 2;
    EXPECT_FALSE(Push(IVOP)) << "the count limit applies to key frames too";
}

// One producer and one consumer through a real ring: every frame arrives once, in order, intact.
// CORVEL_STRESS_FRAMES raises the count (10^6 for a soak); the default run stays short.
template <class Buffer>
void RunProducerConsumer(uint32_t type, int32_t capacity, uint32_t largest) {
    const char* env = std::getenv("CORVEL_STRESS_FRAMES");
    const uint32_t frames = env != nullptr ? static_cast<uint32_t>(std::strtoul(env, nullptr, 10)) : 5000;
    Buffer buffer;
    ASSERT_TRUE(buffer.Init(capacity, largest, 2));
    if constexpr (std::is_same_v<Buffer, CVBuffer2>) buffer.gopState = 0;
    buffer.maximum_frame_count = 64;
    FrameRecord cursor;
    buffer.GetWritePos(&cursor);
    // Frame n is a window into this pattern starting at n % 251, so a frame shifted, mixed up with another
    // or partly overwritten does not compare equal.
    std::vector<uint8_t> pattern(largest + 251);
    std::mt19937 fill(99);
    for (auto& b : pattern) b = static_cast<uint8_t>(fill());

    std::thread producer([&] {
        std::mt19937 rng(12345);
        std::uniform_int_distribution<uint32_t> sizes(1, largest);
        for (uint32_t seq = 0; seq < frames; ++seq) {
            const uint32_t size = sizes(rng);
            for (;;) {
                std::memcpy(cursor.data, pattern.data() + seq % 251, size);
                cursor.size = size;
                cursor.type = type;
                cursor.sequence = seq;
                if (buffer.Push(&cursor)) break;
                std::this_thread::yield();
            }
        }
    });

    std::mt19937 rng(12345);
    std::uniform_int_distribution<uint32_t> sizes(1, largest);
    uint32_t corrupted = 0;
    uint32_t misordered = 0;
    for (uint32_t seq = 0; seq < frames;) {
        FrameRecord out;
        if (!buffer.Pop(&out)) {
            std::this_thread::yield();
            continue;
        }
        const uint32_t size = sizes(rng);
        if (out.sequence != seq || out.size != size || out.type != type) {
            ++misordered;
            break;
        }
        corrupted += std::memcmp(out.data, pattern.data() + seq % 251, size) != 0;
        ++seq;
    }
    producer.join();
    EXPECT_EQ(misordered, 0u);
    EXPECT_EQ(corrupted, 0u) << "frames whose bytes differ";
}

TEST(FrameBufferStress, VideoProducerAndConsumer) {
    RunProducerConsumer<CVBuffer2>(IVOP, 16 * 61440, 61440);
}

TEST(FrameBufferStress, AudioProducerAndConsumer) {
    RunProducerConsumer<CABuffer2>(kFrameG726 + 2, kAudioBufferCapacity, 1920);
}

}  // namespace
}  // namespace corvel
