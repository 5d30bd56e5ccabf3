// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cstdlib>

#include "base/tick.h"
#include "media/video_ctx.h"
#include "video_test_util.h"

namespace corvel {
namespace {

using test::EncodedFrame;
using test::EncodeTestPattern;
using test::H264StreamOptions;
using test::kVideoWait;
using test::RecordingWindow;
using test::ShownPicture;
using test::WaitUntil;

using Channel = test::VideoTestChannel;

const std::vector<EncodedFrame>& Stream(int width, int height) {
    static const std::vector<EncodedFrame> cif = EncodeTestPattern({352, 288, 50, 25, 25, 0});
    static const std::vector<EncodedFrame> d1 = EncodeTestPattern({720, 576, 30, 25, 25, 50});
    return width == 352 && height == 288 ? cif : d1;
}

bool SameChecksums(const std::vector<ShownPicture>& shown, const std::vector<ShownPicture>& expected) {
    if (shown.size() != expected.size()) return false;
    for (size_t i = 0; i < shown.size(); ++i) {
        if (shown[i].width != expected[i].width || shown[i].height != expected[i].height ||
            shown[i].checksum != expected[i].checksum) {
            ADD_FAILURE() << "picture " << i << " differs";
            return false;
        }
    }
    return true;
}

class VideoPipelineFormats : public ::testing::TestWithParam<VelqPixelFormat> {};

TEST_P(VideoPipelineFormats, EveryPictureShownEqualsAnIndependentDecodeAndConversion) {
    const VelqPixelFormat format = GetParam();
    const auto& cif = Stream(352, 288);
    const auto& d1 = Stream(720, 576);
    ASSERT_EQ(cif.size(), 50u);
    ASSERT_TRUE(cif[0].key && cif[25].key && !cif[1].key);

    RecordingWindow window(format);
    Channel channel(&window);
    test::StartBuffer(channel.buffer);
    test::Feed(channel.buffer, cif);
    ASSERT_TRUE(channel.video.Start());
    ASSERT_TRUE(window.WaitShown(cif.size()));
    EXPECT_EQ(channel.width.load(), 352);
    EXPECT_EQ(channel.height.load(), 288);

    // The picture size changes mid-stream: presenter and converter are rebuilt for D1.
    test::Feed(channel.buffer, d1);
    ASSERT_TRUE(window.WaitShown(cif.size() + d1.size()));
    channel.video.Stop(kStopTimeoutMs);

    std::vector<ShownPicture> expected = test::ReferencePictures(cif, format);
    const std::vector<ShownPicture> expected_d1 = test::ReferencePictures(d1, format);
    expected.insert(expected.end(), expected_d1.begin(), expected_d1.end());
    EXPECT_TRUE(SameChecksums(window.shown(), expected));
    EXPECT_EQ(channel.width.load(), 720);
    EXPECT_EQ(channel.height.load(), 576);
    EXPECT_EQ(channel.video.presenter().width(), 720);
    EXPECT_EQ(channel.video.decoder().width(), 720);
    EXPECT_EQ(channel.frames_shown.load(), 80);
    EXPECT_EQ(window.format_queries(), 2);  // one device per picture size
    EXPECT_EQ(channel.video.predicted_in_last_gop(), 24);
}

INSTANTIATE_TEST_SUITE_P(AllBackBufferFormats, VideoPipelineFormats,
                         ::testing::Values(VELQ_PIX_BGRA32, VELQ_PIX_RGB565, VELQ_PIX_YV12));

// Plays the CIF stream into a window that answers with `script` first; the picture at `lost_index` is the
// one that was not shown. Returns how often the window was asked for its format (once per device).
int PlayScripted(VelqPixelFormat format, std::initializer_list<VelqPresentResult> script, size_t lost_index) {
    const auto& cif = Stream(352, 288);
    RecordingWindow window(format);
    window.Script(script);
    Channel channel(&window);
    test::StartBuffer(channel.buffer);
    test::Feed(channel.buffer, cif);
    EXPECT_TRUE(channel.video.Start());
    EXPECT_TRUE(window.WaitShown(cif.size() - 1));
    channel.video.Stop(kStopTimeoutMs);

    // Every other picture was shown, unchanged.
    std::vector<ShownPicture> expected = test::ReferencePictures(cif, format);
    expected.erase(expected.begin() + static_cast<ptrdiff_t>(lost_index));
    EXPECT_TRUE(SameChecksums(window.shown(), expected));
    EXPECT_EQ(channel.frames_shown.load(), 50);
    return window.format_queries();
}

TEST(VideoPipeline, LostPresentationResetsAndTheStreamResumes) {
    EXPECT_EQ(PlayScripted(VELQ_PIX_BGRA32, {VELQ_PRESENT_OK, VELQ_PRESENT_OK, VELQ_PRESENT_LOST}, 2), 1);
}

TEST(VideoPipeline, FailedPresentationRebuildsThePresenterOnTheNextPicture) {
    // The device was created again for the picture after the failure.
    EXPECT_EQ(PlayScripted(VELQ_PIX_RGB565, {VELQ_PRESENT_OK, VELQ_PRESENT_FAILED}, 1), 2);
}

TEST(VideoPipeline, FramesWithoutAPictureAreSkippedWithoutPacing) {
    av_log_set_level(AV_LOG_QUIET);  // the decoder complains about every junk frame
    RecordingWindow window(VELQ_PIX_BGRA32);
    Channel channel(&window);
    test::StartBuffer(channel.buffer);
    // Predicted frames of a stream whose key frame never arrived, and bytes that are no H.264 at all, each
    // announcing one frame per second: had any been paced, the rate would have changed.
    std::vector<EncodedFrame> junk;
    const auto& cif = Stream(352, 288);
    for (int i = 1; i < 6; ++i) junk.push_back({cif[i].bytes, true});
    for (int i = 0; i < 5; ++i)
        junk.push_back({std::vector<uint8_t>(3000 + i * 100, static_cast<uint8_t>(i * 37)), true});
    test::Feed(channel.buffer, junk, {1, 1577934245});
    const uint32_t started = TickCount32();
    ASSERT_TRUE(channel.video.Start());
    ASSERT_TRUE(WaitUntil([&] { return channel.buffer.FrameCount() <= 1; }, kVideoWait));
    channel.video.Stop(kStopTimeoutMs);
    EXPECT_LT(TickDiff(TickCount32(), started), 5000);
    EXPECT_EQ(window.calls(), 0);
    EXPECT_EQ(channel.frames_shown.load(), 0);
    EXPECT_EQ(channel.pacing.frame_rate(), 30.0);
    EXPECT_EQ(channel.width.load(), 0);
}

TEST(VideoPipeline, AWindowChangeRebuildsTheDevice) {
    const auto& cif = Stream(352, 288);
    RecordingWindow first(VELQ_PIX_BGRA32), second(VELQ_PIX_YV12);
    Channel channel(&first);
    test::StartBuffer(channel.buffer);
    test::Feed(channel.buffer, std::vector<EncodedFrame>(cif.begin(), cif.begin() + 25));
    ASSERT_TRUE(channel.video.Start());
    ASSERT_TRUE(first.WaitShown(25));
    channel.video.Stop(kStopTimeoutMs);

    channel.host.set_window(&second);
    ASSERT_TRUE(channel.video.Start());  // same size, other window: a new device in that window's format
    test::Feed(channel.buffer, std::vector<EncodedFrame>(cif.begin() + 25, cif.end()));
    ASSERT_TRUE(second.WaitShown(25));
    channel.video.Stop(kStopTimeoutMs);
    EXPECT_EQ(channel.video.presenter().window(), &second);
    EXPECT_EQ(channel.video.presenter().format(), VELQ_PIX_YV12);
    const auto expected = test::ReferencePictures(cif, VELQ_PIX_YV12);
    EXPECT_TRUE(SameChecksums(second.shown(), {expected.begin() + 25, expected.end()}));
}

// ---- Pacing ----

TEST(VideoPacing, DelayFollowsTheWaitingVideoAgainstTheTarget) {
    // 0.4 s waiting against 0.3 s: (1 - 0.1 / 10) * 40 + 0.5 = 40.1.
    EXPECT_EQ(CFpsCtrl::PacingDelay(10, 25.0, 3, 40.0), 40);
    // 10 s waiting against none: 0.5, truncated.
    EXPECT_EQ(CFpsCtrl::PacingDelay(250, 25.0, 0, 40.0), 0);
    // At the target the nominal interval; a second below it, 10 % slower.
    EXPECT_EQ(CFpsCtrl::PacingDelay(5, 25.0, 2, 40.0), 40);
    EXPECT_EQ(CFpsCtrl::PacingDelay(0, 25.0, 10, 40.0), 44);
    // Far above the target the delay goes negative: the due time is pulled back.
    EXPECT_EQ(CFpsCtrl::PacingDelay(500, 25.0, 0, 40.0), -39);
}

TEST(VideoPacing, AnAnnouncedRateChangeTakesEffectForThatSameFrame) {
    RecordingWindow window(VELQ_PIX_BGRA32);
    Channel channel(&window);
    channel.video.buffer_keep = 3;
    EXPECT_EQ(channel.pacing.frame_rate(), 30.0);
    EXPECT_TRUE(channel.pacing.wake().Wait(0));  // created signalled
    const uint32_t now = 1000000;
    channel.pacing.set_due_tick(now);

    // 10 waiting at a newly announced 25 frames/s: 40 ms, not the 33 ms of the old rate.
    EXPECT_EQ(channel.video.AdvanceDue(25, 10, now), 40u);
    EXPECT_EQ(channel.pacing.due_tick(), now + 40);
    EXPECT_EQ(channel.pacing.interval_ms(), 40.0);
    EXPECT_TRUE(channel.pacing.wake().Wait(0));  // the change woke the thread

    // Aux 0 keeps the rate and does not wake.
    EXPECT_EQ(channel.video.AdvanceDue(0, 10, now + 40), 40u);
    EXPECT_EQ(channel.pacing.frame_rate(), 25.0);
    EXPECT_FALSE(channel.pacing.wake().Wait(0));

    // Due within 3 ms: no wait; behind: none either, until the due time is reached again.
    channel.pacing.set_due_tick(now);
    channel.video.buffer_keep = 0;
    EXPECT_EQ(channel.video.AdvanceDue(0, 250, now), 0u);
    channel.pacing.set_due_tick(now - 500);
    EXPECT_EQ(channel.video.AdvanceDue(0, 10, now), 0u);
    EXPECT_EQ(channel.pacing.due_tick(), now - 500 + 38);  // 0.4 s above a target of 0
}

TEST(VideoPacing, TheAudioNudgeMovesTheDueTimeAcrossTheTickWrap) {
    CFpsCtrl pacing;
    pacing.set_due_tick(5);
    pacing.AdjustDue(-15);
    EXPECT_EQ(pacing.due_tick(), 0xFFFFFFF6u);
    std::thread audio([&] {
        for (int i = 0; i < 1000; ++i) pacing.AdjustDue(25);
    });
    for (int i = 0; i < 1000; ++i) pacing.AdjustDue(-10);
    audio.join();
    EXPECT_EQ(pacing.due_tick(), 0xFFFFFFF6u + 15000u);
}

TEST(VideoPacing, AnEmptyBufferResetsTheDueTime) {
    RecordingWindow window(VELQ_PIX_BGRA32);
    Channel channel(&window);
    test::StartBuffer(channel.buffer);
    channel.pacing.set_due_tick(TickCount32() + 600000);
    ASSERT_TRUE(channel.video.Start());
    EXPECT_TRUE(WaitUntil([&] { return std::abs(TickDiff(channel.pacing.due_tick(), TickCount32())) < 1000; },
                          kVideoWait));
    channel.video.Stop(kStopTimeoutMs);
}

TEST(VideoPacing, PicturesFollowTheAnnouncedIntervalAtTheTarget) {
    // 2 pictures waiting at 10 frames/s with a target of 0.2 s: 100 ms apart.
    const auto& cif = Stream(352, 288);
    RecordingWindow window(VELQ_PIX_BGRA32);
    Channel channel(&window);
    channel.video.buffer_keep = 2;
    test::StartBuffer(channel.buffer);
    test::Feed(channel.buffer, std::vector<EncodedFrame>(cif.begin(), cif.begin() + 8), {10, 1577934245});
    const uint32_t started = TickCount32();
    channel.pacing.set_due_tick(started);  // not behind: every picture waits its turn
    ASSERT_TRUE(channel.video.Start());
    ASSERT_TRUE(window.WaitShown(8));
    const int32_t elapsed = TickDiff(TickCount32(), started);
    channel.video.Stop(kStopTimeoutMs);
    // Seven full intervals at least, each between 65 and 110 ms (the waiting video shortens the early ones).
    EXPECT_GE(elapsed, 7 * 65);
}

TEST(VideoPacing, RefreshPresentsTheLastPictureAtOnce) {
    const auto& cif = Stream(352, 288);
    RecordingWindow window(VELQ_PIX_BGRA32);
    Channel channel(&window);
    test::StartBuffer(channel.buffer);
    test::Feed(channel.buffer, std::vector<EncodedFrame>(cif.begin(), cif.begin() + 3));
    ASSERT_TRUE(channel.video.Start());
    ASSERT_TRUE(window.WaitShown(3));
    // Idle in the thread: the refresh shows the same picture again.
    const uint32_t asked = TickCount32();
    channel.video.Refresh();
    ASSERT_TRUE(window.WaitShown(4, std::chrono::milliseconds(1000)));
    EXPECT_LT(TickDiff(TickCount32(), asked), 500);
    channel.video.Stop(kStopTimeoutMs);
    // Without the thread the caller presents it itself.
    channel.video.Refresh();
    EXPECT_EQ(window.shown().size(), 5u);
    const auto shown = window.shown();
    EXPECT_EQ(shown[3].checksum, shown[2].checksum);
    EXPECT_EQ(shown[4].checksum, shown[2].checksum);
}

TEST(VideoPacing, RefreshCutsALongPacingWaitShort) {
    const auto& cif = Stream(352, 288);
    RecordingWindow window(VELQ_PIX_BGRA32);
    Channel channel(&window);
    test::StartBuffer(channel.buffer);
    // One frame per second announced: the announcement itself wakes the thread for the first picture, the
    // second one waits about 930 ms before it is shown.
    test::Feed(channel.buffer, std::vector<EncodedFrame>(cif.begin(), cif.begin() + 2), {1, 1577934245});
    ASSERT_TRUE(channel.video.Start());
    ASSERT_TRUE(WaitUntil([&] { return channel.frames_shown.load() == 2; }, kVideoWait));
    ASSERT_EQ(window.shown().size(), 1u);
    channel.video.Refresh();
    ASSERT_TRUE(window.WaitShown(2, std::chrono::milliseconds(600)));
    channel.video.Stop(kStopTimeoutMs);
}

// A window whose first presentation hangs until released, as a stuck display driver would hold the video
// thread. It notes whether the picture changed while it was being presented and whether a second
// presentation came in meanwhile.
class HangingWindow : public VelqWindow {
  public:
    void PostMessage(uint32_t, uintptr_t, intptr_t) override {}
    VelqPixelFormat PreferredFormat() const override { return VELQ_PIX_BGRA32; }
    VelqPresentResult PresentPicture(const VelqPicture& picture) override {
        const int inside = inside_.fetch_add(1) + 1;
        if (inside > 1) overlapped_ = true;
        const uint64_t before = Checksum(picture);
        {
            std::unique_lock lock(mutex_);
            if (!held_once_) {
                held_once_ = true;
                held_ = true;
                cv_.notify_all();
                cv_.wait(lock, [&] { return released_; });
            }
        }
        if (Checksum(picture) != before) changed_ = true;
        inside_.fetch_sub(1);
        return VELQ_PRESENT_OK;
    }
    bool WaitHeld() {
        std::unique_lock lock(mutex_);
        return cv_.wait_for(lock, std::chrono::seconds(20), [&] { return held_; });
    }
    void Release() {
        std::lock_guard lock(mutex_);
        released_ = true;
        cv_.notify_all();
    }
    std::atomic<bool> changed_{false}, overlapped_{false};

