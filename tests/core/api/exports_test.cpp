// SPDX-License-Identifier: GPL-3.0-or-later
// The exports as a caller sees them before any login.
#include <cstring>

#include <gtest/gtest.h>

#include "corvel/corvel.h"
#include "session/channel.h"
#include "session/session.h"
#include "test_window.h"

namespace {

using corvel::test::TestWindow;

TEST(Exports, VersionIsV103AsLittleEndianInteger) {
    EXPECT_EQ(VelqApp_GetVersion(), 858796374);
    const int version = VelqApp_GetVersion();
    char text[5] = {};
    std::memcpy(text, &version, 4);
    EXPECT_STREQ(text, "V103");
}

TEST(Exports, ConstructDestructAndNullDestruct) {
    TestWindow window;
    AppSession* session = VelqApp_Construct(&window, VELQ_MESSAGE);
    ASSERT_NE(session, nullptr);
    EXPECT_EQ(VelqApp_IsActive(session), 0);
    EXPECT_EQ(VelqApp_SetCenterServer(session, "127.0.0.1", 24680, 24681), 1);
    EXPECT_STREQ(session->server_host, "127.0.0.1");
    EXPECT_EQ(session->tcp_port, 24680);
    EXPECT_EQ(session->udp_port, 24681);
    const std::string long_host(300, 'h');
    EXPECT_EQ(VelqApp_SetCenterServer(session, long_host.c_str(), 1, 2), 1);
    EXPECT_EQ(std::strlen(session->server_host), 259u);
    VelqApp_Destruct(session);
    VelqApp_Destruct(nullptr);
    EXPECT_TRUE(window.Events().empty());
}

TEST(Exports, EverySessionCallThatNeedsALoginAnswersNotLoggedIn) {
    TestWindow window;
    AppSession* session = VelqApp_Construct(&window, VELQ_MESSAGE);
    EXPECT_EQ(VelqApp_ShowAllDevice(session), 0);
    EXPECT_EQ(VelqApp_CreateDevice(session, "bus-1"), nullptr);
    EXPECT_EQ(VelqOpt_QueryAllDevice(session), 0);
    EXPECT_EQ(VelqApp_Logout(session), 1);  // harmless when not logged in
    VelqApp_Destruct(session);
}

// Devices and channels exist only while logged in; the test makes them the way the library does, then
// logs the session "out" to see each export's not-logged-in answer.
class NotLoggedInObjects : public ::testing::Test {
  protected:
    void SetUp() override {
        session = VelqApp_Construct(&window, VELQ_MESSAGE);
        device = session->TakeDevice();
        device->BindNew(session, "bus-9");
        device->state = kDevicePresent;
        device->record.set_channel_count(4);
        channel = session->TakeChannel();
        channel->Bind(session, device, 1, &window);
    }
    void TearDown() override { VelqApp_Destruct(session); }
    TestWindow window;
    AppSession* session = nullptr;
    AppDevice* device = nullptr;
    AppChannel* channel = nullptr;
};

TEST_F(NotLoggedInObjects, DeviceCallsAnswerTheirNotLoggedInResult) {
    char buffer[64];
    EXPECT_EQ(VelqDev_GetDevInfo(device, VELQ_DEV_ID, buffer, sizeof(buffer)), -1);
    EXPECT_EQ(VelqDev_SetDevInfo(device, VELQ_DEV_TEXT1, "x", 2), 0);
    EXPECT_EQ(VelqDev_CreateChannel(device, 1, &window), nullptr);
    EXPECT_EQ(VelqDev_GPSPlay(device), 0);
    EXPECT_EQ(VelqOpt_QueryControl(device, VELQ_CTL_GET_QUALITY, 1, 0, 0), 0);
    // User data needs no login and is exchanged.
    EXPECT_EQ(VelqDev_SetUserData(device, 7), 0);
    EXPECT_EQ(VelqDev_SetUserData(device, 8), 7);
    EXPECT_EQ(VelqDev_GetUserData(device), 8);
    // A registered device is not given back by VelqDev_Release.
    VelqDev_Release(device);
    EXPECT_EQ(session->device_pool().free_count(), 0u);
}

TEST_F(NotLoggedInObjects, QueryModifyOfAnUnlistedDeviceGivesItBack) {
    AppDevice* fresh = session->TakeDevice();
    fresh->BindNew(session, "new-bus");
    EXPECT_EQ(VelqOpt_QueryModify(fresh), 0);
    EXPECT_EQ(session->TakeDevice(), fresh);
}

TEST_F(NotLoggedInObjects, ChannelCallsAnswerTheirNotLoggedInResult) {
    intptr_t value = 123;
    EXPECT_EQ(VelqChn_GetChnInfo(channel, VELQ_CHN_NUMBER, &value), -1);
    EXPECT_EQ(value, 123);
    EXPECT_EQ(VelqChn_VideoPlay(channel), 0);
    EXPECT_EQ(VelqChn_VSourceStart(channel), 0);
    EXPECT_EQ(VelqChn_AudioPlay(channel), 0);
    EXPECT_EQ(VelqChn_ASourceStart(channel), 0);
    EXPECT_EQ(VelqChn_TalkStart(channel), 0);
    EXPECT_EQ(VelqChn_RecordStart(channel, u"/tmp/x.avi", 0), 0);
    EXPECT_EQ(VelqChn_IsRecording(channel), 0);
    EXPECT_EQ(VelqChn_Snapshot(channel, u"/tmp/x.bmp"), 0);
    EXPECT_EQ(VelqChn_IsVideoPlaying(channel), 0);
    EXPECT_EQ(VelqChn_IsAudioPlaying(channel), 0);
    EXPECT_EQ(VelqChn_IsTalking(channel), 0);
    // Release needs a login: the channel stays on its device.
    VelqChn_Release(channel);
    EXPECT_EQ(device->channels.size(), 1u);
}

TEST_F(NotLoggedInObjects, DisplaySettingsReturnOldAndNewPacked) {
    EXPECT_EQ(VelqChn_SetBkColor(channel, 0x00112233u), 0x0011223300000000ull);
    EXPECT_EQ(VelqChn_SetBkColor(channel, 0x00FF0000u), 0x00FF000000112233ull);
    EXPECT_EQ(VelqChn_ShowVerbose(channel, 1), 0x100000000ull);
    EXPECT_EQ(VelqChn_ShowVerbose(channel, 0), 1ull);
    EXPECT_EQ(VelqChn_SetBufKeep(channel, 5), 5ull << 32 | 3);  // the decoder starts with a target of 3
}

TEST_F(NotLoggedInObjects, TimerSplitsTheDeviceAudioRateOverEveryChannel) {
    AppChannel* second = session->TakeChannel();
    second->Bind(session, device, 2, &window);
    device->audio_byte_total += 2048;
    channel->video_transfer.CountPacket(4096 - 36);
    channel->frames_shown += 25;
    EXPECT_EQ(VelqChn_OnTimer(channel), 16);  // 2048 * 8 / 1024
    EXPECT_EQ(VelqChn_OnTimer(second), 16);   // each channel reports the device's whole audio
    EXPECT_EQ(channel->total_rate, 32 + 16);
    EXPECT_EQ(channel->frame_rate, 25);
    EXPECT_EQ(VelqChn_OnTimer(channel), 0);  // counters were drained
    EXPECT_EQ(channel->frame_rate, 0);
}

TEST_F(NotLoggedInObjects, TimerFiguresOfLargeCountsNeitherWrapNorOverflow) {
    // Three packets of 2 GiB: past 4 GiB a 32-bit count wraps, past 256 MiB a 32-bit count times 8 does.
    for (int i = 0; i < 3; ++i) channel->video_transfer.CountPacket(0x7FFFFFFFu);
    device->audio_byte_total += uint64_t{5} << 30;
    EXPECT_EQ(VelqChn_OnTimer(channel), 5 << 23);  // 5 GiB * 8 / 1024
    const int64_t video_kbps = 3 * (int64_t{0x7FFFFFFF} + 36) / 128;
    EXPECT_EQ(channel->video_rate, video_kbps);
    EXPECT_EQ(channel->total_rate, video_kbps + (5 << 23));
    // A count beyond what the figure can hold gives the largest figure.
    device->audio_byte_total += uint64_t{1} << 40;
    EXPECT_EQ(VelqChn_OnTimer(channel), INT32_MAX);
    EXPECT_EQ(channel->total_rate, INT32_MAX);
}

TEST(Exports, ChannelNumbersThatDoNotFitTheWireAreRefused) {
    TestWindow window;
    AppSession* session = VelqApp_Construct(&window, VELQ_MESSAGE);
    // Logged in to a port where nobody listens: the services retry, the exports work.
    ASSERT_EQ(VelqApp_SetCenterServer(session, "127.0.0.1", 1, 1), 1);
    ASSERT_EQ(VelqApp_Login(session, "user", "password"), 1);
    AppDevice* device = VelqApp_CreateDevice(session, "bus-1");
    device->state = kDevicePresent;
    EXPECT_EQ(VelqDev_CreateChannel(device, 256, &window), nullptr);
    EXPECT_EQ(VelqDev_CreateChannel(device, 1000, &window), nullptr);
    EXPECT_EQ(VelqDev_CreateChannel(device, -1, &window), nullptr);
    AppChannel* last = VelqDev_CreateChannel(device, 255, &window);
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(device->channels.size(), 1u);
    VelqChn_Release(last);
    device->state = kDeviceUnlisted;
    VelqDev_Release(device);
    VelqApp_Logout(session);
    VelqApp_Destruct(session);
}

TEST(Operations, AccessorsReadTheControlReplyAndOnlyForTheirKinds) {
    TestWindow window;
    AppSession* session = VelqApp_Construct(&window, VELQ_MESSAGE);
    AppOperation* op = session->TakeOperation();
    op->kind = VELQ_OP_ADD_DEVICE;
    int channel = -5, value = -5, value2 = -5;
    EXPECT_EQ(VelqOpt_GetControlResult(op, &channel, &value, &value2), 0);
    EXPECT_EQ(channel, -5);
    EXPECT_EQ(VelqOpt_GetGPSResult(op), nullptr);
    op->kind = VELQ_CTL_SET_QUALITY;
    op->data[72] = 3;
    op->data[76] = 0x10;
    op->data[77] = 0x01;
    op->data[80] = 0xFF;
    op->data[81] = 0xFF;
    op->data[82] = 0xFF;
    op->data[83] = 0xFF;
    EXPECT_EQ(VelqOpt_GetControlResult(op, &channel, &value, nullptr), 1);
    EXPECT_EQ(channel, 3);
    EXPECT_EQ(value, 0x110);
    EXPECT_EQ(VelqOpt_GetControlResult(op, nullptr, nullptr, &value2), 1);
    EXPECT_EQ(value2, -1);
    EXPECT_EQ(VelqOpt_GetType(op), VELQ_CTL_SET_QUALITY);
    op->kind = VELQ_OP_POSITION;
    EXPECT_EQ(VelqOpt_GetGPSResult(op), op->data);
    VelqOpt_Release(session, op);
    EXPECT_EQ(session->TakeOperation(), op);
    VelqApp_Destruct(session);
}

}  // namespace
