// SPDX-License-Identifier: GPL-3.0-or-later
// Listening and talking through the real backends (PortAudio over ALSA over a PulseAudio server of the
// test's own), end to end: velq and velq-sim as users run them, and the library in this process for a
// server that dies under a playing channel. Each test skips, saying why, where PulseAudio cannot start.
#include <fcntl.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "../center/velq_program.h"
#include "../media/media_harness.h"
#include "pulse_server.h"
#include "wav_bytes.h"

namespace corvel::test {
namespace {

namespace fs = std::filesystem;

std::string TestName() {
    return ::testing::UnitTest::GetInstance()->current_test_info()->name();
}

std::vector<int16_t> WavSamples(const std::string& path) {
    const std::vector<uint8_t> bytes = WavBytes(path);
    std::vector<int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
}

// velq-sim from the build on kernel-picked ports, writing the talk it receives to a WAV file.
class SimProgram {
  public:
    bool Start(const std::string& dir) {
        talk_wav_ = dir + "talk.wav";
        const std::string ports = dir + "ports";
        fs::remove(ports);
        if (!sim_.Start({Program("sim/velq-sim"), "--tcp-port", "0", "--udp-port", "0", "--quiet",
                         "--ports-file", ports, "--talk-wav", talk_wav_})) {
            return false;
        }
        int tcp = 0, udp = 0;
        WaitUntil([&] {
            std::ifstream(ports) >> tcp >> udp;
            return tcp > 0;
        });
        ports_ = " --tcp-port " + std::to_string(tcp) + " --udp-port " + std::to_string(udp) +
                 " --timeout-ms 5000";
        return tcp > 0;
    }
    // Ends the simulator, which completes its talk WAV.
    int Stop() {
        sim_.Stop();
        return sim_.Wait(std::chrono::seconds(5));
    }
    const std::string& ports() const { return ports_; }
    const std::string& talk_wav() const { return talk_wav_; }

  private:
    ChildProcess sim_;
    std::string ports_, talk_wav_;
};

class SoundServer : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* program : {"tools/velq/velq", "sim/velq-sim"}) {
            if (access(Program(program).c_str(), X_OK) != 0) GTEST_SKIP() << program << " is not built";
        }
        dir_ = ::testing::TempDir() + "sound_" + TestName() + "/";
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        pulse_ = std::make_unique<PulseServer>(dir_ + "pulse");
        std::string why;
        if (!pulse_->Start(&why)) GTEST_SKIP() << "PulseAudio cannot start here: " << why;
        ASSERT_TRUE(sim_.Start(dir_));
    }
    void TearDown() override {
        sim_.Stop();
        pulse_.reset();
        fs::remove_all(dir_);
    }

    std::string dir_;
    std::unique_ptr<PulseServer> pulse_;
    SimProgram sim_;
};

TEST_F(SoundServer, ListenThroughPortAudioPlaysWhatTheLibraryDecodedIntoTheServer) {
    // What the library decodes from this channel, written by the wav backend: the simulator's source
    // starts afresh for every stream, so a second listen plays the same sound.
    const std::string reference_path = dir_ + "decoded.wav";
    setenv("CORVEL_SOUND_OUT", ("wav:" + reference_path).c_str(), 1);
    ProgramRun run = Execute("listen MDVR-10001 1 --duration 5" + sim_.ports());
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<int16_t> decoded = WavSamples(reference_path);
    // The stream's sound begins when it has connected, which on a loaded machine is well after the
    // device started playing fill: the reference is taken from there.
    const size_t sound_from = static_cast<size_t>(
        std::find_if(decoded.begin(), decoded.end(), [](int16_t v) { return std::abs(v) > 1000; }) -
        decoded.begin());
    ASSERT_GE(decoded.size(), sound_from + 24000) << "the wav run played under 3 s of the stream";

    // Recording before velq starts: a parec that a loaded machine starts late must not miss the stretch
    // looked for.
    MonitorRecording monitor(dir_ + "monitor.raw");
    ASSERT_TRUE(monitor.WaitRecording()) << "parec did not record";
    setenv("CORVEL_SOUND_OUT", "portaudio", 1);
    run = Execute("listen MDVR-10001 1 --duration 5" + sim_.ports());
    std::this_thread::sleep_for(300ms);  // the last blocks leave the server
    monitor.Stop();
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<int16_t> heard = monitor.Samples();
    ASSERT_GT(heard.size(), 8000u) << "parec recorded under a second";

    // The decoded sound must turn up in the server's monitor, through the server's resampling to its own
    // rate and back: 1.5 s of the stream from 1.5 s on, past the frames that a sound server's start
    // leaves standing and the player drops.
    const PiecesHeard heard_pieces = FindPieces(heard, decoded, sound_from + 12000, sound_from + 24000);
    EXPECT_GE(heard_pieces.pieces, 24) << "the decoded reference is mostly silent";
    EXPECT_GE(heard_pieces.found, heard_pieces.pieces / 2)
        << "pieces not heard (sample: best correlation):" << heard_pieces.missed;
}

