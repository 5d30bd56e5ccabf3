// SPDX-License-Identifier: GPL-3.0-or-later
// Recordings interrupted from outside: a killed recorder process, a file that stops growing, and a stop
// racing the transfer threads.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "avi_probe.h"
#include "record_rig.h"

namespace corvel {
namespace {

using namespace std::chrono_literals;
using test::EncodedFrame;
using test::RecordRig;
using test::TempDir;

const std::vector<EncodedFrame>& Frames() {
    static const auto frames = test::TestStream(352, 288, 60, 25);
    return frames;
}

// Kills and reaps the child on every way out of the test.
struct Child {
    pid_t pid = -1;
    ~Child() { Kill(); }
    void Kill() {
        if (pid <= 0) return;
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        pid = -1;
    }
};

// Checks that the file begins with a key frame of the looped stream and holds the run of the stream from
// there; returns its sample count (0 after a failure).
size_t SamplesOfARun(const std::string& path, const std::vector<EncodedFrame>& frames) {
    const auto video = test::VideoOf(path);
    size_t start = 0;
    while (!video.empty() && start < frames.size() && frames[start].bytes != video[0]) ++start;
    if (video.empty() || start == frames.size() || !frames[start].key) {
        ADD_FAILURE() << path << " does not begin with a key frame of the stream";
        return 0;
    }
    for (size_t i = 0; i < video.size(); ++i) {
        if (video[i] != frames[(start + i) % frames.size()].bytes) {
            ADD_FAILURE() << path << ": sample " << i << " is not the stream's";
            return 0;
        }
    }
    return video.size();
}

TEST(RecordProcess, KilledRecorderLeavesEveryFrameUpToOneSecondBeforeTheKill) {
    TempDir dir;
    const std::string path = dir / "crash.avi";
    const auto& frames = Frames();
    ASSERT_EQ(frames.size(), 60u);
    int pipe_fds[2];
    ASSERT_EQ(pipe(pipe_fds), 0);
    Child child;
    child.pid = fork();
    ASSERT_GE(child.pid, 0);
    if (child.pid == 0) {
        // The recorder at the pace of a live stream: 25 frames and 8 audio frames a second; each frame's
        // index is reported once the recorder has returned.
        close(pipe_fds[0]);
        RecordRig rig;
        rig.Start(path, 0);
        const auto pcm = test::Pcm(320, 3);
        for (uint32_t i = 0;; ++i) {
            rig.Video(frames[i % frames.size()], 1600000000 + i / 25);
            rig.Audio(pcm);
            if (write(pipe_fds[1], &i, sizeof i) != sizeof i) _exit(1);
            usleep(40000);
        }
    }
    close(pipe_fds[1]);
    std::vector<std::pair<uint32_t, std::chrono::steady_clock::time_point>> reports;
    const auto begin = std::chrono::steady_clock::now();
    uint32_t index = 0;
    while (std::chrono::steady_clock::now() - begin < 2500ms &&
           read(pipe_fds[0], &index, sizeof index) == sizeof index) {
        reports.emplace_back(index, std::chrono::steady_clock::now());
    }
    const auto killed_at = std::chrono::steady_clock::now();
    child.Kill();
    close(pipe_fds[0]);

    size_t needed = 0;
    for (const auto& [frame, at] : reports) {
        if (killed_at - at >= 1s) needed = frame + 1;
    }
    ASSERT_GE(needed, 20u) << "the child recorded too little to judge";
    CAviFile avi;
    ASSERT_TRUE(avi.Open(path));
    const auto video = test::ReadAllVideo(avi);
    ASSERT_GE(video.size(), needed);
    for (size_t i = 0; i < video.size(); ++i) ASSERT_EQ(video[i], frames[i % frames.size()].bytes) << i;
    EXPECT_GE(test::ReadAllAudio(avi, 4096).size(), (needed - 1) * 320);
    const auto probe = test::Probe(path);
    ASSERT_TRUE(probe.is_object());
    EXPECT_GE(std::stoul(probe["streams"][0]["nb_read_packets"].get<std::string>()), needed);
}

// A file that cannot grow any more (here: the process's file size limit) ends with the failed write; the
// recording goes on in a new file at the next key frame, which must not take the name of a file already
// made, even when all of them start in the same second.
TEST(RecordProcess, WriteFailureGoesOnInANewFileWithoutOverwriting) {
    TempDir dir;
    const auto& frames = Frames();
    ASSERT_EQ(frames.size(), 60u);
    constexpr rlim_t kLimit = 100000;
    Child child;
    child.pid = fork();
    ASSERT_GE(child.pid, 0);
    if (child.pid == 0) {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{kLimit, kLimit};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(2);
        RecordRig rig;
        rig.Start(dir / "cam.avi", 0);
        for (uint32_t i = 0; i < 400; ++i) rig.Video(frames[i % frames.size()], 1600000000);
        rig.Stop();
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child.pid, &status, 0), child.pid);
    child.pid = -1;
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

    const auto files = test::FilesIn(dir.path());
    ASSERT_GE(files.size(), 4u);
    ASSERT_EQ(files.back(), "cam.avi");  // '-' sorts before '.'
    EXPECT_NE(std::find(files.begin(), files.end(), "cam-" + test::LocalStamp(1600000000) + "-2.avi"),
              files.end());
    size_t total = 0;
    for (const auto& name : files) total += SamplesOfARun(dir / name, frames);
    // The first file still holds the start of the recording.
    EXPECT_EQ(test::VideoOf(dir / "cam.avi")[0], frames[0].bytes);
    EXPECT_GT(total, 100u);
}

// Video, audio of the device and the client's stops and starts on three threads: every file made starts
// with a key frame and reads back as a run of the stream.
TEST(RecordProcess, StopsRacingTheTransferThreadsLeaveWholeFiles) {
    TempDir dir;
    const auto& frames = Frames();
    ASSERT_EQ(frames.size(), 60u);
    RecordRig rig;
    std::atomic<bool> done{false};
    std::thread video([&] {
        for (uint32_t i = 0; !done.load(); ++i) {
            rig.Video(frames[i % frames.size()], 1600000000 + i);
            std::this_thread::sleep_for(1ms);
        }
    });
    std::thread audio([&] {
        const auto pcm = test::Pcm(320, 5);
        while (!done.load()) {
            if (rig.recorder.HasOpenFile()) rig.Audio(pcm);
            std::this_thread::sleep_for(1ms);
        }
    });
    for (int run = 0; run < 8; ++run) {
        rig.Start(dir / ("run" + std::to_string(run) + ".avi"), 0);
        std::this_thread::sleep_for(60ms);
        rig.Stop();
        std::this_thread::sleep_for(10ms);
    }
    done = true;
    video.join();
    audio.join();

    const auto files = test::FilesIn(dir.path());
    EXPECT_GE(files.size(), 4u);
    for (const auto& name : files) SamplesOfARun(dir / name, frames);
}

}  // namespace
}  // namespace corvel
