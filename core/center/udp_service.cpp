// SPDX-License-Identifier: GPL-3.0-or-later
#include "center/udp_service.h"

#include <sys/socket.h>

#include <cerrno>

#include "base/tick.h"
#include "center/tcp_service.h"
#include "center/wire.h"
#include "session/session.h"

namespace corvel {

CAppUdpService::CAppUdpService(AppSession* session, CAppTcpService* tcp) : session_(session), tcp_(tcp) {}

CAppUdpService::~CAppUdpService() {
    Stop(kStopTimeoutMs);
    WaitForExit();
}

void CAppUdpService::Stop(uint32_t timeout_ms) {
    running_.store(0, std::memory_order_release);
    // The worker closes its own socket on the way out; waking it is enough.
    WakeSocket(socket_);
    CMyThread::Stop(timeout_ms);
    // An abandoned worker is still using its socket and closes it itself on the way out.
    if (WorkerExited()) CloseSocketOnce(socket_);
}

void CAppUdpService::QueueStatusRequest(uint64_t stamp) {
    tcp_->QueueStatusRequest(stamp);
}

uint16_t CAppUdpService::local_port() const {
    sockaddr_in local{};
    socklen_t length = sizeof(local);
    const SocketHandle socket = socket_.load(std::memory_order_acquire);
    if (socket == kInvalidSocket || getsockname(socket, reinterpret_cast<sockaddr*>(&local), &length) != 0)
        return 0;
    return ntohs(local.sin_port);
}

bool CAppUdpService::CreateSocket() {
    CloseSocketOnce(socket_);
    const SocketHandle fresh = socket(AF_INET, SOCK_DGRAM, 0);
    if (fresh < 0) return false;
    socket_.store(fresh, std::memory_order_release);
    const timeval timeout{static_cast<time_t>(timing_.poll_interval_ms / 1000),
                          static_cast<suseconds_t>((timing_.poll_interval_ms % 1000) * 1000)};
    return setsockopt(fresh, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout)) == 0;
}

int CAppUdpService::Run() {
    uint8_t datagram[PollDatagram::kBytes];
    PollDatagram::Encode(session_->session_id, datagram);
    while (running()) {
        // Step 2: a fresh socket, with the counters reset.
        send_count_ = 0;
        last_seen_stamp_ = 0;
        if (!CreateSocket()) {
            CloseSocketOnce(socket_);
            SleepWhileRunning(timing_.retry_pause_ms);
            continue;
        }
        Next next = Next::kResend;
        while (next == Next::kResend && running()) {
            // Step 3: the server's address, looked up again before every poll.
            sockaddr_in server{};
            if (!ResolveIPv4(session_->server_host, session_->udp_port, &server)) {
                SleepWhileRunning(timing_.retry_pause_ms);
                send_count_ = 0;
                last_seen_stamp_ = 0;
                continue;
            }
            // Only the server's answers count: a connected socket drops datagrams from any other sender.
            if (connect(socket_.load(std::memory_order_acquire), reinterpret_cast<const sockaddr*>(&server),
                        sizeof(server)) != 0) {
                next = running() ? Next::kRecreate : Next::kLeave;
                break;
            }
            next = PollOnce(datagram);
        }
        if (next == Next::kRecreate && running()) {
            CloseSocketOnce(socket_);
            SleepWhileRunning(timing_.retry_pause_ms);
        }
    }
    CloseSocketOnce(socket_);
    return 0;
}

CAppUdpService::Next CAppUdpService::PollOnce(const uint8_t* datagram) {
    const SocketHandle socket = socket_.load(std::memory_order_acquire);
    ++send_count_;
    // A failed send shows up as a receive error or time-out below and is retried like a lost datagram.
    (void)send(socket, datagram, PollDatagram::kBytes, MSG_NOSIGNAL);
    const uint32_t sent_at = TickCount32();
    while (running()) {
        if (TickCount32() - sent_at > timing_.poll_interval_ms) return Next::kResend;
        uint8_t answer[PollAnswer::kMaxBytes];
        const ssize_t got = recv(socket, answer, sizeof(answer), 0);
        if (got < 0) {
            switch (errno) {
                case EAGAIN:
                case EMSGSIZE:
                case ECONNREFUSED:  // the port-unreachable report of an earlier datagram
                case ETIMEDOUT:
                case EINTR:
                    return Next::kResend;
                default:
                    return running() ? Next::kRecreate : Next::kLeave;
            }
        }
        uint64_t stamp = 0;
        if (!PollAnswer::Decode(answer, static_cast<size_t>(got), &stamp)) continue;
        if (stamp < last_seen_stamp_) {
            // The server's poll stamps only grow while it runs: a lower one is a restarted server
            // counting from the start again. A poll stamp below the applied one alone is not a restart:
            // a server may stamp records higher than its poll answers, and the type-192 request for the
            // older stamp is then simply not sent.
            tcp_->ForgetStamps();
            QueueStatusRequest(0);
            last_seen_stamp_ = stamp;
            continue;
        }
        if (stamp != tcp_->newest_stamp()) {
            QueueStatusRequest(last_seen_stamp_);
            last_seen_stamp_ = stamp;
        } else if (send_count_ == 1) {
            QueueStatusRequest(last_seen_stamp_);
        }
    }
    return Next::kLeave;
}

}  // namespace corvel