TEST_F(SoundServer, TalkFromAToneOnTheMonitorReachesTheVehicleAtItsFrequency) {
    // A 700 Hz tone played into the sink; its monitor is the default source, the microphone PortAudio opens.
    ASSERT_TRUE(pulse_->Pactl("load-module module-sine sink=out frequency=700"));
    setenv("CORVEL_SOUND_IN", "portaudio", 1);
    const ProgramRun run = Execute("talk MDVR-10004 1 --duration 4" + sim_.ports());
    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_EQ(sim_.Stop(), 0);
    std::vector<int16_t> talk = WavSamples(sim_.talk_wav());
    // The first of the 240 ms frames may hold the microphone's start and the decoder settling.
    ASSERT_GE(talk.size(), 3u * 1920) << "under three frames of talk reached the vehicle";
    talk.erase(talk.begin(), talk.begin() + 1920);
    EXPECT_GT(PeakOf(talk), 2000);

    // The frequency, by zero crossings over the loud stretches and by the tone's power against its
    // neighbours'.
    size_t loud = 0;
    EXPECT_NEAR(CrossingHz(talk, &loud), 700, 25);
    EXPECT_GT(loud, 3000u);
    const double tone = ToneLevel(talk, 700);
    for (double other : {440.0, 600.0, 800.0, 1400.0}) EXPECT_GT(tone, 30 * ToneLevel(talk, other)) << other;
}

// Standard error of this process into a file for as long as it lives: the library speaks there.
class StderrCapture {
  public:
    explicit StderrCapture(const std::string& path) : path_(path) {
        std::fflush(stderr);
        saved_ = dup(STDERR_FILENO);
        const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(file, STDERR_FILENO);
        close(file);
    }
    ~StderrCapture() { Restore(); }
    std::string Restore() {
        if (saved_ >= 0) {
            std::fflush(stderr);
            dup2(saved_, STDERR_FILENO);
            close(saved_);
            saved_ = -1;
        }
        return Slurp(path_);
    }

  private:
    std::string path_;
    int saved_ = -1;
};

size_t CountOf(const std::string& text, const std::string& line) {
    size_t n = 0;
    for (size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + 1)) ++n;
    return n;
}

class SoundServerGone : public MediaHarness {
  protected:
    void SetUp() override {
        dir_ = ::testing::TempDir() + "sound_" + TestName() + "/";
        pulse_ = std::make_unique<PulseServer>(dir_ + "pulse");
        std::string why;
        if (!pulse_->Start(&why)) GTEST_SKIP() << "PulseAudio cannot start here: " << why;
    }
    void TearDown() override {
        MediaHarness::TearDown();
        pulse_.reset();
        fs::remove_all(dir_);
    }
    std::string dir_;
    std::unique_ptr<PulseServer> pulse_;
};

