// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <filesystem>

#include "corvel/corvel.h"
#include "session/channel.h"
#include "session/session.h"
#include "video_test_util.h"

namespace corvel {
namespace {

using test::kVideoWait;
using test::RecordingWindow;
using test::WaitUntil;

// A channel of a device bound as the exports bind it, with its video buffer filled as the transfer would.
struct BoundChannel {
    RecordingWindow window{VELQ_PIX_BGRA32};
    AppSession session{&window, 1296};
    AppDevice* device = nullptr;
    AppChannel* channel = nullptr;
    BoundChannel() {
        device = session.TakeDevice();
        device->BindNew(&session, "vehicle-video");
        channel = session.TakeChannel();
        channel->Bind(&session, device, 1, &window);
    }
    ~BoundChannel() { channel->StopAll(); }
};

const std::vector<test::EncodedFrame>& Frames() {
    static const auto frames = test::EncodeTestPattern({352, 288, 4, 25, 25, 0});
    return frames;
}

TEST(VideoChannel, SettingsStartAsTheDecoderIsBuiltAndReportOldAndNew) {
    BoundChannel bound;
    AppChannel* channel = bound.channel;
    const uint64_t keep = VelqChn_SetBufKeep(channel, 7);
    EXPECT_EQ(keep & 0xFFFFFFFF, 3u);  // the decoder's default target
    EXPECT_EQ(keep >> 32, 7u);
    EXPECT_EQ(channel->video.buffer_keep.load(), 7);
    EXPECT_EQ(VelqChn_SetBkColor(channel, 0x00FF00), uint64_t{0x00FF00} << 32);
    EXPECT_EQ(VelqChn_SetBkColor(channel, 0x0000FF) & 0xFFFFFFFF, 0x00FF00u);
    EXPECT_EQ(VelqChn_ShowVerbose(channel, 1), uint64_t{1} << 32);
    EXPECT_EQ(channel->video.verbose.load(), 1);
}

TEST(VideoChannel, WithoutAServerTheSourceRetriesAndNothingIsShown) {
    BoundChannel bound;
    EXPECT_EQ(VelqChn_Snapshot(bound.channel, u"/tmp/never"), 0);  // not playing: no request
    EXPECT_EQ(bound.channel->snapshot.pending.load(), 0);
    VelqChn_Refresh(bound.channel);  // no device yet: nothing to show, nothing breaks
    EXPECT_EQ(bound.window.calls(), 0);
    // The source runs as long as it is wanted, retrying its route; the decoder waits on the empty buffer.
    EXPECT_TRUE(bound.channel->VideoPlay());
    EXPECT_TRUE(bound.channel->VideoPlay());  // once is enough
    EXPECT_TRUE(bound.channel->IsVSourceRunning());
    EXPECT_EQ(VelqChn_IsVideoPlaying(bound.channel), 1);
    bound.channel->VideoStop();
    EXPECT_FALSE(bound.channel->IsVSourceRunning());
    EXPECT_EQ(VelqChn_IsVideoPlaying(bound.channel), 0);
    EXPECT_EQ(bound.window.calls(), 0);
}

TEST(VideoChannel, TheExportsDriveTheDecoderOfAFilledBuffer) {
    setenv("TZ", "UTC", 1);
    tzset();
    const auto dir = std::filesystem::temp_directory_path() / ("corvel-chn-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string first = (dir / "first").string(), second = (dir / "second").string();

    BoundChannel bound;
    AppChannel* channel = bound.channel;
    test::StartBuffer(channel->video_buffer);
    test::Feed(channel->video_buffer, Frames());
    VelqChn_ShowVerbose(channel, 1);
    ASSERT_TRUE(channel->StartVideoDecoder());
    EXPECT_TRUE(channel->StartVideoDecoder());  // already playing: the same thread
    EXPECT_EQ(VelqChn_IsVideoPlaying(channel), 1);
    ASSERT_TRUE(bound.window.WaitShown(4));

    EXPECT_EQ(channel->video_width.load(), 352);
    EXPECT_EQ(channel->video_height.load(), 288);
    EXPECT_EQ(channel->frames_shown.load(), 4);

    const std::u16string first16(first.begin(), first.end()), second16(second.begin(), second.end());
    EXPECT_EQ(VelqChn_Snapshot(channel, first16.c_str()), 1);
    EXPECT_EQ(VelqChn_Snapshot(channel, second16.c_str()), 1);
    VelqChn_Refresh(channel);
    ASSERT_TRUE(WaitUntil([&] { return channel->snapshot.pending.load() == 0; }, kVideoWait));

    VelqChn_VideoStop(channel);  // the file is complete once the thread is gone
    EXPECT_TRUE(std::filesystem::exists(first + "-2020-01-02-03-04-05.bmp"));
    EXPECT_FALSE(std::filesystem::exists(second + "-2020-01-02-03-04-05.bmp"));
    EXPECT_EQ(VelqChn_IsVideoPlaying(channel), 0);
    EXPECT_EQ(channel->video_buffer.Mode(), 0u);
    const int before = bound.window.calls();
    VelqChn_Refresh(channel);  // stopped: the caller presents the last picture itself
    EXPECT_EQ(bound.window.calls(), before + 1);
    std::filesystem::remove_all(dir);
}

TEST(VideoChannel, TheOverlayShowsTheChannelsFigures) {
    BoundChannel bound;
    AppChannel* channel = bound.channel;
    channel->frame_rate = 25;
    channel->video_rate = 512;
    bound.device->audio_frames_queued = 3;
    bound.device->audio_bytes_queued = 4096;
    const OverlayFigures figures = channel->Figures();
    EXPECT_EQ(figures.frames_per_period, 25);
    EXPECT_EQ(figures.video_kbps, 512);
    EXPECT_EQ(figures.audio_frames_queued, 3);
    EXPECT_EQ(figures.audio_bytes_queued, 4096);
    EXPECT_EQ(channel->StatisticsFont(), &bound.session.overlay_font);
}

}  // namespace
}  // namespace corvel
