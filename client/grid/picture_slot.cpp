// SPDX-License-Identifier: GPL-3.0-or-later
#include "grid/picture_slot.h"

#include <algorithm>
#include <cstring>

VelqPresentResult PictureSlot::Put(const VelqPicture& picture, bool* taken) {
    *taken = false;
    QImage::Format format;
    int bytes_per_pixel;
    switch (picture.format) {
        case VELQ_PIX_BGRA32:  // B, G, R, A in memory: RGB32 on a little-endian machine
            format = QImage::Format_RGB32;
            bytes_per_pixel = 4;
            break;
        case VELQ_PIX_RGB565:
            format = QImage::Format_RGB16;
            bytes_per_pixel = 2;
            break;
        default:
            return VELQ_PRESENT_FAILED;
    }
    if (picture.width <= 0 || picture.height <= 0 || !picture.plane[0] ||
        picture.stride[0] < picture.width * bytes_per_pixel) {
        return VELQ_PRESENT_FAILED;
    }
    std::lock_guard produce(produce_mutex_);
    if (refusing_) return VELQ_PRESENT_OK;  // a released channel's last picture: dropped
    if (spare_.width() != picture.width || spare_.height() != picture.height || spare_.format() != format) {
        spare_ = QImage(picture.width, picture.height, format);
        if (spare_.isNull()) return VELQ_PRESENT_LOST;  // no memory now; the presenter tries again
    }
    const size_t row_bytes = static_cast<size_t>(picture.width) * bytes_per_pixel;
    for (int y = 0; y < picture.height; ++y) {
        std::memcpy(spare_.scanLine(y), picture.plane[0] + static_cast<ptrdiff_t>(y) * picture.stride[0],
                    row_bytes);
    }
    std::lock_guard lock(mutex_);
    std::swap(spare_, latest_);
    const Clock::time_point now = Clock::now();
    if (latest_new_) {
        ++counters_.replaced_unpainted;
        const int64_t stood = std::chrono::duration_cast<std::chrono::microseconds>(now - latest_at_).count();
        counters_.max_unpainted_us = std::max(counters_.max_unpainted_us, stood);
        if (stood > kFramePeriod_us) ++counters_.late;
    }
    latest_new_ = true;
    latest_at_ = now;
    ++counters_.presented;
    *taken = true;
    return VELQ_PRESENT_OK;
}

const QImage& PictureSlot::TakeForPaint() {
    std::lock_guard lock(mutex_);
    if (latest_new_) {
        std::swap(latest_, shown_);
        latest_new_ = false;
        ++counters_.painted;
        const auto waited =
            std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - latest_at_).count();
        counters_.max_present_to_paint_us = std::max<int64_t>(counters_.max_present_to_paint_us, waited);
        if (waited > kFramePeriod_us) ++counters_.late;
    }
    return shown_;
}

QSize PictureSlot::PictureSize() const {
    if (!shown_.isNull()) return shown_.size();
    std::lock_guard lock(mutex_);
    return latest_.size();
}

bool PictureSlot::HasPicture() const {
    std::lock_guard lock(mutex_);
    return !shown_.isNull() || latest_new_;
}

QImage PictureSlot::Current() const {
    std::lock_guard lock(mutex_);
    return latest_new_ ? latest_.copy() : shown_.copy();
}

void PictureSlot::Accept() {
    std::lock_guard produce(produce_mutex_);
    refusing_ = false;
}

void PictureSlot::Refuse() {
    {
        std::lock_guard produce(produce_mutex_);
        refusing_ = true;
        std::lock_guard lock(mutex_);
        latest_ = QImage();
        latest_new_ = false;
    }
    shown_ = QImage();
}

PictureSlot::Counters PictureSlot::Stats() const {
    std::lock_guard lock(mutex_);
    return counters_;
}

void PictureSlot::ResetStats() {
    std::lock_guard lock(mutex_);
    counters_ = Counters();
}
