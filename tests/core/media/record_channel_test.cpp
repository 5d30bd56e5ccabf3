// SPDX-License-Identifier: GPL-3.0-or-later
// The channel's recording switch around its embedded recorder.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "avi_probe.h"
#include "corvel/corvel.h"
#include "record_rig.h"
#include "session/channel.h"
#include "session/device.h"
#include "session/session.h"
#include "test_window.h"

namespace corvel {
namespace {

class RecordChannel : public ::testing::Test {
  protected:
    void SetUp() override {
        session = VelqApp_Construct(&window, VELQ_MESSAGE);
        device = session->TakeDevice();
        device->BindNew(session, "bus-3");
        channel = session->TakeChannel();
        channel->Bind(session, device, 2, &window);
        frames = test::TestStream(176, 144, 30, 25);
    }
    void TearDown() override { VelqApp_Destruct(session); }

    // What the video transfer does for a kept frame.
    void Feed(size_t from, size_t to) {
        for (size_t i = from; i < to; ++i) {
            if (channel->recording.load() == 0) continue;
            FrameRecord record;
            record.data = frames[i].bytes.data();
            record.size = static_cast<uint32_t>(frames[i].bytes.size());
            record.type = frames[i].key ? IVOP : PVOP;
            record.time = 1600000000;
            channel->recorder.RecordVideoFrame(record, RecordFrameHeader{1600000000, 1, 25});
        }
    }

    test::TestWindow window;
    test::TempDir dir;
    AppSession* session = nullptr;
    AppDevice* device = nullptr;
    AppChannel* channel = nullptr;
    std::vector<test::EncodedFrame> frames;
};

TEST_F(RecordChannel, StopCountsOffAndClosesTheFileWithItsIndex) {
    const std::string path = dir / "chn.avi";
    const std::u16string path16(path.begin(), path.end());
    ASSERT_TRUE(channel->RecordStart(path16.c_str(), 0));
    EXPECT_TRUE(channel->RecordStart(u"/elsewhere.avi", 5));  // already recording: nothing changes
    EXPECT_EQ(device->recording_count.load(), 1);
    EXPECT_EQ(VelqChn_IsRecording(channel), 1);
    Feed(0, 20);
    EXPECT_TRUE(channel->recorder.HasOpenFile());

    EXPECT_EQ(VelqChn_RecordStop(channel), 1);
    EXPECT_EQ(VelqChn_IsRecording(channel), 0);
    EXPECT_EQ(device->recording_count.load(), 0);
    EXPECT_FALSE(channel->recorder.HasOpenFile());
    VelqChn_RecordStop(channel);  // not recording: nothing happens
    EXPECT_EQ(device->recording_count.load(), 0);

    // Closed, not abandoned: the index is there and the header holds the sample count.
    bool indexed = false;
    for (const auto& chunk : test::WalkRiff(test::ReadWholeFile(path))) indexed |= chunk.fourcc == "idx1";
    EXPECT_TRUE(indexed);
    EXPECT_EQ(test::VideoOf(path), test::Bytes(frames, 0, 20));
    // Frames after the stop go nowhere.
    Feed(20, 30);
    EXPECT_EQ(test::FilesIn(dir.path()), std::vector<std::string>{"chn.avi"});
}

TEST_F(RecordChannel, StoppingTheChannelEndsItsRecording) {
    const std::string path = dir / "all.avi";
    const std::u16string path16(path.begin(), path.end());
    ASSERT_TRUE(channel->RecordStart(path16.c_str(), 0));
    Feed(0, 30);
    channel->StopAll();
    EXPECT_EQ(device->recording_count.load(), 0);
    EXPECT_FALSE(channel->recorder.HasOpenFile());
    EXPECT_EQ(test::VideoOf(path).size(), 30u);
}

// Audio received on any channel of a device goes into the open file of every recording channel of it,
// and only there.
TEST_F(RecordChannel, DeviceAudioReachesEveryChannelWithAFileOpen) {
    AppChannel* other = session->TakeChannel();
    other->Bind(session, device, 3, &window);
    AppChannel* idle = session->TakeChannel();
    idle->Bind(session, device, 4, &window);
    const std::string first = dir / "c2.avi", second = dir / "c3.avi";
    const std::u16string first16(first.begin(), first.end()), second16(second.begin(), second.end());
    ASSERT_TRUE(channel->RecordStart(first16.c_str(), 0));
    ASSERT_TRUE(other->RecordStart(second16.c_str(), 0));
    const auto early = test::Pcm(640, 1);
    RecordDeviceAudio(device, early.data(), 640);  // no key frame yet: no file takes it
    Feed(0, 5);                                    // only this channel has video, so only it opens a file
    const auto pcm = test::Pcm(640, 2);
    RecordDeviceAudio(device, pcm.data(), 640);
    EXPECT_EQ(channel->recorder.bytes_written() - test::VideoBytes(frames, 0, 5), 640u);
    EXPECT_EQ(other->recorder.bytes_written(), 0u);
    EXPECT_EQ(idle->recorder.bytes_written(), 0u);
    channel->RecordStop();
    other->RecordStop();
    CAviFile avi;
    ASSERT_TRUE(avi.Open(first));
    EXPECT_EQ(test::ReadAllAudio(avi, 4096), pcm);
    EXPECT_EQ(test::FilesIn(dir.path()), std::vector<std::string>{"c2.avi"});
}

// A write that hangs on a slow disk (here: the recorder's lock held, as a write in progress holds it)
// must not hold the device's channel list: the client thread creates and releases channels meanwhile.
TEST_F(RecordChannel, SlowAudioWriteDoesNotHoldTheDevicesChannelList) {
    const std::string path = dir / "slow.avi";
    const std::u16string path16(path.begin(), path.end());
    ASSERT_TRUE(channel->RecordStart(path16.c_str(), 0));
    Feed(0, 5);
    ASSERT_TRUE(channel->recorder.HasOpenFile());
    long_lock& write_in_progress = channel->recorder;
    write_in_progress.lock();
    const auto pcm = test::Pcm(640, 3);
    std::thread audio([&] { RecordDeviceAudio(device, pcm.data(), 640); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the audio thread now waits on the disk
    auto created = std::async(std::launch::async, [&] {
        AppChannel* added = session->TakeChannel();
        added->Bind(session, device, 3, &window);
        return added;
    });
    const bool in_time = created.wait_for(std::chrono::seconds(2)) == std::future_status::ready;
    write_in_progress.unlock();
    audio.join();
    EXPECT_TRUE(in_time);
    created.get();
    EXPECT_EQ(channel->audio_writers.load(), 0);
    EXPECT_EQ(channel->recorder.bytes_written() - test::VideoBytes(frames, 0, 5), 640u);  // it still arrived
    channel->RecordStop();
}

}  // namespace
}  // namespace corvel
