// SPDX-License-Identifier: GPL-3.0-or-later
// A test process that is killed outright (ctest's time-out, a sanitizer's abort) runs no destructor; the
// sound fixtures' children must end with it all the same, and must not hold the test's descriptors (an
// inherited socket keeps the embedded browser's helper processes alive).
#include <poll.h>
#include <sys/stat.h>

#include <array>
#include <filesystem>

#include "../center/velq_program.h"
#include "pulse_server.h"

namespace corvel::test {
namespace {

namespace fs = std::filesystem;

// The fixtures one sound test holds: a sound server, a recorder of its monitor and velq-sim.
constexpr size_t kChildren = 3;
using ChildPids = std::array<pid_t, kChildren>;

// In the forked stand-in for a test process: starts the fixtures, waits until each has exec'd and
// serves, reports their ids and waits to be killed. Exit status 3: PulseAudio cannot start here.
[[noreturn]] void RunFixtures(const std::string& dir, int report) {
    PulseServer pulse(dir + "pulse");
    std::string why;
    if (!pulse.Start(&why)) _exit(3);
    MonitorRecording monitor(dir + "monitor.raw");
    ChildProcess sim;
    const std::string ports = dir + "ports";
    int tcp = 0;
    const bool started =
        monitor.WaitRecording() &&
        sim.Start({Program("sim/velq-sim"), "--tcp-port", "0", "--udp-port", "0", "--quiet", "--ports-file",
                   ports}) &&
        WaitUntil([&] { return (std::ifstream(ports) >> tcp) && tcp > 0; }, std::chrono::seconds(20));
    if (!started) _exit(4);
    const ChildPids pids = {pulse.pid(), monitor.pid(), sim.pid()};
    if (write(report, pids.data(), sizeof(pids)) != sizeof(pids)) _exit(5);
    for (;;) pause();
}

// Gone, or dead and waiting for init to collect it.
bool Ended(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return true;
    const size_t paren = line.rfind(')');
    return paren == std::string::npos || line.substr(paren + 2, 1) == "Z";
}

// Whether the process holds a descriptor of the pipe with this inode.
bool HoldsPipe(pid_t pid, ino_t inode) {
    const std::string wanted = "pipe:[" + std::to_string(inode) + "]";
    std::error_code error;
    for (const auto& fd : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error)) {
        if (fs::read_symlink(fd.path(), error).string() == wanted) return true;
    }
    return false;
}

TEST(KilledTestProcess, TakesItsSoundServerRecorderAndSimulatorWithIt) {
    if (access(Program("sim/velq-sim").c_str(), X_OK) != 0) GTEST_SKIP() << "velq-sim is not built";
    const std::string dir = ::testing::TempDir() + "killed_test_process_" + std::to_string(getpid()) + "/";
    fs::remove_all(dir);
    fs::create_directories(dir);
    // `held` stands for the descriptors a test process has open (sockets, pipes) when it starts a child.
    int held[2], report[2];
    ASSERT_EQ(pipe(held), 0);
    ASSERT_EQ(pipe(report), 0);
    struct stat held_stat {};
    ASSERT_EQ(fstat(held[0], &held_stat), 0);

    // Forked before this process starts a thread: the child may allocate and start programs.
    const pid_t test_process = fork();
    ASSERT_GE(test_process, 0);
    if (test_process == 0) {
        close(report[0]);
        RunFixtures(dir, report[1]);
    }
    close(report[1]);
    ChildPids pids{};
    pollfd ready{report[0], POLLIN, 0};
    const bool reported =
        poll(&ready, 1, 60000) == 1 && read(report[0], pids.data(), sizeof(pids)) == sizeof(pids);
    close(report[0]);
    if (!reported) {
        kill(test_process, SIGKILL);
        int status = 0;
        waitpid(test_process, &status, 0);
        fs::remove_all(dir);
        if (WIFEXITED(status) && WEXITSTATUS(status) == 3) GTEST_SKIP() << "PulseAudio cannot start here";
        FAIL() << "the fixtures did not start (status " << status << ")";
    }
    for (pid_t pid : pids) {
        EXPECT_GT(pid, 0);
        EXPECT_FALSE(HoldsPipe(pid, held_stat.st_ino))
            << "child " << pid << " holds a descriptor of the test";
    }

    kill(test_process, SIGKILL);
    waitpid(test_process, nullptr, 0);
    EXPECT_TRUE(
        WaitUntil([&] { return std::all_of(pids.begin(), pids.end(), Ended); }, std::chrono::seconds(5)))
        << "a child outlived its killed test process";
    for (pid_t pid : pids) {
        if (!Ended(pid)) kill(pid, SIGKILL);  // not to leave it running after a failure
    }
    close(held[0]);
    close(held[1]);
    fs::remove_all(dir);
}

}  // namespace
}  // namespace corvel::test
