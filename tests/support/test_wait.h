// SPDX-License-Identifier: GPL-3.0-or-later
// Small helpers that many tests share: waiting for a condition with a deadline, and setting an
// environment variable for a scope (sessions read their sound backends when they are made).
#pragma once
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

namespace corvel::test {

// Polls `done` every 5 ms until it holds (true) or `timeout` passes (false).
template <typename Predicate>
bool WaitUntil(Predicate done, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// Sets a variable for the lifetime of the object and restores (or removes) it afterwards.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        const char* old = std::getenv(name);
        had_ = old != nullptr;
        if (had_) old_ = old;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (had_) {
            setenv(name_, old_.c_str(), 1);
        } else {
            unsetenv(name_);
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    const char* name_;
    bool had_ = false;
    std::string old_;
};

}  // namespace corvel::test
