// SPDX-License-Identifier: GPL-3.0-or-later
// Recordings that say when their pictures were taken: the time file across a stall of the stream, after a
// kill of the recording process, and a recording that begins with the seconds kept before its start.
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <sstream>

#include "corvel/record_times.h"
#include "media/avi_file.h"
#include "session/channel.h"
#include "velq_media_harness.h"

namespace corvel::test {
namespace {

namespace fs = std::filesystem;

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// "YYYY-MM-DD HH:MM:SS" in local time as velq info prints it; -1 when it is not that.
int64_t LocalSeconds(const std::string& text) {
    std::tm local{};
    std::istringstream in(text);
    in >> std::get_time(&local, "%Y-%m-%d %H:%M:%S");
    if (in.fail()) return -1;
    local.tm_isdst = -1;
    return static_cast<int64_t>(std::mktime(&local));
}

// The rest of velq info's first line that starts with `key` and a space (empty when there is none).
std::string InfoLine(const std::string& out, const std::string& key) {
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind(key + " ", 0) == 0) return line.substr(key.size() + 1);
    }
    return "";
}

class EvidenceRecording : public VelqMediaHarness {
  protected:
    EvidenceRecording() : VelqMediaHarness("evidence_") {}
    AppChannel* RecordingChannel(AppDevice* device) {
        AppChannel* channel = VelqDev_CreateChannel(device, 1, nullptr);
        EXPECT_NE(channel, nullptr);
        EXPECT_EQ(VelqChn_VSourceStart(channel), 1);
        EXPECT_TRUE(WaitUntil([&] { return CountFor(VELQ_EV_MEDIA_FIRST_FRAME, channel) > 0; }));
        return channel;
    }
    static std::u16string Path16(const std::string& path) { return std::u16string(path.begin(), path.end()); }
};

TEST_F(EvidenceRecording, StallOfTheStreamIsAGapWithItsTrueTimes) {
    StartPlatform();
    LoginAndList();
    AppChannel* channel = RecordingChannel(Device("MDVR-10001"));
    const std::string path = dir_ + "stall.avi";
    ASSERT_EQ(VelqChn_RecordStart(channel, Path16(path).c_str(), 0), 1);
    std::this_thread::sleep_for(2s);
    // Shorter than the socket time-out (3 s): the stream stays connected, only no frame comes.
    velq_sim::TransferFaults stalled;
    stalled.stall_after_packets = 1;
    const int64_t stall_ms = NowMs();
    platform_->transfer().set_faults(stalled);
    std::this_thread::sleep_for(2600ms);
    const int64_t resume_ms = NowMs();
    platform_->transfer().set_faults({});
    std::this_thread::sleep_for(1500ms);
    VelqChn_RecordStop(channel);

    const auto times = velq::times::ReadFile(path + ".times");
    ASSERT_EQ(times.gaps.size(), 1u) << Slurp(path + ".times");
    EXPECT_NEAR(times.gaps[0].from_ms, stall_ms, 250);
    EXPECT_GE(times.gaps[0].to_ms, resume_ms);
    EXPECT_LT(times.gaps[0].to_ms, resume_ms + 500);
    ASSERT_TRUE(times.end.has_value());

    const ProgramRun info = Execute("info " + path);
    ASSERT_EQ(info.status, 0) << info.err;
    const std::string gap = InfoLine(info.out, "gap");
    ASSERT_EQ(gap.size(), 39u) << info.out;
    EXPECT_NEAR(LocalSeconds(gap.substr(0, 19)), times.gaps[0].from_ms / 1000, 0) << info.out;
    EXPECT_NEAR(LocalSeconds(gap.substr(20)), times.gaps[0].to_ms / 1000, 0) << info.out;
    EXPECT_EQ(InfoLine(info.out, "frames"), std::to_string(times.end->frames)) << info.out;
    // About 6 s of wall time (less the wait for the first key frame) from 3.5 s of frames: the duration
    // is the wall clock's.
    EXPECT_NEAR(std::stod(InfoLine(info.out, "duration")), 5.6, 0.7) << info.out;
}

