// SPDX-License-Identifier: GPL-3.0-or-later
// Live channels end to end: the library's exports against the simulated platform.
#include <cstdlib>
#include <filesystem>

#include "media/avi_file.h"
#include "media_harness.h"
#include "session/channel.h"

namespace corvel::test {
namespace {

class LiveChannel : public MediaHarness {};

TEST_F(LiveChannel, VideoPlaysDecodesAndReportsItsStatistics) {
    StartPlatform();
    LoginAndList();
    AppDevice* device = Device("MDVR-10001");
    ASSERT_NE(device, nullptr);
    TestWindow& display = display_;
    AppChannel* channel = VelqDev_CreateChannel(device, 1, &display);
    ASSERT_NE(channel, nullptr);
    VelqChn_SetBufKeep(channel, 0);
    ASSERT_EQ(VelqChn_VideoPlay(channel), 1);
    EXPECT_EQ(VelqChn_VideoPlay(channel), 1);  // once is enough
    ASSERT_TRUE(window_.WaitFor(VELQ_EV_MEDIA_FIRST_FRAME, 10s));
    ASSERT_TRUE(WaitUntil([&] { return display.presented() >= 10; }));
    VelqChn_OnTimer(channel);  // closes the period that held the start
    std::this_thread::sleep_for(1s);
    VelqChn_OnTimer(channel);
    intptr_t value = 0;
    ASSERT_EQ(VelqChn_GetChnInfo(channel, VELQ_CHN_FRAMES, &value), 4);
    EXPECT_GE(value, 15);  // 25 frames/s, with slack for a loaded machine
    EXPECT_LE(value, 30);
    ASSERT_EQ(VelqChn_GetChnInfo(channel, VELQ_CHN_KBPS, &value), 4);
    EXPECT_GT(value, 0);
    ASSERT_EQ(VelqChn_GetChnInfo(channel, VELQ_CHN_WIDTH, &value), 4);
    EXPECT_EQ(value, 352);
    ASSERT_EQ(VelqChn_GetChnInfo(channel, VELQ_CHN_HEIGHT, &value), 4);
    EXPECT_EQ(value, 288);
    ASSERT_EQ(VelqChn_GetChnInfo(channel, VELQ_CHN_VIDEO, &value), 4);
    EXPECT_EQ(value, 1);
    EXPECT_EQ(CountFor(VELQ_EV_MEDIA_FIRST_FRAME, channel), 1u);
    EXPECT_EQ(CountFor(VELQ_EV_MEDIA_ROUTE, channel), 1u);
    VelqChn_VideoStop(channel);
    EXPECT_EQ(VelqChn_IsVideoPlaying(channel), 0);
    EXPECT_EQ(VelqChn_IsVSourceRunning(channel), 0);
    VelqChn_Release(channel);
}

TEST_F(LiveChannel, AReleasedChannelNeverPresentsIntoItsWindowAgain) {
    StartPlatform();
    LoginAndList();
    AppDevice* device = Device("MDVR-10001");
    ASSERT_NE(device, nullptr);
    AppChannel* first = VelqDev_CreateChannel(device, 1, &display_);
    ASSERT_NE(first, nullptr);
    VelqChn_SetBufKeep(first, 0);
    ASSERT_EQ(VelqChn_VideoPlay(first), 1);
    ASSERT_TRUE(WaitUntil([&] { return display_.presented() >= 10; }));
    VelqChn_Release(first);
    const int released_at = display_.presented();

    // The pool hands the same channel out again, now for another window: neither a refresh before its
    // first picture nor its video may show the old channel's last picture in the released window.
    TestWindow other;
    AppChannel* second = VelqDev_CreateChannel(device, 1, &other);
    ASSERT_NE(second, nullptr);
    VelqChn_Refresh(second);
    ASSERT_EQ(VelqChn_VideoPlay(second), 1);
    ASSERT_TRUE(WaitUntil([&] { return other.presented() >= 10; }));
    VelqChn_Release(second);
    EXPECT_EQ(display_.presented(), released_at);
}

TEST_F(LiveChannel, TwoChannelsOfADeviceBothReportTheDevicesWholeAudioRate) {
    StartPlatform();
    LoginAndList();
    AppDevice* device = Device("MDVR-10002");
    TestWindow& display = display_;
    AppChannel* first = VelqDev_CreateChannel(device, 1, &display);
    AppChannel* second = VelqDev_CreateChannel(device, 2, &display);
    ASSERT_EQ(VelqChn_ASourceStart(first), 1);
    ASSERT_EQ(VelqChn_ASourceStart(second), 1);
    ASSERT_TRUE(WaitUntil([&] { return device->audio_byte_total.load() > 0; }));
    VelqChn_OnTimer(first);
    VelqChn_OnTimer(second);
    std::this_thread::sleep_for(1500ms);
    const int rate_first = VelqChn_OnTimer(first);
    const int rate_second = VelqChn_OnTimer(second);
    EXPECT_GT(rate_first, 0);
    EXPECT_EQ(rate_first, rate_second);  // the same device total over the same period
    // Two streams of G.726-32 in protected groups: about 2 × 2 × 1032 bytes per 480 ms ≈ 67 kbit/s.
    EXPECT_GT(rate_first, 20);
    EXPECT_LT(rate_first, 200);
}

TEST_F(LiveChannel, DroppedStreamReconnectsAndAnnouncesItsFirstFrameAgain) {
    auto transfer = QuietTransfer();
    transfer.faults.drop_after_packets = 30;
    StartPlatform(transfer);
    LoginAndList();
    TestWindow& display = display_;
    AppChannel* channel = VelqDev_CreateChannel(Device("MDVR-10003"), 1, &display);
    ASSERT_EQ(VelqChn_VideoPlay(channel), 1);
    ASSERT_TRUE(WaitUntil([&] { return CountFor(VELQ_EV_MEDIA_FIRST_FRAME, channel) >= 2; }));
    const auto codes = window_.Codes();
    std::vector<uintptr_t> media;
    for (uintptr_t code : codes) {
        if (code >= VELQ_EV_MEDIA_FAILED && code <= VELQ_EV_MEDIA_REFUSED) media.push_back(code);
    }
    const std::vector<uintptr_t> expected = {VELQ_EV_MEDIA_ROUTE,       VELQ_EV_MEDIA_FIRST_FRAME,
                                             VELQ_EV_MEDIA_RECV_FAILED, VELQ_EV_MEDIA_FAILED,
                                             VELQ_EV_MEDIA_ROUTE,       VELQ_EV_MEDIA_FIRST_FRAME};
    ASSERT_GE(media.size(), expected.size());
    EXPECT_EQ(std::vector<uintptr_t>(media.begin(), media.begin() + 6), expected);
}

TEST_F(LiveChannel, RefusedStreamPosts196Then192) {
    auto transfer = QuietTransfer();
    transfer.faults.refuse_streams = true;
    StartPlatform(transfer);
    LoginAndList();
    TestWindow& display = display_;
    AppChannel* channel = VelqDev_CreateChannel(Device("MDVR-10001"), 2, &display);
    ASSERT_EQ(VelqChn_VideoPlay(channel), 1);  // the source runs and keeps asking
    ASSERT_TRUE(WaitUntil([&] { return CountFor(VELQ_EV_MEDIA_FAILED, channel) >= 2; }));
    std::vector<uintptr_t> media;
    for (uintptr_t code : window_.Codes()) {
        if (code >= VELQ_EV_MEDIA_FAILED && code <= VELQ_EV_MEDIA_REFUSED) media.push_back(code);
    }
    const std::vector<uintptr_t> expected = {VELQ_EV_MEDIA_ROUTE,   VELQ_EV_MEDIA_REFUSED,
                                             VELQ_EV_MEDIA_FAILED,  VELQ_EV_MEDIA_ROUTE,
                                             VELQ_EV_MEDIA_REFUSED, VELQ_EV_MEDIA_FAILED};
    EXPECT_EQ(std::vector<uintptr_t>(media.begin(), media.begin() + 6), expected);
    EXPECT_EQ(display.presented(), 0);
}

TEST_F(LiveChannel, SequenceGapsDropPredictedFramesUntilTheNextKeyFrame) {
    auto transfer = QuietTransfer();
    transfer.faults.skip_sequence_every = 40;  // inside every other group of pictures
    StartPlatform(transfer);
    LoginAndList();
    TestWindow& display = display_;
    AppChannel* channel = VelqDev_CreateChannel(Device("MDVR-10004"), 1, &display);
    VelqChn_SetBufKeep(channel, 0);
    ASSERT_EQ(VelqChn_VideoPlay(channel), 1);
    ASSERT_TRUE(WaitUntil([&] { return display.presented() >= 60; }, 15s));
    // The predicted frames after each gap are dropped (the unit tests of the transfer count them); the
    // stream itself stays up and keeps showing pictures.
    VelqChn_VideoStop(channel);
    EXPECT_EQ(platform_->transfer().streams_accepted(), 1u);
    EXPECT_EQ(CountFor(VELQ_EV_MEDIA_RECV_FAILED, channel), 0u);
    EXPECT_EQ(CountFor(VELQ_EV_MEDIA_FIRST_FRAME, channel), 1u);
}

TEST_F(LiveChannel, LogoutWithChannelsOpenStopsAndPoolsEverything) {
    StartPlatform();
    LoginAndList();
    TestWindow& display = display_;
    AppDevice* device = Device("MDVR-10001");
    AppChannel* video = VelqDev_CreateChannel(device, 1, &display);
    AppChannel* audio = VelqDev_CreateChannel(device, 2, &display);
    ASSERT_EQ(VelqChn_VideoPlay(video), 1);
    ASSERT_EQ(VelqChn_ASourceStart(audio), 1);
    ASSERT_TRUE(window_.WaitFor(VELQ_EV_MEDIA_FIRST_FRAME, 10s));
    VelqApp_Logout(session_.get());
    EXPECT_FALSE(video->IsVideoPlaying());
    EXPECT_FALSE(video->IsVSourceRunning());
    EXPECT_FALSE(audio->IsASourceRunning());
    EXPECT_EQ(session_->DeviceCount(), 0u);
    EXPECT_EQ(session_->channel_pool().free_count(), 2u);
    EXPECT_GE(session_->device_pool().free_count(), platform_->center().fleet().size());
}

TEST_F(LiveChannel, RepeatedLoginPlayLogoutCyclesReuseThePools) {
    StartPlatform();
    session_ = std::make_unique<AppSession>(&window_, VELQ_MESSAGE);
    CenterTiming timing;
    timing.retry_pause_ms = 200;
    session_->set_center_timing(timing);
    VelqApp_SetCenterServer(session_.get(), "127.0.0.1", platform_->center().tcp_port(),
                            platform_->center().udp_port());
    TestWindow& display = display_;
    for (int cycle = 0; cycle < 20; ++cycle) {
        window_.Clear();
        ASSERT_EQ(VelqApp_Login(session_.get(), "orvi", "480913"), 1);
        ASSERT_TRUE(window_.WaitFor(VELQ_EV_LOGIN_OK, 5s));
        ASSERT_EQ(VelqApp_ShowAllDevice(session_.get()), 1);
        ASSERT_TRUE(WaitUntil([&] { return session_->FindDevice("MDVR-10001") != nullptr; }));
        AppChannel* channel =
            VelqDev_CreateChannel(session_->FindDevice("MDVR-10001"), 1 + cycle % 4, &display);
        ASSERT_EQ(VelqChn_VideoPlay(channel), 1);
        ASSERT_EQ(VelqChn_AudioPlay(channel), 1);
        if (cycle % 5 == 0) {
            ASSERT_TRUE(window_.WaitFor(VELQ_EV_MEDIA_FIRST_FRAME, 10s));
        }
        VelqApp_Logout(session_.get());
    }
    // Objects are reused, not made anew every cycle.
    EXPECT_LE(session_->channel_pool().total_count(), 2u);
    EXPECT_LE(session_->device_pool().total_count(), platform_->center().fleet().size() + 2);
}

}  // namespace
}  // namespace corvel::test
