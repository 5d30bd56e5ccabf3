// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "corvel/corvel.h"
#include "platform/sound_wav_file.h"
#include "session/channel.h"
#include "session/session.h"
#include "test_wait.h"
#include "test_window.h"

namespace {

using corvel::test::ScopedEnv;
using corvel::test::TestWindow;

using corvel::test::WaitUntil;

struct ChannelSound {
    explicit ChannelSound(const std::string& output = "null")
        : out_env("CORVEL_SOUND_OUT", output), in_env("CORVEL_SOUND_IN", "null") {
        device = session.TakeDevice();
        device->BindNew(&session, "vehicle-7");
        for (int i = 0; i < 2; ++i) {
            channels[i] = session.TakeChannel();
            channels[i]->Bind(&session, device, i + 1, &window);
        }
    }
    ~ChannelSound() {
        for (AppChannel* channel : channels) channel->StopAll();
    }

    ScopedEnv out_env;
    ScopedEnv in_env;
    TestWindow window;
    AppSession session{&window, VELQ_MESSAGE};
    AppDevice* device = nullptr;
    AppChannel* channels[2] = {};
};

TEST(ChannelSoundTest, TalkingChannelsShareOneCaptureThatTheLastStopCloses) {
    ChannelSound sound;
    AppChannel& first = *sound.channels[0];
    AppChannel& second = *sound.channels[1];
    corvel::CMyTalkAudio& capture = sound.session.talk_audio();
    first.TalkStop();  // not talking: nothing
    EXPECT_FALSE(capture.HasThread());

    ASSERT_TRUE(first.TalkStart());
    ASSERT_TRUE(first.TalkStart()) << "starting twice is starting once";
    ASSERT_TRUE(second.TalkStart());
    EXPECT_EQ(capture.RegistrationCount(), 2u);
    EXPECT_TRUE(first.IsTalking());
    // The null microphone completes a block every 243 ms; both talk buffers get it.
    EXPECT_TRUE(WaitUntil(
        [&] { return first.talk_buffer.FrameCount() >= 2 && second.talk_buffer.FrameCount() >= 2; }));

    first.TalkStop();
    EXPECT_FALSE(first.IsTalking());
    EXPECT_TRUE(capture.HasThread()) << "the other channel still talks";
    EXPECT_TRUE(capture.IsDeviceOpen());
    second.TalkStop();
    EXPECT_FALSE(capture.HasThread());
    EXPECT_FALSE(capture.IsDeviceOpen());
    EXPECT_EQ(capture.RegistrationCount(), 0u);
}

TEST(ChannelSoundTest, AudioPlaysFromTheChannelBufferToTheNamedBackendUntilStopped) {
    const std::string path =
        (std::filesystem::temp_directory_path() / ("corvel_" + std::to_string(getpid()) + "_channel.wav"))
            .string();
    std::vector<uint8_t> first_frame(1024);
    {
        ChannelSound sound("wav:" + path);
        AppChannel& channel = *sound.channels[0];
        for (size_t i = 0; i < first_frame.size(); ++i) first_frame[i] = static_cast<uint8_t>(i * 13 + 1);
        // AudioPlay prepares the buffer, as the source start does; the frame goes in after it.
        ASSERT_TRUE(channel.AudioPlay());
        EXPECT_TRUE(channel.IsAudioPlaying());
        EXPECT_TRUE(channel.AudioPlay()) << "starting twice is starting once";
        corvel::FrameRecord cursor;
        channel.audio_buffer.GetWritePos(&cursor);
        std::memcpy(cursor.data, first_frame.data(), first_frame.size());
        cursor.size = 1024;
        cursor.type = corvel::kFramePcm;
        ASSERT_TRUE(channel.audio_buffer.Push(&cursor));
        EXPECT_TRUE(WaitUntil([&] { return channel.audio_buffer.FrameCount() <= 1; }));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        channel.StopAll();
        EXPECT_FALSE(channel.IsAudioPlaying());
        EXPECT_FALSE(channel.audio_player.HasPlayBuffer());
    }
    corvel::WavFileData played;
    std::string error;
    ASSERT_TRUE(corvel::ReadWavFile(path, &played, &error)) << error;
    std::vector<uint8_t> bytes(played.samples.size() * 2);
    std::memcpy(bytes.data(), played.samples.data(), bytes.size());
    ASSERT_GE(bytes.size(), 2048u) << "300 ms of play went to the file";
    // The frame arrived while the first blocks were being written: it plays whole within the first few.
    const auto end = bytes.begin() + static_cast<ptrdiff_t>(std::min<size_t>(bytes.size(), 6 * 1024));
    EXPECT_NE(std::search(bytes.begin(), end, first_frame.begin(), first_frame.end()), end);
    std::filesystem::remove(path);
}

}  // namespace
