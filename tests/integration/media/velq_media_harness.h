// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A MediaHarness for tests that run the velq program beside the library: the test is skipped when velq
// is not built, the programs it starts inherit the null sound backends, and each test gets an empty
// folder of its own, <temp>/<prefix><test name>/, removed afterwards.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>

#include "../center/velq_program.h"
#include "media_harness.h"

namespace corvel::test {

class VelqMediaHarness : public MediaHarness {
  protected:
    explicit VelqMediaHarness(std::string prefix) : prefix_(std::move(prefix)) {}
    void SetUp() override {
        if (access(Program("tools/velq/velq").c_str(), X_OK) != 0) GTEST_SKIP() << "velq is not built";
        setenv("CORVEL_SOUND_OUT", "null", 1);
        setenv("CORVEL_SOUND_IN", "null", 1);
        dir_ = ::testing::TempDir() + prefix_ +
               ::testing::UnitTest::GetInstance()->current_test_info()->name() + "/";
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override {
        MediaHarness::TearDown();
        if (!dir_.empty()) std::filesystem::remove_all(dir_);
    }

    std::string dir_;

  private:
    std::string prefix_;
};

}  // namespace corvel::test
