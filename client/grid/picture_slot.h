// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A display window's pictures on their way from a video thread to the paint. Pictures pass producer ->
// newest -> shown. The producer fills a spare image (its own), then swaps it with the newest under the
// lock; the paint swaps the newest with the shown one (the UI thread's own) under the same lock and draws
// the shown one without it. The lock is held only for the swaps, so a video thread never waits for a
// paint. While refusing (a released channel), pictures are dropped until the next Accept.
#include <QImage>
#include <chrono>
#include <cstdint>
#include <mutex>

#include "corvel/window.h"

class PictureSlot {
  public:
    // What the slot did with the pictures it was given (the benchmark reads these).
    struct Counters {
        uint64_t presented = 0;           // pictures handed over by the library
        uint64_t painted = 0;             // pictures drawn at least once
        uint64_t replaced_unpainted = 0;  // pictures overwritten by a newer one before a paint took them
        uint64_t late = 0;  // pictures that waited longer than kFramePeriod_us for a paint (painted or not)
        int64_t max_present_to_paint_us = 0;  // longest wait of a painted picture for its paint
        int64_t max_unpainted_us = 0;         // longest time a replaced picture stood unpainted
    };
    // One frame period at 25 frames a second: a picture should be painted, or replaced, within it.
    static constexpr int64_t kFramePeriod_us = 40000;

    // Any thread: copies the picture into the newest place. FAILED for a format or geometry the slot
    // cannot show, LOST when memory runs out (the presenter tries again), OK otherwise, also when the
    // picture was dropped (refusing); `taken` says whether it was kept.
    VelqPresentResult Put(const VelqPicture& picture, bool* taken);

    // UI thread: the newest picture becomes the shown one (when there is a newer one); returns it.
    const QImage& TakeForPaint();
    // UI thread: the shown picture, or the newest when none is shown yet (null without either).
    QSize PictureSize() const;
    bool HasPicture() const;
    QImage Current() const;

    // UI thread: a channel is about to be bound (Accept) or was released (Refuse, which also forgets every
    // picture).
    void Accept();
    void Refuse();

    Counters Stats() const;
    void ResetStats();

  private:
    using Clock = std::chrono::steady_clock;

    std::mutex produce_mutex_;  // one producer at a time; guards spare_, refusing_
    QImage spare_;
    bool refusing_ = false;
    mutable std::mutex mutex_;  // guards latest_, latest_new_, latest_at_, counters_
    QImage latest_;
    bool latest_new_ = false;
    Clock::time_point latest_at_;
    Counters counters_;
    QImage shown_;  // UI thread only
};