TEST_F(EvidenceRecording, RecordingStartedLaterBeginsWithTheSecondsKeptBefore) {
    StartPlatform();
    LoginAndList();
    AppDevice* device = Device("MDVR-10002");
    int32_t seconds = 61;
    EXPECT_EQ(VelqDev_SetDevInfo(device, VELQ_DEV_PRE_RECORD_SECONDS, &seconds, 4), 0);
    seconds = 10;
    EXPECT_EQ(VelqDev_SetDevInfo(device, VELQ_DEV_PRE_RECORD_SECONDS, &seconds, 2), 0);
    ASSERT_EQ(VelqDev_SetDevInfo(device, VELQ_DEV_PRE_RECORD_SECONDS, &seconds, 4), 4);
    int32_t read_back = 0;
    EXPECT_EQ(VelqDev_GetDevInfo(device, VELQ_DEV_PRE_RECORD_SECONDS, &read_back, 4), 4);
    EXPECT_EQ(read_back, 10);

    AppChannel* kept = RecordingChannel(device);
    ASSERT_EQ(VelqChn_ASourceStart(kept), 1);
    AppChannel* plain = RecordingChannel(Device("MDVR-10001"));  // its device keeps nothing
    std::this_thread::sleep_for(10s);
    const int64_t start_ms = NowMs();
    ASSERT_EQ(VelqChn_RecordStart(kept, Path16(dir_ + "kept.avi").c_str(), 0), 1);
    ASSERT_EQ(VelqChn_RecordStart(plain, Path16(dir_ + "plain.avi").c_str(), 0), 1);
    std::this_thread::sleep_for(2s);
    VelqChn_RecordStop(kept);
    VelqChn_RecordStop(plain);

    const auto times = velq::times::ReadFile(dir_ + "kept.avi.times");
    ASSERT_FALSE(times.empty());
    // A key frame a second: the kept part starts 9 to 10 s before the start.
    EXPECT_LE(times.points.front().unix_ms, start_ms - 8500);
    EXPECT_GE(times.points.front().unix_ms, start_ms - 10'050);
    ASSERT_TRUE(times.end.has_value());
    EXPECT_GE(times.end->frames, 25 * 10);  // 25 frames a second for 11 s, with slack for a loaded machine
    EXPECT_GE(velq::times::ReadFile(dir_ + "plain.avi.times").points.front().unix_ms, start_ms);

    // The kept frames came without sound: silence before the live audio keeps it in step with the video.
    CAviFile avi;
    ASSERT_TRUE(avi.Open(dir_ + "kept.avi"));
    std::vector<uint8_t> buffer(1 << 20);
    uint32_t size = buffer.size();
    int64_t video_frames = 0;
    for (; avi.ReadVideo(buffer.data(), &size); size = buffer.size()) ++video_frames;
    int64_t audio_bytes = 0;
    size = buffer.size();
    for (; avi.ReadAudio(buffer.data(), &size); size = buffer.size()) audio_bytes += size;
    const double video_s = static_cast<double>(video_frames) / 25;
    EXPECT_NEAR(static_cast<double>(audio_bytes) / 16000, video_s, 1.0) << video_frames << " frames";
}

TEST_F(EvidenceRecording, KilledRecordingKeepsItsTimesUpToTheLastSecond) {
    StartPlatform();
    const std::string path = dir_ + "killed.avi";
    ChildProcess velq;
    ASSERT_TRUE(velq.Start({Program("tools/velq/velq"), "record", "MDVR-10003", "1", path, "--tcp-port",
                            std::to_string(platform_->center().tcp_port()), "--udp-port",
                            std::to_string(platform_->center().udp_port())},
                           "", dir_ + "stderr.txt"));
    ASSERT_TRUE(WaitUntil([&] { return Slurp(dir_ + "stderr.txt").find("4 s,") != std::string::npos; }, 20s))
        << Slurp(dir_ + "stderr.txt");
    const int64_t kill_ms = NowMs();
    velq.Stop(SIGKILL);

    const auto times = velq::times::ReadFile(path + ".times");
    ASSERT_FALSE(times.empty());
    EXPECT_FALSE(times.end.has_value());
    EXPECT_GE(times.points.back().unix_ms, kill_ms - 1100);

    const ProgramRun info = Execute("info " + path);
    ASSERT_EQ(info.status, 0) << info.err;
    const int64_t frames = std::stoll(InfoLine(info.out, "frames"));
    EXPECT_GE(frames, times.points.back().frame);
    EXPECT_NEAR(LocalSeconds(InfoLine(info.out, "end")), kill_ms / 1000, 1) << info.out;
    EXPECT_NEAR(LocalSeconds(InfoLine(info.out, "start")), times.points.front().unix_ms / 1000, 0)
        << info.out;
}

TEST_F(EvidenceRecording, InfoSaysWhatItCannotKnow) {
    // Without a time file: the AVI's own figures and a line that the times are unknown.
    StartPlatform();
    LoginAndList();
    AppChannel* channel = RecordingChannel(Device("MDVR-10001"));
    const std::string path = dir_ + "old.avi";
    ASSERT_EQ(VelqChn_RecordStart(channel, Path16(path).c_str(), 0), 1);
    std::this_thread::sleep_for(2s);
    VelqChn_RecordStop(channel);
    fs::remove(path + ".times");
    const ProgramRun old = Execute("info " + path);
    EXPECT_EQ(old.status, 3) << old.err;
    EXPECT_NE(old.out.find("times unknown"), std::string::npos) << old.out;
    EXPECT_EQ(InfoLine(old.out, "start"), "") << old.out;
    EXPECT_GT(std::stoll(InfoLine(old.out, "frames")), 25) << old.out;

    std::ofstream(dir_ + "text.avi") << "RIFF but not really an AVI file";
    for (const std::string& bad : {dir_ + "missing.avi", dir_ + "text.avi", dir_}) {
        const ProgramRun run = Execute("info " + bad);
        EXPECT_EQ(run.status, 1) << bad;
        EXPECT_EQ(run.out, "") << bad;
        EXPECT_NE(run.err.find("velq: "), std::string::npos) << bad;
    }
}

}  // namespace
}  // namespace corvel::test
