// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

namespace corvel {

// Join time-out that every owner passes to Stop().
inline constexpr uint32_t kStopTimeoutMs = 10000;

// Base of every worker thread. The controlling thread (the client's, through the exports) calls Start, Stop
// and the destructor; Run executes on the worker and polls running() to know when to leave.
//
// Sockets: a worker blocked in recv/send is woken by WakeSocket (shutdown, no close) from Stop; the worker
// closes its socket with CloseSocketOnce on its own thread, and Stop closes it only when WorkerExited().
//
// Abandonment: Stop waits at most timeout_ms; a worker that has not returned by then is detached and
// "abandoned", the handle is cleared and the owner carries on. Such a worker may still be inside Run, so:
//  - Start refuses (returns false) while an abandoned worker of the same object has not returned yet;
//  - a subclass whose Run touches its own members calls WaitForExit() at the top of its destructor (after
//    stopping), and the base destructor waits too, so no worker ever runs on freed memory. The wait is
//    bounded in practice by the socket time-outs that every blocking call of a worker carries.
class CMyThread {
  public:
    CMyThread() = default;
    CMyThread(const CMyThread&) = delete;
    CMyThread& operator=(const CMyThread&) = delete;
    virtual ~CMyThread();

    // Sets running to 1 and starts a thread that calls Run(). False when no thread could be made (running
    // stays 1, no handle) or when a thread handle is still held or an abandoned worker is still inside Run.
    virtual bool Start();
    // Clears running and, when a handle is held, waits up to timeout_ms for Run to return, then drops the
    // handle whether it returned or not. Overrides close their socket or set their event first.
    virtual void Stop(uint32_t timeout_ms);
    // The thread body; returns 0 once running() reads 0.
    virtual int Run() = 0;
    // The worker's name as `top -H` and debuggers show it (at most 15 characters, a string literal), read
    // by Start on the controlling thread and set on the worker before Run.
    virtual const char* ThreadName() const { return "corvel"; }
    // Sleeps in 10 ms steps while running, until timeout_ms have passed on the 32-bit tick.
    void SleepWhileRunning(uint32_t timeout_ms);

    // True while a thread handle is held: from a successful Start until Stop, even when Run has returned.
    bool HasThread() const { return has_thread_.load(std::memory_order_acquire); }
    bool running() const { return running_.load(std::memory_order_acquire) != 0; }
    // True when no worker of this object is inside Run (none started, or the last one returned). A Stop
    // override closes the worker's socket itself only then; an abandoned worker closes its own on leaving.
    bool WorkerExited() const;

  protected:
    // Blocks until the last started worker has left Run (returns at once when none was started).
    void WaitForExit();

    std::atomic<uint32_t> running_{0};

  private:
    struct ExitState {
        std::mutex mutex;
        std::condition_variable cv;
        bool exited = false;
    };
    std::thread thread_;
    std::shared_ptr<ExitState> exit_;  // of the last started worker, kept while it may still run
    std::atomic<bool> has_thread_{false};
};

}  // namespace corvel
