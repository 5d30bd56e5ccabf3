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
    // Queues the status poll's request for `stamp`: type 192 with a status request record when the stamp is
    // not 0, a full status list (type 130) when it is; nothing when no operation can be had. Any thread (the
    // UDP service's worker).
    //
    // At most one such request is held at a time, from here until its reply has been handled (or it was
    // skipped as older than the applied stamp, dropped by ForgetStamps, or lost with the connection), so a
    // flood of poll answers costs neither memory nor a queue. A request asked for meanwhile is folded into
    // a single follow-up, queued when the held one is done:
    // - a stamp of 0 makes the follow-up a full status list (whatever else was folded in: the full list and
    //   the next poll answer that still differs from the applied stamp stand for it);
    // - otherwise it is a type-192 request. When it is taken for sending, it asks from the first stamp folded
    //   in, or from the applied stamp if that is newer but not newer than the last stamp folded in (one
    //   request for everything that the folded requests still due would have fetched); when every folded
    //   stamp is older than the applied one it is skipped like any stale request.
    // ForgetStamps drops the type-192 stamps folded in, which belong to the server that went away.
    void QueueStatusRequest(uint64_t stamp);
    // Clears running, wakes the worker out of its socket and its wait for work, joins (timeout_ms), clears
    // the stamp and drops what is still queued.
    void Stop(uint32_t timeout_ms) override;
    int Run() override;
    const char* ThreadName() const override { return "corvel-tcp"; }

    // The newest status stamp whose records were applied; read by the UDP service.
    uint64_t newest_stamp() const { return newest_stamp_.load(std::memory_order_acquire); }
    // Called when the server restarted (by the UDP service when its poll stamps went back, by the worker
    // when it logs in again after losing its connection): clears the newest applied stamp and drops the
    // queued type-192 requests, whose stamps belong to the old server; a type-192 reply to a request taken
    // before this call no longer moves the applied stamp. Any thread.
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
    // Drops every queued request (logout invalidates the devices they name) and the poll's follow-up.
    void DropQueued();
    // Puts the current operation (and a client device of state 0 that it concerns) back into the pools,
    // unless it is the poll's status request with a follow-up due: then it goes out again as that.
    void RecycleCurrent();
    // Under queue_lock_: the held status request `operation` is done. True when it was refilled as the
    // follow-up and queued again (the caller leaves it alone), false when it is to be recycled.
    bool RequeueFollowUpLocked(AppOperation* operation);
    // Under queue_lock_: notes a status request asked for while one is held.
    void FoldLocked(uint64_t stamp);
    // Under queue_lock_: a held type-192 follow-up about to be sent asks from the applied stamp when that
    // lies between its first and last folded stamps.
    void RaiseFollowUpStampLocked(AppOperation* operation);
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
    // The poll's status request (under queue_lock_): the one held, queued or in flight, and the newest stamp
    // folded into it; what was asked for since, to go out once the held one is done.
    enum class FollowUp { kNone, kSince, kFullList };
    AppOperation* status_held_ = nullptr;
    uint64_t held_last_stamp_ = 0;
    FollowUp follow_up_ = FollowUp::kNone;
    uint64_t follow_up_first_ = 0;
    uint64_t follow_up_last_ = 0;
    AppReplyHeader reply_;  // the header just read
    std::vector<uint8_t> read_buffer_;
    std::atomic<uint64_t> newest_stamp_{0};
};

}  // namespace corvel
