// SPDX-License-Identifier: GPL-3.0-or-later
#include "grid/picture_slot.h"

#include <algorithm>
#include <cstring>

#include "grid/tile_view.h"

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
    QImage& full = spare_.full;
    if (full.width() != picture.width || full.height() != picture.height || full.format() != format) {
        full = QImage(picture.width, picture.height, format);
        if (full.isNull()) return VELQ_PRESENT_LOST;  // no memory now; the presenter tries again
    }
    const size_t row_bytes = static_cast<size_t>(picture.width) * bytes_per_pixel;
    for (int y = 0; y < picture.height; ++y) {
        std::memcpy(full.scanLine(y), picture.plane[0] + static_cast<ptrdiff_t>(y) * picture.stride[0],
                    row_bytes);
    }
    Fit(picture, bytes_per_pixel, format);
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

namespace {

constexpr int kFitBits = 20;  // per side: far beyond any screen
constexpr uint64_t kFitMask = (uint64_t{1} << kFitBits) - 1;

// For each of `to` places, the one of `from` that Qt's raster paint takes when it scales without smoothing
// (16.16 fixed point, sampled at the middle of each step), so a fitted picture is the one painted before.
void NearestTable(int from, int to, std::vector<int>* table) {
    table->resize(static_cast<size_t>(to));
    const int64_t step = static_cast<int64_t>(65536.0 / (static_cast<double>(to) / from));
    for (int i = 0; i < to; ++i) {
        const int64_t place = (step / 2 + i * step) >> 16;
        (*table)[static_cast<size_t>(i)] = static_cast<int>(std::min<int64_t>(place, from - 1));
    }
}

template <typename Pixel>
void ScaleNearest(const VelqPicture& picture, const std::vector<int>& columns, const std::vector<int>& rows,
                  QImage* out) {
    int previous_row = -1;
    for (int y = 0; y < out->height(); ++y) {
        auto* line = reinterpret_cast<Pixel*>(out->scanLine(y));
        const int row = rows[static_cast<size_t>(y)];
        if (row == previous_row) {  // enlarged: the same picture row again
            std::memcpy(line, out->constScanLine(y - 1), static_cast<size_t>(out->width()) * sizeof(Pixel));
            continue;
        }
        previous_row = row;
        const auto* from = reinterpret_cast<const Pixel*>(picture.plane[0] +
                                                          static_cast<ptrdiff_t>(row) * picture.stride[0]);
        for (int x = 0; x < out->width(); ++x) line[x] = from[columns[static_cast<size_t>(x)]];
    }
}

}  // namespace

void PictureSlot::SetFit(const QSize& tile, bool keep_aspect) {
    uint64_t word = 0;
    if (!tile.isEmpty()) {
        word = (static_cast<uint64_t>(tile.width()) & kFitMask) |
               ((static_cast<uint64_t>(tile.height()) & kFitMask) << kFitBits) |
               (uint64_t{keep_aspect} << (2 * kFitBits));
    }
    fit_.store(word, std::memory_order_relaxed);
}

void PictureSlot::Fit(const VelqPicture& picture, int bytes_per_pixel, QImage::Format format) {
    spare_.fitted_valid = false;
    const uint64_t word = fit_.load(std::memory_order_relaxed);
    if (word == 0) return;
    const QSize tile(static_cast<int>(word & kFitMask), static_cast<int>((word >> kFitBits) & kFitMask));
    const bool keep_aspect = (word >> (2 * kFitBits)) & 1;
    const QSize own(picture.width, picture.height);
    const QSize size = TileView::PictureRect(tile, own, keep_aspect).size();
    if (size.isEmpty() || size == own) return;  // drawn at its own size: the full picture is blitted
    QImage& fitted = spare_.fitted;
    if (fitted.size() != size || fitted.format() != format) {
        fitted = QImage(size, format);
        if (fitted.isNull()) return;  // no memory now: this picture is drawn scaled at its paint
    }
    if (fit_from_ != own || static_cast<int>(fit_columns_.size()) != size.width() ||
        static_cast<int>(fit_rows_.size()) != size.height()) {
        NearestTable(own.width(), size.width(), &fit_columns_);
        NearestTable(own.height(), size.height(), &fit_rows_);
        fit_from_ = own;
    }
    if (bytes_per_pixel == 4)
        ScaleNearest<uint32_t>(picture, fit_columns_, fit_rows_, &fitted);
    else
        ScaleNearest<uint16_t>(picture, fit_columns_, fit_rows_, &fitted);
    spare_.fitted_valid = true;
}

const PictureSlot::Frame& PictureSlot::TakeForPaint() {
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
    if (!shown_.full.isNull()) return shown_.full.size();
    std::lock_guard lock(mutex_);
    return latest_.full.size();
}

bool PictureSlot::HasPicture() const {
    std::lock_guard lock(mutex_);
    return !shown_.full.isNull() || latest_new_;
}

QImage PictureSlot::Current() const {
    std::lock_guard lock(mutex_);
    return latest_new_ ? latest_.full.copy() : shown_.full.copy();
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
        latest_ = Frame();
        latest_new_ = false;
    }
    shown_ = Frame();
}

PictureSlot::Counters PictureSlot::Stats() const {
    std::lock_guard lock(mutex_);
    return counters_;
}

void PictureSlot::ResetStats() {
    std::lock_guard lock(mutex_);
    counters_ = Counters();
}
