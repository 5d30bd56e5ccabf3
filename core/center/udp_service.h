// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <atomic>
#include <cstdint>

#include "base/socket.h"
#include "base/thread.h"
#include "center/timing.h"

struct AppSession;

namespace corvel {

class CAppTcpService;

// Polls the center server's status stamp over UDP every poll interval and, when the stamp differs from
// the newest one the TCP service applied, queues a status request on the TCP service (which fetches only
// what changed). It never touches the registry. The socket is connected to the server's address after
// every look-up, so answers from any other sender never arrive. A stamp lower than one the server gave
// before means the server restarted: the TCP service forgets its stamps and a full status list is asked
// for, after which type-192 requests follow the new server's stamps.
//
// Threads: Start/Stop from the client's thread; Run on the worker, which reads the session's host, port
// and identifier and the TCP service's newest stamp, and takes operations from the session's pool.
class CAppUdpService : public CMyThread {
  public:
    CAppUdpService(AppSession* session, CAppTcpService* tcp);
    ~CAppUdpService() override;

    void Stop(uint32_t timeout_ms) override;
    int Run() override;
    const char* ThreadName() const override { return "corvel-udp"; }
    void set_timing(const CenterTiming& timing) { timing_ = timing; }

    // Queues a status request for `stamp` on the TCP service: type 192 with a status request record when
    // the stamp is not 0, a full status list (type 130) when it is. Nothing when no operation can be had.
    void QueueStatusRequest(uint64_t stamp);
    // The local port of the poll socket, 0 while there is none (for tests and diagnostics).
    uint16_t local_port() const;

  private:
    enum class Next { kResend, kRecreate, kLeave };
    // Steps 4 and 5: send the poll and handle answers until a resend is due or the socket failed.
    Next PollOnce(const uint8_t* datagram);
    bool CreateSocket();

    AppSession* const session_;
    CAppTcpService* const tcp_;
    CenterTiming timing_;
    std::atomic<SocketHandle> socket_{kInvalidSocket};
    uint32_t send_count_ = 0;
    uint64_t last_seen_stamp_ = 0;
};

}  // namespace corvel
