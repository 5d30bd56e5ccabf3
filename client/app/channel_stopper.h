// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Runs the library's stop calls of channels on a worker thread of its own, so that the UI thread never
// waits for a transfer or video thread to end (each stop may wait up to the library's join time-out).
//
// A stop is keyed by the channel's device and number. A start of the same key waits until every stop of
// that key queued before it has ended, and then runs on the UI thread (never blocking it meanwhile): two
// channels of one camera must not stream at once, and a start must not race the stop of its own channel
// inside the library. A stop queued after a start that still waits cancels that start: the stop has the
// last word, as it would have had the start run at once.
//
// Threads: every member is called on the UI thread (the thread that made the stopper); the worker runs
// only the stop jobs. `post` hands a callable to the UI thread's event loop; it is called from the worker
// and must not block.
#include <compare>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

struct AppChannel;
struct AppDevice;

class ChannelStopper {
  public:
    // Which camera a stop or start concerns.
    struct Key {
        const AppDevice* device = nullptr;
        int number = 0;
        auto operator<=>(const Key&) const = default;
    };
    using Job = std::function<void()>;
    using Post = std::function<void(Job)>;

    // `post` runs a job on the UI thread later (QueuedPost: through the Qt event loop).
    explicit ChannelStopper(Post post);
    // Finishes what is queued (Finish), then ends the worker.
    ~ChannelStopper();
    ChannelStopper(const ChannelStopper&) = delete;
    ChannelStopper& operator=(const ChannelStopper&) = delete;

    // The Qt event loop of the application's (UI) thread.
    static Post QueuedPost();
    // The key of a bound channel, from the library (device and number).
    static Key KeyOf(AppChannel* channel);

    // Queues `stop` (library calls on a channel the UI no longer uses) for the worker and returns at once.
    // `done`, when given, runs on the UI thread once the stop has ended (before the starts it held back),
    // unless Finish came first.
    void Stop(Key key, Job stop, Job done = {});
    // Runs `start` now when no stop of `key` is pending; otherwise queues it to run on the UI thread once
    // the last of them has ended (unless a later Stop of the key cancels it). True when it ran now.
    bool StartAfterStops(Key key, Job start);
    bool Pending(Key key) const { return pending_.count(key) != 0; }
    size_t PendingCount() const;

    // Forgets every start still waiting, and the stops' reports still to come leave none behind: a logout
    // makes the channels they were for dead. The stops themselves still run, in order.
    void DropStarts();

    // Blocks until every queued stop has run: the library's logout and destruction must not overlap a
    // stop. Starts still waiting are dropped (they were for channels of the login that ends), and so are
    // the reports of stops already posted to the UI thread.
    void Finish();

  private:
    struct PendingKey {
        int stops = 0;  // stops of the key queued and not yet reported done
        std::vector<Job> starts;
    };

    void Run();
    // UI thread: the worker ran a stop of `key` queued during `epoch`.
    void Stopped(Key key, uint64_t epoch, const Job& done);

    Post post_;
    // UI thread only.
    std::map<Key, PendingKey> pending_;
    uint64_t epoch_ = 0;  // counts Finish calls
    // Reports posted to the UI thread find the stopper through this, or nothing once it is gone.
    std::shared_ptr<ChannelStopper*> self_;

    std::mutex mutex_;  // guards queue_, running_, quit_
    std::condition_variable wake_;
    std::condition_variable idle_;
    struct Queued {
        Key key;
        uint64_t epoch;
        Job stop;
        Job done;
    };
    std::deque<Queued> queue_;
    bool running_ = false;
    bool quit_ = false;
    std::thread worker_;  // last: starts after everything it reads
};
