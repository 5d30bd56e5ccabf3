// SPDX-License-Identifier: GPL-3.0-or-later
#include "grid/tile_sink.h"

void TileSink::Detach() {
    std::lock_guard lock(mutex_);
    tile_ = nullptr;
}

bool TileSink::attached() const {
    std::lock_guard lock(mutex_);
    return tile_ != nullptr;
}

void TileSink::PostMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    std::lock_guard lock(mutex_);
    if (tile_)
        tile_->PostMessage(message, wParam, lParam);
    else
        dropped_.fetch_add(1, std::memory_order_relaxed);
}

VelqPixelFormat TileSink::PreferredFormat() const {
    std::lock_guard lock(mutex_);
    return tile_ ? tile_->PreferredFormat() : VELQ_PIX_BGRA32;
}

VelqPresentResult TileSink::PresentPicture(const VelqPicture& picture) {
    std::lock_guard lock(mutex_);
    if (tile_) return tile_->PresentPicture(picture);
    dropped_.fetch_add(1, std::memory_order_relaxed);
    return VELQ_PRESENT_OK;
}
