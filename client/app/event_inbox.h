// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one queue between the library's threads and the UI thread. Library threads post (code, value)
// pairs; the UI thread takes them out in arrival order. Posting never waits for the UI thread: it takes a
// short lock that the UI thread also holds only to move one event out.
//
// Floods stay bounded. A refresh of a large fleet reports every device as changed (event 130); such an
// event still queued for the same device, with no other event of that device after it, already stands
// for the new one (the handler reads the device's state when it runs), so the new one is merged into it.
// Beyond kMaxQueued events, those that carry no ownership and build no list (status words, transfer
// states, changes, failures) are dropped and counted; operations and all-device replies (the client must
// give them back) and the device list's events are always kept.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <unordered_set>
#include <utility>

class EventInbox {
  public:
    using Event = std::pair<uintptr_t, intptr_t>;
    static constexpr size_t kMaxQueued = size_t(1) << 16;

    // `wake` runs on the posting thread, outside the lock, when an event arrives at an inbox nobody is
    // draining: it must only schedule a drain (e.g. post to the UI thread) and return.
    explicit EventInbox(std::function<void()> wake) : wake_(std::move(wake)) {}

    // Any thread.
    void Post(uintptr_t code, intptr_t value);
    // The draining thread: the oldest event, or false when none is left; after false the next Post wakes
    // again. A drain that stops while Take would still give events must schedule itself again.
    bool Take(Event* event);

    struct Counts {
        uint64_t received = 0;   // every post
        uint64_t coalesced = 0;  // merged into a change still queued
        uint64_t dropped = 0;    // refused while the queue was full
        size_t queued = 0;
    };
    Counts counts() const;

  private:
    // Event codes whose value is a device that the coalescing rule follows.
    static bool NamesDevice(uintptr_t code);
    static bool MayDrop(uintptr_t code);

    std::function<void()> wake_;
    mutable std::mutex mutex_;  // guards everything below
    std::deque<Event> queue_;
    std::unordered_set<intptr_t> change_queued_;  // devices with an event 130 queued and none after it
    bool draining_ = false;                       // a wake was sent and Take has not run dry since
    Counts counts_;
};
