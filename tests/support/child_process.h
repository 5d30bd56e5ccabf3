// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A child process that a test owns: the programs of the build and the sound server's tools. It ends with
// its owner whatever way the test ends: the destructor stops and reaps it, and when the test process
// dies without running destructors (killed by ctest's time-out, a sanitizer's abort) the kernel kills it.
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "test_wait.h"

namespace corvel::test {

// One child process, ended (SIGTERM, then SIGKILL after a grace period) when the object goes.
// Start it from a thread that outlives it (a test's own thread): the kernel's parent-death signal
// fires when the thread that forked the child ends, not only when the process does.
class ChildProcess {
  public:
    ChildProcess() = default;
    ~ChildProcess() { Stop(); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts argv[0] (looked up on PATH) with standard output and error into these files ("" = /dev/null).
    // With `out_pipe`, standard output goes into a pipe instead, whose reading end (the caller's to
    // close) is stored there. The child inherits no descriptor of the test but these three: an
    // inherited socket or pipe would keep the test's other peers (the embedded browser's helper
    // processes, which end when their socket to the test closes) alive after the test is gone.
    bool Start(const std::vector<std::string>& argv, const std::string& out_path = "",
               const std::string& err_path = "", int* out_pipe = nullptr) {
        Stop();
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        int ends[2] = {-1, -1};
        if (out_pipe != nullptr && pipe(ends) != 0) return false;
        const pid_t parent = getpid();
        const pid_t pid = fork();
        if (pid < 0) {
            if (out_pipe != nullptr) {
                close(ends[0]);
                close(ends[1]);
            }
            return false;
        }
        if (pid == 0) {
            // Killed with the test process; a parent that died before this line is seen by getppid.
            if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != parent) _exit(127);
            if (out_pipe != nullptr) {
                dup2(ends[1], STDOUT_FILENO);
            } else {
                Redirect(out_path, STDOUT_FILENO);
            }
            Redirect(err_path, STDERR_FILENO);
            close_range(STDERR_FILENO + 1, ~0U, 0);
            execvp(args[0], args.data());
            _exit(127);
        }
        if (out_pipe != nullptr) {
            close(ends[1]);
            *out_pipe = ends[0];
        }
        pid_ = pid;
        return true;
    }
    bool running() {
        if (pid_ <= 0) return false;
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == 0) return true;
        status_ = status;
        pid_ = -1;
        return false;
    }
    // Waits for the end; the exit status, or -1 for a signal or a time-out (the child is then killed).
    int Wait(std::chrono::milliseconds timeout) {
        if (!WaitUntil([&] { return !running(); }, timeout)) Stop(SIGKILL);
        return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
    }
    void Stop(int signal = SIGTERM) {
        if (pid_ <= 0) return;
        kill(pid_, signal);
        if (!WaitUntil([&] { return !running(); }, std::chrono::seconds(3))) {
            kill(pid_, SIGKILL);
            WaitUntil([&] { return !running(); }, std::chrono::seconds(3));
        }
    }
    // The running child's process id; -1 when none runs.
    pid_t pid() const { return pid_; }

  private:
    // In the child of a fork of a threaded process: system calls only, no allocation.
    static void Redirect(const std::string& path, int fd) {
        const int file = open(path.empty() ? "/dev/null" : path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (file >= 0) dup2(file, fd);
    }
    pid_t pid_ = -1;
    int status_ = 0;
};

}  // namespace corvel::test
