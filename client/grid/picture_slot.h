// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A display window's pictures on their way from a video thread to the paint. Pictures pass producer ->
// newest -> shown. The producer fills a spare image (its own), then swaps it with the newest under the
// lock; the paint swaps the newest with the shown one (the UI thread's own) under the same lock and draws
// the shown one without it. The lock is held only for the swaps, so a video thread never waits for a
// paint. While refusing (a released channel), pictures are dropped until the next Accept.
//
// Fitting: the producer also scales each picture, once, to the size it is drawn at in its tile (the tile's
// size and aspect rule come from the UI thread through one atomic word, never a lock the paint holds), so
// that a paint of a grid of small tiles only blits. The picture at its own size stays beside it for what
// needs the whole picture (a zoomed tile, a copy, a snapshot's comparison, a drag).
#include <QImage>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <vector>

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

    // A picture as it travels: at its own size, and fitted to the tile when `fitted_valid`.
    struct Frame {
        QImage full;
        QImage fitted;  // kept at its size between pictures, so that fitting allocates only on a resize
        bool fitted_valid = false;
    };

    // Any thread (the UI thread, at a resize or a change of the aspect rule or zoom): pictures from now on
    // are also fitted into the part of a `tile`-sized tile TileView::PictureRect gives them; an empty
    // `tile` stops fitting (a zoomed tile draws a part of the whole picture).
    void SetFit(const QSize& tile, bool keep_aspect);

    // UI thread: the newest picture becomes the shown one (when there is a newer one); returns it.
    const Frame& TakeForPaint();
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

    // Producer, under produce_mutex_: spare_.fitted from the picture, nearest pixel (as the grid's
    // unsmoothed paint took it), through column and row tables rebuilt only when a size changes.
    void Fit(const VelqPicture& picture, int bytes_per_pixel, QImage::Format format);

    std::atomic<uint64_t> fit_{0};  // the tile's width, height and aspect rule (SetFit); 0: no fitting
    std::mutex produce_mutex_;      // one producer at a time; guards spare_, refusing_, the tables
    Frame spare_;
    bool refusing_ = false;
    std::vector<int> fit_columns_;  // for each fitted column, the picture's column
    std::vector<int> fit_rows_;
    QSize fit_from_;            // the picture size the tables were made for
    mutable std::mutex mutex_;  // guards latest_, latest_new_, latest_at_, counters_
    Frame latest_;
    bool latest_new_ = false;
    Clock::time_point latest_at_;
    Counters counters_;
    Frame shown_;  // UI thread only
};
