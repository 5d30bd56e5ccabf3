// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The whole simulated platform (center server, transfer server, fleet) in the test process on
// kernel-picked ports of 127.0.0.1, and a session of the library logged in to it with short pauses.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "corvel/corvel.h"
#include "login_and_list.h"
#include "platform.h"
#include "session/session.h"
#include "test_wait.h"
#include "test_window.h"

namespace corvel::test {

using namespace std::chrono_literals;

class MediaHarness : public ::testing::Test {
  protected:
    static velq_sim::CenterConfig QuietCenter() {
        velq_sim::CenterConfig config;
        config.tcp_port = 0;
        config.udp_port = 0;
        config.log = false;
        config.tick_ms = 0;
        return config;
    }
    static velq_sim::TransferConfig QuietTransfer() {
        velq_sim::TransferConfig config;
        config.log = getenv("SIMLOG") != nullptr;
        return config;
    }
    void StartPlatform(velq_sim::TransferConfig transfer = QuietTransfer()) {
        platform_ =
            std::make_unique<velq_sim::SimPlatform>(QuietCenter(), transfer, velq_sim::Fleet::Default());
        std::string error;
        ASSERT_TRUE(platform_->Start(&error)) << error;
    }
    void LoginAndList() {
        session_ = std::make_unique<AppSession>(&window_, VELQ_MESSAGE);
        CenterTiming timing;
        timing.status_interval_ms = 1000;
        timing.retry_pause_ms = 200;
        timing.poll_interval_ms = 500;
        timing.socket_timeout_ms = 3000;
        session_->set_center_timing(timing);
        test::LoginAndList(*session_, window_, platform_->center().tcp_port(), platform_->center().udp_port(),
                           platform_->center().fleet().size(), 10s);
    }
    AppDevice* Device(const char* id) { return session_->FindDevice(id); }
    template <typename Predicate>
    static bool WaitUntil(Predicate done, std::chrono::milliseconds timeout = 10s) {
        return test::WaitUntil(done, timeout);
    }
    // Events of one code whose value is this handle.
    size_t CountFor(uintptr_t code, const void* handle) {
        size_t n = 0;
        for (const auto& e : window_.Events())
            n += e.code == code && e.value == reinterpret_cast<intptr_t>(handle);
        return n;
    }
    void TearDown() override {
        if (session_) VelqApp_Logout(session_.get());
        session_.reset();
        if (platform_) platform_->Stop();
    }

    TestWindow window_;
    // The display window of a test's channels. It lives in the fixture because a channel may present
    // pictures until the logout in TearDown: a window on the test's stack would be gone by then.
    TestWindow display_;
    std::unique_ptr<velq_sim::SimPlatform> platform_;
    std::unique_ptr<AppSession> session_;
};

}  // namespace corvel::test
