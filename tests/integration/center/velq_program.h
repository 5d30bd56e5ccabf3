// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Runs the built velq program as a user does and collects what it printed and its exit status.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "child_process.h"

namespace corvel::test {

struct ProgramRun {
    int status = -1;
    std::string out, err;
};

// A program of the build tree: below CORVEL_BUILD_DIR when set, else below the folder above this test
// program's own (the build tree puts test programs in BUILD/tests).
inline std::string Program(const char* relative) {
    const char* build = std::getenv("CORVEL_BUILD_DIR");
    if (build != nullptr) return std::string(build) + "/" + relative;
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return relative;
    return (self.parent_path().parent_path() / relative).string();
}

inline std::string Slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs velq with these (shell-quoted) arguments and waits for it to end. velq is a child process of the
// test (the shell execs it), so it ends with a test that is killed.
inline ProgramRun Execute(const std::string& arguments) {
    // One file per test process: ctest runs several at once.
    const std::string err = ::testing::TempDir() + "velq_stderr_" + std::to_string(getpid()) + ".txt";
    ProgramRun run;
    ChildProcess velq;
    int out = -1;
    if (!velq.Start({"/bin/sh", "-c", "exec " + Program("tools/velq/velq") + " " + arguments}, "", err,
                    &out)) {
        return run;
    }
    char buffer[4096];
    for (ssize_t n; (n = read(out, buffer, sizeof(buffer))) > 0;)
        run.out.append(buffer, static_cast<size_t>(n));
    close(out);
    // Standard output closes when velq ends; the wait only collects its status.
    run.status = velq.Wait(std::chrono::seconds(30));
    run.err = Slurp(err);
    return run;
}

}  // namespace corvel::test