TEST_F(SoundServerGone, ChannelKeepsItsVideoSaysSoOnceAndIsHeardAgainWhenAServerReturns) {
    ScopedEnv output("CORVEL_SOUND_OUT", "portaudio");
    StderrCapture said(dir_ + "stderr.txt");
    StartPlatform();
    LoginAndList();
    TestWindow display;
    AppChannel* channel = VelqDev_CreateChannel(Device("MDVR-10001"), 1, &display);
    ASSERT_NE(channel, nullptr);
    ASSERT_EQ(VelqChn_VideoPlay(channel), 1);
    ASSERT_EQ(VelqChn_AudioPlay(channel), 1);
    {
        MonitorRecording monitor(dir_ + "before.raw");
        EXPECT_TRUE(WaitUntil([&] { return PeakOf(monitor.Samples()) > 1000; }, 8s)) << "never heard";
        pulse_->Kill();
    }
    const int presented_at_kill = display.presented();
    std::this_thread::sleep_for(1500ms);
    EXPECT_GE(display.presented() - presented_at_kill, 15) << "video stalled with the sound server";
    EXPECT_EQ(VelqChn_IsAudioPlaying(channel), 1);

    std::string why;
    ASSERT_TRUE(pulse_->Start(&why)) << why;
    MonitorRecording monitor(dir_ + "after.raw");
    EXPECT_TRUE(WaitUntil([&] { return PeakOf(monitor.Samples()) > 1000; }, 8s)) << "sound did not come back";
    VelqChn_AudioStop(channel);
    VelqChn_VideoStop(channel);
    VelqChn_Release(channel);
    const std::string text = said.Restore();
    EXPECT_EQ(CountOf(text, "corvel: the sound output device went away"), 1u) << text;
    EXPECT_EQ(CountOf(text, "corvel: the sound output device is back"), 1u) << text;
}

TEST_F(SoundServerGone, TalkGoesOnAndTheMicrophoneIsOpenedAgainWhenAServerReturns) {
    ScopedEnv input("CORVEL_SOUND_IN", "portaudio");
    ASSERT_TRUE(pulse_->Pactl("load-module module-sine sink=out frequency=700"));
    StderrCapture said(dir_ + "stderr.txt");
    StartPlatform();
    LoginAndList();
    AppChannel* channel = VelqDev_CreateChannel(Device("MDVR-10004"), 1, &display_);
    ASSERT_NE(channel, nullptr);
    ASSERT_EQ(VelqChn_TalkStart(channel), 1);
    auto talk_samples = [&] { return platform_->transfer().talk_pcm().size(); };
    ASSERT_TRUE(WaitUntil([&] { return talk_samples() >= 3 * 1920; })) << "no talk before the loss";
    pulse_->Kill();
    std::this_thread::sleep_for(1500ms);
    EXPECT_EQ(VelqChn_IsTalking(channel), 1);

    std::string why;
    ASSERT_TRUE(pulse_->Start(&why)) << why;
    ASSERT_TRUE(pulse_->Pactl("load-module module-sine sink=out frequency=700"));
    const size_t back_from = talk_samples();
    EXPECT_TRUE(WaitUntil([&] { return talk_samples() >= back_from + 4 * 1920; }, 10s))
        << "the microphone was not heard again";
    VelqChn_TalkStop(channel);
    VelqChn_Release(channel);
    std::vector<int16_t> talk = platform_->transfer().talk_pcm();
    talk.erase(talk.begin(), talk.begin() + static_cast<ptrdiff_t>(std::min(talk.size(), back_from + 1920)));
    size_t loud = 0;
    EXPECT_NEAR(CrossingHz(talk, &loud), 700, 25) << "the tone did not come back";
    const std::string text = said.Restore();
    EXPECT_EQ(CountOf(text, "corvel: the microphone went away"), 1u) << text;
    EXPECT_EQ(CountOf(text, "corvel: the microphone is back"), 1u) << text;
}

}  // namespace
}  // namespace corvel::test
