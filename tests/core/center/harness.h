// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A session logged in to a CenterPeer, for the byte-level tests of the center-server services.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <set>
#include <string>
#include <thread>

#include "corvel/corvel.h"
#include "peer.h"
#include "session/session.h"
#include "test_wait.h"
#include "test_window.h"

namespace corvel::test {

using namespace std::chrono_literals;

// Keep-alives and polls far apart unless a test asks otherwise, so the only traffic is the test's own.
inline CenterTiming QuietTiming() {
    CenterTiming timing;
    timing.status_interval_ms = 60000;
    timing.retry_pause_ms = 100;
    timing.poll_interval_ms = 60000;
    timing.socket_timeout_ms = 5000;
    return timing;
}

class CenterHarness : public ::testing::Test {
  protected:
    void Start(const CenterTiming& timing = QuietTiming()) {
        session_ = std::make_unique<AppSession>(&window_, VELQ_MESSAGE);
        session_->set_center_timing(timing);
        ASSERT_TRUE(session_->SetCenterServer("127.0.0.1", peer_.port(), peer_.udp_port()));
        ASSERT_TRUE(session_->Login("orvi", "480913"));
        ASSERT_TRUE(peer_.Accept());
    }
    // Logs in and answers the opening status request with an empty list: event 5 has arrived.
    void StartAccepted(const CenterTiming& timing = QuietTiming()) {
        Start(timing);
        Request first;
        ASSERT_TRUE(peer_.Read(&first));
        ASSERT_TRUE(peer_.Send(CenterPeer::Answer(first)));
        ASSERT_TRUE(window_.WaitFor(VELQ_EV_LOGIN_OK, 5s));
        ASSERT_TRUE(window_.WaitFor(VELQ_EV_LIST_BEGIN, 5s));  // that reply's (empty) list has been merged
    }
    // Reads the next request and answers it with these device records.
    void AnswerList(const std::vector<DeviceRecord>& records, Request* request = nullptr) {
        Request read;
        ASSERT_TRUE(peer_.Read(&read));
        ASSERT_TRUE(
            peer_.Send(CenterPeer::Answer(read, static_cast<uint32_t>(records.size()), Records(records))));
        if (request != nullptr) *request = read;
    }
    // Registers devices through a list reply to VelqApp_ShowAllDevice and waits for its end.
    void Register(const std::vector<DeviceRecord>& records) {
        const size_t before = window_.Count(VELQ_EV_LIST_BEGIN);
        ASSERT_TRUE(session_->ShowAllDevice());
        AnswerList(records);
        // The registry after the merge: what it held and every identifier of the list.
        std::set<std::string> ids;
        for (AppDevice* device : session_->Devices()) ids.insert(std::string(device->record.id()));
        for (const auto& record : records) ids.insert(std::string(record.id()));
        ASSERT_TRUE(window_.WaitFor(VELQ_EV_LIST_BEGIN, 5s, before + 1));
        ASSERT_TRUE(WaitForDeviceEvents(ids.size()));
    }
    // Waits until the events after the last 128 cover `n` devices.
    bool WaitForDeviceEvents(size_t n) {
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (std::chrono::steady_clock::now() < deadline) {
            if (DeviceEventsOfLastList().size() >= n) return true;
            std::this_thread::sleep_for(5ms);
        }
        return false;
    }
    // Codes of the events after the last 128.
    std::vector<uintptr_t> DeviceEventsOfLastList() {
        std::vector<uintptr_t> codes;
        for (const auto& event : window_.Events()) {
            if (event.code == VELQ_EV_LIST_BEGIN) codes.clear();
            if (event.code >= VELQ_EV_DEVICE_NEW && event.code <= VELQ_EV_DEVICE_GONE)
                codes.push_back(event.code);
        }
        return codes;
    }
    void TearDown() override {
        if (session_) session_->Logout();
        session_.reset();
    }

    TestWindow window_;
    CenterPeer peer_;
    std::unique_ptr<AppSession> session_;
};

}  // namespace corvel::test