  private:
    static uint64_t Checksum(const VelqPicture& picture) {
        return test::PlanesChecksum(picture.format, picture.width, picture.height, picture.plane,
                                    picture.stride);
    }
    std::atomic<int> inside_{0};
    std::mutex mutex_;
    std::condition_variable cv_;
    bool held_once_ = false, held_ = false, released_ = false;
};

TEST(VideoWorker, AnAbandonedThreadKeepsTheRendererUntilItLeaves) {
    const auto& cif = Stream(352, 288);
    HangingWindow window;
    Channel channel(&window);
    channel.video.background_color = 0x00FF00;  // a cleared back buffer differs from any picture
    test::StartBuffer(channel.buffer);
    test::Feed(channel.buffer, std::vector<EncodedFrame>(cif.begin(), cif.begin() + 3));
    ASSERT_TRUE(channel.video.Start());
    ASSERT_TRUE(window.WaitHeld());
    channel.video.Stop(50);  // the thread stays inside the presentation: abandoned
    ASSERT_FALSE(channel.video.HasThread());
    ASSERT_FALSE(channel.video.WorkerExited());
    EXPECT_FALSE(channel.video.Start());  // refused, and the renderer is left alone
    channel.video.Refresh();              // nothing is presented from here meanwhile
    window.Release();
    ASSERT_TRUE(WaitUntil([&] { return channel.video.WorkerExited(); }, kVideoWait));
    EXPECT_FALSE(window.changed_);
    EXPECT_FALSE(window.overlapped_);
    EXPECT_TRUE(channel.video.Start());  // once it has left, the channel starts again
    channel.video.Stop(kStopTimeoutMs);
}

}  // namespace
}  // namespace corvel
