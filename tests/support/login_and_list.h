// SPDX-License-Identifier: GPL-3.0-or-later
// Logging a session of the library in to a center on 127.0.0.1 and listing its fleet, for the tests that
// run against velq-sim. Failures are gtest fatal failures: call through ASSERT_NO_FATAL_FAILURE or check
// HasFatalFailure() when more must not run after them.
#pragma once
#include <gtest/gtest.h>

#include <chrono>
#include <cstddef>
#include <cstdint>

#include "corvel/corvel.h"
#include "session/session.h"
#include "test_wait.h"
#include "test_window.h"

namespace corvel::test {

// Points the session at the center and starts the login (it goes on on the library's threads).
inline void Login(AppSession& session, uint16_t tcp_port, uint16_t udp_port, const char* user = "orvi",
                  const char* password = "480913") {
    ASSERT_EQ(VelqApp_SetCenterServer(&session, "127.0.0.1", tcp_port, udp_port), 1);
    ASSERT_EQ(VelqApp_Login(&session, user, password), 1);
}

// Waits for event 5 on `window`, then lists every device of the fleet (`devices` of them) into the
// registry; `list_timeout` bounds the wait for the list.
inline void AwaitLoginAndList(AppSession& session, TestWindow& window, size_t devices,
                              std::chrono::milliseconds list_timeout = std::chrono::seconds(5)) {
    ASSERT_TRUE(window.WaitFor(VELQ_EV_LOGIN_OK, std::chrono::seconds(5)));
    ASSERT_EQ(VelqApp_ShowAllDevice(&session), 1);
    ASSERT_TRUE(WaitUntil([&] { return session.DeviceCount() == devices; }, list_timeout));
}

// Logs in with the default account and lists the whole fleet.
inline void LoginAndList(AppSession& session, TestWindow& window, uint16_t tcp_port, uint16_t udp_port,
                         size_t devices, std::chrono::milliseconds list_timeout = std::chrono::seconds(5)) {
    Login(session, tcp_port, udp_port);
    if (::testing::Test::HasFatalFailure()) return;
    AwaitLoginAndList(session, window, devices, list_timeout);
}

}  // namespace corvel::test
