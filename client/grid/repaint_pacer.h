// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// When a display window repaints for its pictures. Paced, a new picture only marks the window and the
// grid's repaint clock calls RepaintIfDirty, so that the pictures of many windows reach the screen in one
// paint per tick; unpaced, a picture asks for one queued repaint, and later pictures ride on it until it
// has run. Arrived runs on any thread (a channel's video thread) and never waits; the rest on the UI
// thread. A member of the tile it repaints.
#include <QWidget>
#include <atomic>
#include <cstdint>
#include <functional>

class RepaintPacer {
  public:
    // `repaint` (UI thread) asks for the repaint a new picture needs; by default the whole tile's.
    explicit RepaintPacer(QWidget& tile, std::function<void()> repaint = {})
        : tile_(tile), repaint_(repaint ? std::move(repaint) : [&tile] { tile.update(); }) {}

    // Milliseconds of the steady clock, the pacer's and the tile's time base.
    static int64_t NowMs();

    // A picture was taken for the tile.
    void Arrived();
    void SetPaced(bool paced) { paced_.store(paced, std::memory_order_relaxed); }
    void RepaintIfDirty();
    // When the newest picture arrived (0: none yet).
    int64_t lastPictureMs() const { return last_picture_ms_.load(std::memory_order_relaxed); }

  private:
    QWidget& tile_;
    std::function<void()> repaint_;
    std::atomic<bool> update_posted_{false};
    std::atomic<bool> paced_{false};
    std::atomic<bool> dirty_{false};
    std::atomic<int64_t> last_picture_ms_{0};
};
