// SPDX-License-Identifier: GPL-3.0-or-later
#include "grid/repaint_pacer.h"

#include <chrono>

int64_t RepaintPacer::NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void RepaintPacer::Arrived() {
    last_picture_ms_.store(NowMs(), std::memory_order_relaxed);
    if (paced_.load(std::memory_order_relaxed)) {
        dirty_.store(true, std::memory_order_release);
    } else if (!update_posted_.exchange(true)) {
        // Queued to the tile: it runs on the UI thread, and not at all once the tile is gone.
        QMetaObject::invokeMethod(
            &tile_,
            [this] {
                update_posted_.store(false);
                repaint_();
            },
            Qt::QueuedConnection);
    }
}

void RepaintPacer::RepaintIfDirty() {
    if (dirty_.exchange(false, std::memory_order_acq_rel)) repaint_();
}
