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
// every look-up, so answers from any other sender never arrive. A poll stamp lower than the last one the
// server answered means it restarted: the TCP service forgets its applied stamps and a full status list is
// asked for, after which type-192 requests follow the new server's stamps (the TCP service also forgets
// them when it logs in again after losing its connection). A poll stamp merely below the applied one is no
// restart: the type-192 request for it is then not sent.
//
// Threads: Start/Stop from the client's thread; Run on the worker, which reads the session's host, port
// and identifier and the TCP service's newest stamp, and asks the TCP service for status requests. The
// TCP service holds at most one of those at a time, so answers arriving as fast as the network carries
// them cost this worker's time, never memory.
class CAppUdpService : public CMyThread {
  public:
    CAppUdpService(AppSession* session, CAppTcpService* tcp);
    ~CAppUdpService() override;

    void Stop(uint32_t timeout_ms) override;
    int Run() override;
    const char* ThreadName() const override { return "corvel-udp"; }
    void set_timing(const CenterTiming& timing) { timing_ = timing; }

    // Asks the TCP service for a status request for `stamp` (CAppTcpService::QueueStatusRequest: type 192,
    // or a full list for 0; while one is held, folded into its single follow-up).
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
