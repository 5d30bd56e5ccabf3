// SPDX-License-Identifier: GPL-3.0-or-later
// Recording, snapshots, lossy audio and the talk uplink end to end against the simulated platform.
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "audio_source.h"
#include "base/le.h"
#include "media/audio_codec.h"
#include "media/avi_file.h"
#include "media/frame_buffer.h"
#include "media_harness.h"
#include "platform/sound_wav_file.h"
#include "session/channel.h"
#include "test_wait.h"

namespace corvel::test {
namespace {

namespace fs = std::filesystem;

class RecordAndAudio : public MediaHarness {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("corvel-e2e-" + std::to_string(getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override {
        MediaHarness::TearDown();
        fs::remove_all(dir_);
    }
    std::u16string Path16(const std::string& name) {
        const std::string path = (dir_ / name).string();
        return std::u16string(path.begin(), path.end());
    }
    std::vector<fs::path> Files(const std::string& extension) {
        std::vector<fs::path> files;
        for (const auto& entry : fs::directory_iterator(dir_)) {
            if (entry.path().extension() == extension) files.push_back(entry.path());
        }
        std::sort(files.begin(), files.end());
        return files;
    }
    static std::vector<uint8_t> ReadAllAudio(const fs::path& file, uint32_t* video_samples) {
        CAviFile avi;
        std::vector<uint8_t> audio;
        if (!avi.Open(file.string())) return audio;
        std::vector<uint8_t> buffer(1 << 20);
        uint32_t size = static_cast<uint32_t>(buffer.size());
        *video_samples = 0;
        while (avi.ReadVideo(buffer.data(), &size)) {
            ++*video_samples;
            size = static_cast<uint32_t>(buffer.size());
        }
        size = static_cast<uint32_t>(buffer.size());
        while (avi.ReadAudio(buffer.data(), &size)) {
            audio.insert(audio.end(), buffer.begin(), buffer.begin() + size);
            size = static_cast<uint32_t>(buffer.size());
        }
        avi.Close();
        return audio;
    }
    fs::path dir_;
};

TEST_F(RecordAndAudio, LossyProtectedAudioRecordsBitExactWhereverAGroupCouldBeRebuilt) {
    auto transfer = QuietTransfer();
    transfer.audio_loss = 0.25;
    StartPlatform(transfer);
    const std::string played = (dir_ / "played.wav").string();
    ScopedEnv out("CORVEL_SOUND_OUT", "wav:" + played);
    LoginAndList();
    AppDevice* device = Device("MDVR-10003");  // mu-law: every packet decodes alone
    AppChannel* channel = VelqDev_CreateChannel(device, 1, nullptr);
    ASSERT_NE(channel, nullptr);
    // Recorded without being shown: only the sources run, and the player.
    ASSERT_EQ(VelqChn_VSourceStart(channel), 1);
    ASSERT_EQ(VelqChn_AudioPlay(channel), 1);
    ASSERT_EQ(VelqChn_RecordStart(channel, Path16("lossy.avi").c_str(), 0), 1);
    ASSERT_TRUE(WaitUntil([&] { return platform_->transfer().audio_packets_sent() > 120; }, 30s));
    VelqChn_RecordStop(channel);
    VelqChn_AudioStop(channel);
    VelqChn_VSourceStop(channel);
    EXPECT_GT(platform_->transfer().audio_packets_lost(), 10u);

    uint32_t video_samples = 0;
    const std::vector<uint8_t> recorded = ReadAllAudio(dir_ / "lossy.avi", &video_samples);
    EXPECT_GT(video_samples, 25u);
    ASSERT_GE(recorded.size(), 10u * 1920);
    ASSERT_EQ(recorded.size() % 1920, 0u);  // whole packets of 960 mu-law codes

    // The vehicle's microphone, regenerated: the simulator seeds channel n's source with its seed + n.
    velq_sim::AudioSource source(5, transfer.seed + 1);
    std::vector<std::vector<uint8_t>> sent;
    for (int i = 0; i < 4000; ++i) {
        uint8_t coded[960];
        source.NextPacket(coded);
        AudioCodecState state;
        std::vector<uint8_t> pcm(1920);
        int32_t room = 1920;
        DecodeAudio(kFrameUlaw, 960, &state, pcm.data(), &room, coded, 0);
        sent.push_back(std::move(pcm));
    }
    // Every recorded packet is one the vehicle sent, bit for bit and in order; groups lost beyond
    // repair leave gaps, rebuilt ones none.
    size_t next = 0, matched = 0, first = 0;
    for (size_t offset = 0; offset < recorded.size(); offset += 1920) {
        const uint8_t* packet = recorded.data() + offset;
        while (next < sent.size() && std::memcmp(sent[next].data(), packet, 1920) != 0) ++next;
        ASSERT_LT(next, sent.size()) << "recorded packet " << offset / 1920 << " was never sent";
        if (matched++ == 0) first = next;
        ++next;
    }
    const size_t span = next - first;
    // A group is lost beyond repair when 3 or 4 of its 4 packets are: about 5 % at 25 % loss.
    EXPECT_GT(matched, span * 80 / 100) << matched << " of " << span;
    EXPECT_LT(matched, span) << "some group should have been lost at 25 % loss";

    // The player got the same audio: recorded packets, sampled across the recording, stand in the played
    // file. Playing is real time, so a late audio thread may skip a block on a loaded machine and split the
    // packet that straddles it; most sampled packets must still be there whole.
    WavFileData wav;
    std::string error;
    ASSERT_TRUE(ReadWavFile(played, &wav, &error)) << error;
    const auto* played_bytes = reinterpret_cast<const uint8_t*>(wav.samples.data());
    const std::vector<uint8_t> played_all(played_bytes, played_bytes + wav.samples.size() * 2);
    // The last packets recorded may still have been queued for the player when it stopped.
    const size_t packets = recorded.size() / 1920 - 8;
    size_t sampled = 0, heard = 0;
    for (size_t packet = 0; packet < packets; packet += std::max<size_t>(1, packets / 20)) {
        const auto at = recorded.begin() + std::ptrdiff_t(packet * 1920);
        ++sampled;
        if (std::search(played_all.begin(), played_all.end(), at, at + 1920) != played_all.end()) ++heard;
    }
    EXPECT_GE(heard * 10, sampled * 8) << heard << " of " << sampled << " sampled packets played";
}

TEST_F(RecordAndAudio, LiveRecordingSplitsAtKeyFramesAndSnapshotsTheShownPicture) {
    StartPlatform();
    LoginAndList();
    TestWindow& display = display_;
    AppChannel* channel = VelqDev_CreateChannel(Device("MDVR-10001"), 2, &display);
    ASSERT_EQ(VelqChn_VideoPlay(channel), 1);
    ASSERT_EQ(VelqChn_AudioPlay(channel), 1);
    ASSERT_EQ(VelqChn_RecordStart(channel, Path16("cam2.AVI").c_str(), 2), 1);
    EXPECT_EQ(VelqChn_RecordStart(channel, Path16("other.avi").c_str(), 2), 1);  // already recording
    ASSERT_TRUE(WaitUntil([&] { return display.presented() >= 5; }));
    ASSERT_EQ(VelqChn_Snapshot(channel, Path16("shot.bmp").c_str()), 1);
    ASSERT_TRUE(WaitUntil([&] { return !Files(".bmp").empty() && channel->snapshot.pending.load() == 0; }));
    // Files of two seconds each, named after their first frame: wait for the third to open.
    ASSERT_TRUE(WaitUntil([&] { return Files(".avi").size() >= 3; }, 20s));
    VelqChn_RecordStop(channel);
    intptr_t recording = 1;
    VelqChn_GetChnInfo(channel, VELQ_CHN_RECORDING, &recording);
    EXPECT_EQ(recording, 0);
    EXPECT_EQ(channel->device->recording_count.load(), 0);

    const auto shots = Files(".bmp");
    ASSERT_EQ(shots.size(), 1u);
    EXPECT_EQ(fs::file_size(shots[0]), 352u * 288 * 4 + 54);
    for (const auto& file : Files(".avi")) {
        EXPECT_EQ(file.filename().string().rfind("cam2-", 0), 0u) << file;
        uint32_t video_samples = 0;
        const auto audio = ReadAllAudio(file, &video_samples);
        EXPECT_GT(video_samples, 0u) << file;
    }
}

TEST_F(RecordAndAudio, TalkFromAWavMicrophoneReachesTheVehicleIntact) {
    StartPlatform();
    // The operator's microphone: the speech-like signal, captured at 7900 Hz as the capture asks for it.
    const std::string mic = (dir_ / "mic.wav").string();
    velq_sim::SpeechLikeSignal signal(3);
    std::vector<int16_t> voice(7900 * 6);
    for (auto& s : voice) s = signal.Next();
    {
        auto writer = WavFileWriter::Create(mic, SoundFormat{1, 1, 7900, 15800, 2, 16});
        ASSERT_TRUE(writer);
        ASSERT_TRUE(writer->Append(reinterpret_cast<const uint8_t*>(voice.data()), voice.size() * 2));
    }
    ScopedEnv in("CORVEL_SOUND_IN", "wav:" + mic);
    LoginAndList();
    AppChannel* channel = VelqDev_CreateChannel(Device("MDVR-10002"), 1, nullptr);
    ASSERT_EQ(VelqChn_TalkStart(channel), 1);
    EXPECT_EQ(VelqChn_IsTalking(channel), 1);
    std::this_thread::sleep_for(3s);
    VelqChn_TalkStop(channel);
    EXPECT_EQ(VelqChn_IsTalking(channel), 0);
    ASSERT_TRUE(WaitUntil([&] { return platform_->transfer().talk_pcm().size() > 8000; }));
    const std::vector<int16_t> heard = platform_->transfer().talk_pcm();

    // Where in the looped microphone the uplink starts is not known: find the best alignment of 1000
    // heard samples, then measure the signal-to-noise ratio over all that was heard.
    const size_t probe = 1000, from = 2000;
    ASSERT_GT(heard.size(), from + probe);
    size_t best_lag = 0;
    double best = -1e300;
    for (size_t lag = 0; lag + probe < voice.size(); ++lag) {
        double dot = 0;
        for (size_t i = 0; i < probe; ++i) dot += double(voice[lag + i]) * heard[from + i];
        if (dot > best) {
            best = dot;
            best_lag = lag;
        }
    }
    double signal_energy = 0, noise_energy = 0;
    for (size_t i = from; i < heard.size() && best_lag + (i - from) < voice.size(); ++i) {
        const double want = voice[best_lag + (i - from)];
        signal_energy += want * want;
        noise_energy += (want - heard[i]) * (want - heard[i]);
    }
    ASSERT_GT(noise_energy, 0);
    EXPECT_GT(10 * std::log10(signal_energy / noise_energy), 20.0);
}

TEST_F(RecordAndAudio, StreamsResumeAfterTheCenterServerComesBack) {
    StartPlatform();
    LoginAndList();
    TestWindow& display = display_;
    AppChannel* channel = VelqDev_CreateChannel(Device("MDVR-10004"), 1, &display);
    ASSERT_EQ(VelqChn_VideoPlay(channel), 1);
    ASSERT_TRUE(window_.WaitFor(VELQ_EV_MEDIA_FIRST_FRAME, 10s));
    // The whole platform goes away: the center connection and the stream break.
    const uint16_t tcp = platform_->center().tcp_port(), udp = platform_->center().udp_port();
    platform_->Stop();
    ASSERT_TRUE(window_.WaitFor(VELQ_EV_CONNECT_FAILED, 10s));
    ASSERT_TRUE(window_.WaitFor(VELQ_EV_MEDIA_FAILED, 10s));
    // ... and comes back on the same center ports.
    auto center = QuietCenter();
    center.tcp_port = tcp;
    center.udp_port = udp;
    platform_ = std::make_unique<velq_sim::SimPlatform>(center, QuietTransfer(), velq_sim::Fleet::Default());
    std::string error;
    ASSERT_TRUE(platform_->Start(&error)) << error;
    ASSERT_TRUE(window_.WaitFor(VELQ_EV_LOGIN_OK, 15s, 2));
    ASSERT_TRUE(WaitUntil([&] { return CountFor(VELQ_EV_MEDIA_FIRST_FRAME, channel) >= 2; }, 15s));
    const int before = display.presented();
    EXPECT_TRUE(WaitUntil([&] { return display.presented() > before + 5; }));
}

}  // namespace
}  // namespace corvel::test
