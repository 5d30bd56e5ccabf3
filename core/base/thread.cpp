// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/thread.h"

#include <pthread.h>

#include <chrono>

#include "base/tick.h"

namespace corvel {

CMyThread::~CMyThread() {
    running_.store(0, std::memory_order_release);
    WaitForExit();
    if (thread_.joinable()) thread_.join();
}

bool CMyThread::Start() {
    if (has_thread_.load(std::memory_order_acquire)) return false;
    if (exit_) {
        // An abandoned worker must not be revived by the new running flag, nor share the object with a new
        // one.
        std::lock_guard lock(exit_->mutex);
        if (!exit_->exited) return false;
    }
    if (thread_.joinable()) thread_.join();
    running_.store(1, std::memory_order_release);
    auto exit_state = std::make_shared<ExitState>();
    try {
        // Read here, not on the worker: the object's type may already be unwinding when a short Run ends.
        const char* name = ThreadName();
        thread_ = std::thread([this, exit_state, name] {
            pthread_setname_np(pthread_self(), name);
            Run();
            // After this point the worker touches only its own exit state, never the object.
            std::lock_guard lock(exit_state->mutex);
            exit_state->exited = true;
            exit_state->cv.notify_all();
        });
    } catch (const std::system_error&) {
        return false;
    }
    exit_ = std::move(exit_state);
    has_thread_.store(true, std::memory_order_release);
    return true;
}

void CMyThread::Stop(uint32_t timeout_ms) {
    running_.store(0, std::memory_order_release);
    if (!has_thread_.load(std::memory_order_acquire)) return;
    bool exited;
    {
        std::unique_lock lock(exit_->mutex);
        exited =
            exit_->cv.wait_for(lock, std::chrono::milliseconds(timeout_ms), [this] { return exit_->exited; });
    }
    if (exited) {
        thread_.join();
    } else {
        thread_.detach();  // abandoned; exit_ stays so that Start and the destructor can see it finish
    }
    has_thread_.store(false, std::memory_order_release);
}

bool CMyThread::WorkerExited() const {
    if (!exit_) return true;
    std::lock_guard lock(exit_->mutex);
    return exit_->exited;
}

void CMyThread::WaitForExit() {
    if (!exit_) return;
    std::unique_lock lock(exit_->mutex);
    exit_->cv.wait(lock, [this] { return exit_->exited; });
}

void CMyThread::SleepWhileRunning(uint32_t timeout_ms) {
    const uint32_t start = TickCount32();
    while (running() && TickCount32() - start < timeout_ms) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

}  // namespace corvel
