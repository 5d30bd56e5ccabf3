// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A velq-sim center server in the test process on kernel-picked ports of 127.0.0.1, and a session of the
// library logged in to it.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "center_server.h"
#include "corvel/corvel.h"
#include "login_and_list.h"
#include "session/session.h"
#include "test_wait.h"
#include "test_window.h"

namespace corvel::test {

using namespace std::chrono_literals;

class SimHarness : public ::testing::Test {
  protected:
    static velq_sim::CenterConfig QuietConfig() {
        velq_sim::CenterConfig config;
        config.tcp_port = 0;
        config.udp_port = 0;
        config.log = false;
        config.tick_ms = 0;  // the tests move the fleet themselves
        return config;
    }
    static CenterTiming FastTiming() {
        CenterTiming timing;
        timing.status_interval_ms = 1000;
        timing.retry_pause_ms = 200;
        timing.poll_interval_ms = 150;
        timing.socket_timeout_ms = 5000;
        return timing;
    }
    void StartServer(velq_sim::CenterConfig config = QuietConfig(),
                     velq_sim::Fleet fleet = velq_sim::Fleet::Default()) {
        server_ = std::make_unique<velq_sim::CenterServer>(std::move(config), std::move(fleet));
        std::string error;
        ASSERT_TRUE(server_->Start(&error)) << error;
    }
    void Login(const char* user = "orvi", const char* password = "480913") {
        session_ = std::make_unique<AppSession>(&window_, VELQ_MESSAGE);
        session_->set_center_timing(FastTiming());
        test::Login(*session_, server_->tcp_port(), server_->udp_port(), user, password);
    }
    // Logs in, waits for event 5 and lists every device of the fleet into the registry.
    void LoginAndList() {
        Login();
        if (HasFatalFailure()) return;
        AwaitLoginAndList(*session_, window_, server_->fleet().size());
    }
    template <typename Predicate>
    static bool WaitUntil(Predicate done, std::chrono::milliseconds timeout = 5s) {
        return test::WaitUntil(done, timeout);
    }
    // Waits until the client has applied every status change the server has made so far.
    bool WaitInStep() {
        return WaitUntil([&] { return session_->tcp_service().newest_stamp() == server_->fleet().stamp(); });
    }
    AppOperation* AwaitOperation(size_t done_before) {
        if (!window_.WaitFor(VELQ_EV_OPERATION_DONE, 5s, done_before + 1)) return nullptr;
        for (const auto& e : window_.Events()) {
            if (e.code == VELQ_EV_OPERATION_DONE && done_before-- == 0)
                return reinterpret_cast<AppOperation*>(e.value);
        }
        return nullptr;
    }
    void TearDown() override {
        if (session_) session_->Logout();
        session_.reset();
        if (server_) server_->Stop();
    }

    TestWindow window_;
    std::unique_ptr<velq_sim::CenterServer> server_;
    std::unique_ptr<AppSession> session_;
};

}  // namespace corvel::test
