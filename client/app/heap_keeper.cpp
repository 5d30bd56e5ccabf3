// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/heap_keeper.h"

#include <malloc.h>

HeapKeeper::HeapKeeper(QObject* parent) : QObject(parent) {
    large_blocks_mapped_ = mallopt(M_MMAP_THRESHOLD, int(kMappedFrom_bytes)) == 1;
    // A trim walks each heap under its lock, a few milliseconds in all; once a minute keeps the pages that
    // small blocks leave free from adding up, at no cost the operator could see.
    trim_timer_.setInterval(kTrimPeriod_ms);
    connect(&trim_timer_, &QTimer::timeout, this, [] { malloc_trim(0); });
    trim_timer_.start();
}
