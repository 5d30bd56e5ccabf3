// SPDX-License-Identifier: GPL-3.0-or-later
// velq's media commands as a user runs them against the whole simulated platform: the files they leave,
// their statistics and their failures.
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>

#include "../media/velq_media_harness.h"
#include "media/avi_file.h"
#include "velq_program.h"

namespace corvel::test {
namespace {

namespace fs = std::filesystem;

class VelqMediaCli : public VelqMediaHarness {
  protected:
    VelqMediaCli() : VelqMediaHarness("velq_media_") {}
    void SetUp() override {
        VelqMediaHarness::SetUp();
        if (IsSkipped()) return;
        StartPlatform();
        ports_ = " --tcp-port " + std::to_string(platform_->center().tcp_port()) + " --udp-port " +
                 std::to_string(platform_->center().udp_port()) + " --timeout-ms 5000";
    }
    std::string ports_;
};

// Counts the video samples and audio bytes of a finished recording; fails the test when it is no AVI
// of H.264 video and 16-bit PCM audio in CIF.
void ExpectCifRecording(const std::string& path, uint32_t min_video_samples) {
    CAviFile file;
    ASSERT_TRUE(file.Open(path)) << path;
    const AviFileInfo& info = file.info();
    EXPECT_TRUE(info.has_video);
    EXPECT_TRUE(info.has_audio);
    EXPECT_EQ(info.width, 352);
    EXPECT_EQ(info.height, 288);
    char fourcc[5] = {};
    std::memcpy(fourcc, &info.video_fourcc, 4);
    EXPECT_EQ(std::string(fourcc).substr(1), "264") << fourcc;
    EXPECT_EQ(info.bits_per_sample, 16);
    EXPECT_EQ(info.samples_per_second, 8000);
    std::vector<uint8_t> sample(1 << 20);
    uint32_t video_samples = 0;
    for (uint32_t size = sample.size(); file.ReadVideo(sample.data(), &size); size = sample.size())
        ++video_samples;
    EXPECT_GE(video_samples, min_video_samples);
    uint32_t audio_bytes = sample.size();
    ASSERT_TRUE(file.ReadAudio(sample.data(), &audio_bytes));
    EXPECT_GT(audio_bytes, 0u);
}

TEST_F(VelqMediaCli, RecordWritesH264VideoAndPcmAudio) {
    const std::string path = dir_ + "rec.avi";
    const ProgramRun run = Execute("record MDVR-10001 1 " + path + " --duration 3" + ports_);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("recorded " + path), std::string::npos) << run.out;
    EXPECT_NE(run.err.find("kbit/s"), std::string::npos) << run.err;
    ExpectCifRecording(path, 25);  // 25 frames/s for 3 s, with slack for a loaded machine
}

TEST_F(VelqMediaCli, RecordFailsWhenItsFileCannotBeWritten) {
    std::ofstream(dir_ + "plain-file") << "not a folder";
    for (const char* split : {"", " --split 1"}) {
        SCOPED_TRACE(split);
        const std::string path = dir_ + "plain-file/sub/rec.avi";
        const ProgramRun run = Execute("record MDVR-10001 1 " + path + " --duration 2" + split + ports_);
        EXPECT_EQ(run.status, 1) << run.out;
        EXPECT_EQ(run.out.find("recorded"), std::string::npos) << run.out;
        EXPECT_NE(run.err.find("nothing was recorded into " + dir_ + "plain-file/sub/rec"), std::string::npos)
            << run.err;
    }
}

TEST_F(VelqMediaCli, SplitRecordingNamesEveryFileItWrote) {
    const ProgramRun run =
        Execute("record MDVR-10002 1 " + dir_ + "part.avi --split 1 --duration 4" + ports_);
    ASSERT_EQ(run.status, 0) << run.err;
    std::vector<std::string> named;
    for (size_t at = 0; (at = run.out.find("recorded ", at)) != std::string::npos;) {
        const size_t end = run.out.find('\n', at);
        named.push_back(run.out.substr(at + 9, end - at - 9));
        at = end;
    }
    EXPECT_GE(named.size(), 2u) << run.out;
    size_t on_disk = 0;
    for (const auto& entry : fs::directory_iterator(dir_)) {
        if (entry.path().extension() == ".times") continue;  // each AVI's time file, checked below
        ++on_disk;
        EXPECT_NE(std::find(named.begin(), named.end(), entry.path().string()), named.end()) << entry.path();
    }
    EXPECT_EQ(on_disk, named.size());
    for (const std::string& name : named) {
        EXPECT_GT(fs::file_size(name), 1024u) << name;
        EXPECT_TRUE(fs::exists(name + ".times")) << name;
    }
}

TEST_F(VelqMediaCli, InterruptedRecordingEndsCleanlyWithAReadableFile) {
    const std::string path = dir_ + "until-interrupted.avi";
    const std::string err = dir_ + "stderr.txt";
    const std::string velq = Program("tools/velq/velq");
    const std::string tcp = std::to_string(platform_->center().tcp_port());
    const std::string udp = std::to_string(platform_->center().udp_port());
    const pid_t child = fork();
    if (child == 0) {
        freopen(err.c_str(), "w", stderr);
        execl(velq.c_str(), velq.c_str(), "record", "MDVR-10003", "2", path.c_str(), "--tcp-port",
              tcp.c_str(), "--udp-port", udp.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    ASSERT_GT(child, 0);
    // A second of progress after the first frame, so the file holds a key frame and what follows it.
    EXPECT_TRUE(WaitUntil([&] { return Slurp(err).find("2 s,") != std::string::npos; }, 15s)) << Slurp(err);
    kill(child, SIGINT);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0) << Slurp(err);
    ExpectCifRecording(path, 10);
}

TEST_F(VelqMediaCli, RecordWithPreSecondsBeginsBeforeItsStart) {
    const std::string path = dir_ + "pre.avi";
    const ProgramRun run =
        Execute("record MDVR-10001 1 " + path + " --pre-seconds 3 --start-after 4 --duration 2" + ports_);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("recording started"), std::string::npos) << run.err;
    const ProgramRun info = Execute("info " + path);
    ASSERT_EQ(info.status, 0) << info.err;
    // 2 s of recording plus the 2 to 3 s kept before it (from a key frame a second).
    const size_t at = info.out.find("duration ");
    ASSERT_NE(at, std::string::npos) << info.out;
    EXPECT_GE(std::stod(info.out.substr(at + 9)), 3.5) << info.out;

    EXPECT_EQ(Execute("record MDVR-10001 1 " + path + " --start-after 4" + ports_).status, 2);
    EXPECT_EQ(Execute("play MDVR-10001 1 --pre-seconds 4" + ports_).status, 2);
    EXPECT_EQ(Execute("record MDVR-10001 1 " + path + " --pre-seconds 61" + ports_).status, 2);
}

TEST_F(VelqMediaCli, SnapshotWritesTheBitmapOfACifPicture) {
    const ProgramRun run = Execute("snapshot MDVR-10002 1 " + dir_ + "shot.bmp" + ports_);
    ASSERT_EQ(run.status, 0) << run.err;
    std::string name = run.out;
    name.erase(std::remove(name.begin(), name.end(), '\n'), name.end());
    EXPECT_EQ(name.rfind(dir_ + "shot-", 0), 0u) << name;
    ASSERT_TRUE(fs::exists(name)) << name;
    EXPECT_EQ(fs::file_size(name), 352u * 288 * 4 + 54);
    EXPECT_EQ(Slurp(name).substr(0, 2), "BM");
}

TEST_F(VelqMediaCli, PlayPrintsTheStatisticsOfEveryChannel) {
    const ProgramRun run = Execute("play MDVR-10003 1 2 --duration 3" + ports_);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_GE(std::count(run.out.begin(), run.out.end(), '\n'), 2) << run.out;
    EXPECT_NE(run.out.find("channel 1:"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("channel 2:"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("352x288"), std::string::npos) << run.out;
}

TEST_F(VelqMediaCli, ListenPlaysTheDevicesAudioThroughTheNamedBackend) {
    const std::string wav = dir_ + "heard.wav";
    setenv("CORVEL_SOUND_OUT", ("wav:" + wav).c_str(), 1);
    const ProgramRun run = Execute("listen MDVR-10003 1 --duration 2" + ports_);
    setenv("CORVEL_SOUND_OUT", "null", 1);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("kbit/s"), std::string::npos) << run.err;
    ASSERT_TRUE(fs::exists(wav));
    EXPECT_GT(fs::file_size(wav), 44u + 8000);  // more than the header and half a second of samples
}

// A 440 Hz tone, 8000 Hz 16-bit mono, as a microphone for talk.
void WriteTone(const std::string& path, int seconds) {
    std::vector<int16_t> samples(static_cast<size_t>(8000 * seconds));
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<int16_t>(8000 * std::sin(2 * M_PI * 440 * static_cast<double>(i) / 8000));
    const uint32_t data_bytes = static_cast<uint32_t>(samples.size() * 2);
    std::ofstream out(path, std::ios::binary);
    auto le32 = [&](uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    auto le16 = [&](uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    out.write("RIFF", 4);
    le32(36 + data_bytes);
    out.write("WAVEfmt ", 8);
    le32(16);
    le16(1);
    le16(1);
    le32(8000);
    le32(16000);
    le16(2);
    le16(16);
    out.write("data", 4);
    le32(data_bytes);
    out.write(reinterpret_cast<const char*>(samples.data()), data_bytes);
}

TEST_F(VelqMediaCli, TalkFromAWavMicrophoneReachesTheDevice) {
    const std::string wav = dir_ + "tone.wav";
    WriteTone(wav, 1);
    const ProgramRun run = Execute("talk MDVR-10004 1 --wav " + wav + " --duration 3" + ports_);
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<int16_t> heard = platform_->transfer().talk_pcm();
    ASSERT_FALSE(heard.empty());
    // The null microphone would give silence; the tone is loud.
    EXPECT_GT(*std::max_element(heard.begin(), heard.end()), 2000);
}

TEST_F(VelqMediaCli, FailuresEndWithStatusOneAndOneClearLine) {
    ProgramRun run = Execute("record MDVR-99999 1 " + dir_ + "x.avi --duration 2" + ports_);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_NE(run.err.find("does not know device MDVR-99999"), std::string::npos) << run.err;
    // An offline vehicle: the transfer keeps retrying until the duration runs out.
    run = Execute("record MDVR-10005 1 " + dir_ + "x.avi --duration 2" + ports_);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("no video from MDVR-10005 channel 1 within 2 s"), std::string::npos) << run.err;
    run = Execute("snapshot MDVR-10001 9 " + dir_ + "x.bmp" + ports_);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("has 4 channels"), std::string::npos) << run.err;
    run = Execute("talk MDVR-10001 1 --wav " + dir_ + "missing.wav --duration 1" + ports_);
    EXPECT_EQ(run.status, 1);
    run = Execute("record MDVR-10001 1" + ports_);
    EXPECT_EQ(run.status, 2);
    run = Execute("play MDVR-10001 256 --duration 1" + ports_);  // channel numbers travel in one byte
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("CHANNEL must be a number from 1 to 255"), std::string::npos) << run.err;
    run = Execute("play MDVR-10001 1 --split 5" + ports_);
    EXPECT_EQ(run.status, 2);
}

}  // namespace
}  // namespace corvel::test
