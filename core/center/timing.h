// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <cstdint>

namespace corvel {

// The pauses of the two center-server services. The defaults are the protocol's; tests shorten them so
// that reconnects and keep-alives can be watched without waiting seconds each. Set before Start.
struct CenterTiming {
    uint32_t status_interval_ms = 5000;  // idle status request (keep-alive)
    uint32_t retry_pause_ms = 5000;      // after a failed or lost connection
    uint32_t socket_timeout_ms = 30000;  // TCP send/receive
    uint32_t connect_timeout_ms = 20000;
    uint32_t poll_interval_ms = 4000;  // UDP poll resend and receive time-out
};

}  // namespace corvel
