// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the library is given of a display window: the VelqWindow a channel posts its events to and presents
// its pictures into. A channel's video thread may outlive its stop time-out and present after the tile
// is gone, so the library never holds the tile itself: it holds this sink, which is shared, outlives the
// tile (whoever hands it to the library keeps a reference for as long as the session's threads may use
// it) and drops everything once the tile detaches.
#include <atomic>
#include <cstdint>
#include <mutex>

#include "corvel/window.h"

class TileSink : public VelqWindow {
  public:
    // `tile` takes what arrives until Detach; the sink never owns it.
    explicit TileSink(VelqWindow* tile) : tile_(tile) {}
    TileSink(const TileSink&) = delete;
    TileSink& operator=(const TileSink&) = delete;
    virtual ~TileSink() = default;

    // The tile's destructor (UI thread): from its return on, nothing reaches the tile. Waits for a picture
    // being handed over at that moment (a copy, never the UI thread's work).
    void Detach();
    bool attached() const;
    // Pictures and messages that came after Detach.
    uint64_t dropped() const { return dropped_.load(std::memory_order_relaxed); }

    // Any thread: handed to the tile while attached, else dropped (a picture counts as shown: the
    // presenter has nothing to retry).
    void PostMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) override;
    VelqPixelFormat PreferredFormat() const override;
    VelqPresentResult PresentPicture(const VelqPicture& picture) override;

  private:
    mutable std::mutex mutex_;  // held while the tile is called, and by Detach
    VelqWindow* tile_;
    std::atomic<uint64_t> dropped_{0};
};
