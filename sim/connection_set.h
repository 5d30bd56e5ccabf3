// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The threads of a server's accepted connections: one thread per connection, at most a fixed number at
// once, each closing its socket when it is done. The accept thread calls Launch, Backoff and Reap; any
// thread may call size(); StopAll ends every connection (its socket is shut down, the thread joined) and
// is called once the accept thread has ended.
#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "base/socket.h"

namespace velq_sim {

class ConnectionSet {
  public:
    // Starts a thread running `body`; throws std::system_error when none can be had (as std::thread does).
    using Spawner = std::function<std::thread(std::function<void()> body)>;
    enum class Launched { kStarted, kFull, kNoThread };

    explicit ConnectionSet(size_t max_connections, Spawner spawner = {});
    ~ConnectionSet();
    ConnectionSet(const ConnectionSet&) = delete;
    ConnectionSet& operator=(const ConnectionSet&) = delete;

    // Serves `accepted` with `serve` on a thread of its own, which closes the socket afterwards. kFull when
    // max_connections are still open and kNoThread when no thread could be started: the socket then stays
    // the caller's, to refuse and close. Finished threads are joined first.
    Launched Launch(corvel::SocketHandle accepted, std::function<void(corvel::SocketHandle)> serve);
    // Joins the threads that have finished.
    void Reap();
    // Connections whose threads are not joined yet, finished or not.
    size_t size();
    void StopAll();

  private:
    struct Slot {
        std::atomic<corvel::SocketHandle> socket{corvel::kInvalidSocket};
        std::thread thread;
        std::atomic<bool> done{false};  // set by the thread as its last step
    };
    void ReapLocked();

    const size_t max_connections_;
    Spawner spawner_;
    std::mutex mutex_;  // guards slots_
    std::vector<std::shared_ptr<Slot>> slots_;
};

// Pauses of an accept loop after failed accepts: descriptors or memory running out make accept fail at
// once while the connection stays queued, so retrying without a pause would spin. Each failure in a row
// doubles the pause up to a ceiling; a success resets it. Used by the accept thread only.
class AcceptBackoff {
  public:
    // The pause to take after this failure.
    std::chrono::milliseconds Failed();
    void Succeeded() { pause_ = std::chrono::milliseconds(0); }

  private:
    static constexpr std::chrono::milliseconds kFirst{10}, kCeiling{1000};
    std::chrono::milliseconds pause_{0};
};

}  // namespace velq_sim
