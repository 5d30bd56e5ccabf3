// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

#include "base/event.h"
#include "base/socket.h"
#include "base/thread.h"
#include "center/reply_reader.h"
#include "center/timing.h"
#include "center/wire.h"

struct AppSession;
struct AppOperation;
struct AppDevice;

namespace corvel {

// The session's connection to the center server: one worker that keeps a TCP connection, sends one
// request at a time from its queue (or, when idle, a status request every status interval, which is also
// the keep-alive), reads the reply and turns it into registry updates and events.
//
// Threads: Queue may be called from any thread (client exports, the UDP service); Start/Stop from the
// client's thread; everything else runs on the worker. The queue is guarded by `queue_lock_`; the socket
// is an atomic handle that Stop shuts down to unblock the worker, which then closes it. The worker reaches
// the session only through its registry merge, pools and PostEvent.
class CAppTcpService : public CMyThread {
  public:
    explicit CAppTcpService(AppSession* session);
    ~CAppTcpService() override;

    // Queues an operation (the service owns it until it posts or recycles it). Requests go out in the order
    // queued: insert at the front, the worker takes from the back.
    void Queue(AppOperation* operation);
    // Clears running, wakes the worker out of its socket and its wait for work, joins (timeout_ms), clears
    // the stamp and drops what is still queued.
    void Stop(uint32_t timeout_ms) override;
    int Run() override;
    const char* ThreadName() const override { return "corvel-tcp"; }

    // The newest status stamp whose records were applied; read by the UDP service.
    uint64_t newest_stamp() const { return newest_stamp_.load(std::memory_order_acquire); }
    // Called by the UDP service when the server restarted (its stamps went back): clears the newest
    // applied stamp and drops the queued type-192 requests, whose stamps belong to the old server; a
    // type-192 reply to a request taken before this call no longer moves the applied stamp. Any thread.
    void ForgetStamps();
    void set_timing(const CenterTiming& timing) { timing_ = timing; }
    // Requests waiting to be sent (for tests and diagnostics).
    size_t queued_count();

    // Reads and handles one reply to `request` from `socket` exactly as the worker does (steps 4 to 7),
    // with `operation` as the request in flight, then recycles what the handling left. For fuzzing the
    // reply handlers without a server; only while the service is stopped. False when the worker would
    // reconnect or stop afterwards.
    bool HandleReplyOffline(SocketHandle socket, const AppPacketHeader& request, AppOperation* operation);

  private:
    enum class Step { kNext, kReconnect, kLeave };

    bool Connect();
    // Step 8: recycle the current operation, wait for work and send it. kReconnect on a send failure.
    Step SendNext();
    // Steps 4 to 7 for one reply.
    Step ReceiveReply();
    // Step 7, by the type of the request sent; each consumes the whole reply data.
    Step HandleAnswer(ReplyReader& reader);
    Step HandleAddDevice(ReplyReader& reader);
    Step HandleList(ReplyReader& reader);
    Step HandleControl(ReplyReader& reader);
    Step HandleStatus(ReplyReader& reader);
    // Makes `stamp` the newest applied one (when `only_newer`, only if it is newer) unless the request in
    // flight predates the last ForgetStamps. True when the record carrying it is to be applied.
    bool AdvanceStamp(uint64_t stamp, bool only_newer);
    static Step Drain(ReplyReader& reader) { return reader.SkipRest() ? Step::kNext : Step::kReconnect; }
    // Drops every queued request (logout invalidates the devices they name).
    void DropQueued();
    // Puts the current operation (and a client device of state 0 that it concerns) back into the pools.
    void RecycleCurrent();
    // Posts event 65/66 with the current operation's kind when it has one.
    void PostFailure(uint32_t code);
    AppOperation* TakeQueued();

    AppSession* const session_;
    CenterTiming timing_;
    std::atomic<SocketHandle> socket_{kInvalidSocket};
    uint32_t last_status_tick_ = 0;
    uint32_t sequence_ = 0;

    std::mutex queue_lock_;
    std::deque<AppOperation*> queue_;  // front = newest
    Event work_event_;

    AppOperation* current_ = nullptr;  // the request in flight
    AppPacketHeader request_;          // the header last sent
    uint64_t request_stamp_ = 0;       // stamp of the type-192 request last sent
    uint32_t request_epoch_ = 0;       // stamp epoch when the request last sent was taken from the queue
    uint32_t taken_epoch_ = 0;         // stamp epoch when TakeQueued last ran (under queue_lock_)
    uint32_t stamp_epoch_ = 0;         // counts ForgetStamps calls (under queue_lock_)
    AppReplyHeader reply_;             // the header just read
    std::vector<uint8_t> read_buffer_;
    std::atomic<uint64_t> newest_stamp_{0};
};

}  // namespace corvel
