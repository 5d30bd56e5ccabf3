// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/presenter.h"

#include <cstring>
#include <new>

namespace corvel {
namespace {

// Rows start on 64-byte boundaries so that the converter can use its wide stores.
constexpr int kRowAlignBytes = 64;

int AlignUp(int value, int alignment) {
    return (value + alignment - 1) / alignment * alignment;
}

int BytesPerPixel(VelqPixelFormat format) {
    switch (format) {
        case VELQ_PIX_BGRA32:
            return 4;
        case VELQ_PIX_RGB565:
            return 2;
        case VELQ_PIX_YV12:
            return 1;
    }
    return 4;
}

}  // namespace

YuvColor ToYuv601(uint32_t color_bgr) {
    const int r = color_bgr & 0xFF;
    const int g = (color_bgr >> 8) & 0xFF;
    const int b = (color_bgr >> 16) & 0xFF;
    return {static_cast<uint8_t>(((66 * r + 129 * g + 25 * b + 128) >> 8) + 16),
            static_cast<uint8_t>(((-38 * r - 74 * g + 112 * b + 128) >> 8) + 128),
            static_cast<uint8_t>(((112 * r - 94 * g - 18 * b + 128) >> 8) + 128)};
}

uint32_t PackBgra32(uint32_t color_bgr) {
    const uint32_t r = color_bgr & 0xFF;
    const uint32_t g = (color_bgr >> 8) & 0xFF;
    const uint32_t b = (color_bgr >> 16) & 0xFF;
    return 0xFF000000u | (r << 16) | (g << 8) | b;
}

uint16_t PackRgb565(uint32_t color_bgr) {
    const uint32_t r = color_bgr & 0xFF;
    const uint32_t g = (color_bgr >> 8) & 0xFF;
    const uint32_t b = (color_bgr >> 16) & 0xFF;
    return static_cast<uint16_t>(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
}

Yv12Planes Yv12Layout(uint8_t* bits, int pitch, int height) {
    const int chroma_pitch = pitch / 2;
    const int chroma_rows = (height + 1) / 2;
    uint8_t* v = bits + static_cast<size_t>(pitch) * height;
    uint8_t* u = v + static_cast<size_t>(chroma_pitch) * chroma_rows;
    return {bits, v, u, pitch, chroma_pitch};
}

int Presenter::BitsPerPixel() const {
    switch (format_) {
        case VELQ_PIX_BGRA32:
            return 32;
        case VELQ_PIX_RGB565:
            return 16;
        case VELQ_PIX_YV12:
            return 12;
    }
    return 32;
}

bool Presenter::Create(VelqWindow* target, int width, int height) {
    Release();
    if (target == nullptr || width <= 0 || height <= 0) return false;
    const VelqPixelFormat format = target->PreferredFormat();
    window_ = target;
    width_ = width;
    height_ = height;
    format_ = format;
    if (format == VELQ_PIX_YV12) {
        // Chroma rows are pitch / 2 wide, so the luma pitch must be even and its half still aligned.
        pitch_ = AlignUp(width, kRowAlignBytes * 2);
        surface_bytes_ =
            static_cast<size_t>(pitch_) * height + static_cast<size_t>(pitch_) * ((height + 1) / 2);
    } else {
        pitch_ = AlignUp(width * BytesPerPixel(format), kRowAlignBytes);
        surface_bytes_ = static_cast<size_t>(pitch_) * height;
    }
    if (!AllocateSurface()) {
        Release();
        return false;
    }
    return true;
}

bool Presenter::AllocateSurface() {
    surface_.reset(new (std::nothrow) uint8_t[surface_bytes_]);
    if (!surface_) return false;
    std::memset(surface_.get(), 0, surface_bytes_);
    if (format_ == VELQ_PIX_YV12) Clear(0);
    return true;
}

void Presenter::Release() {
    surface_.reset();
    window_ = nullptr;
    width_ = height_ = pitch_ = 0;
    surface_bytes_ = 0;
    locked_ = in_dc_ = false;
}

void Presenter::Clear(uint32_t color_bgr) {
    if (!surface_) return;
    uint8_t* bits = surface_.get();
    switch (format_) {
        case VELQ_PIX_BGRA32: {
            const uint32_t pixel = PackBgra32(color_bgr);
            for (int row = 0; row < height_; ++row) {
                auto* line = reinterpret_cast<uint32_t*>(bits + static_cast<size_t>(row) * pitch_);
                for (int x = 0; x < width_; ++x) line[x] = pixel;
            }
            break;
        }
        case VELQ_PIX_RGB565: {
            const uint16_t pixel = PackRgb565(color_bgr);
            for (int row = 0; row < height_; ++row) {
                auto* line = reinterpret_cast<uint16_t*>(bits + static_cast<size_t>(row) * pitch_);
                for (int x = 0; x < width_; ++x) line[x] = pixel;
            }
            break;
        }
        case VELQ_PIX_YV12: {
            const YuvColor yuv = ToYuv601(color_bgr);
            const Yv12Planes planes = Yv12Layout(bits, pitch_, height_);
            std::memset(planes.y, yuv.y, static_cast<size_t>(pitch_) * height_);
            const size_t chroma_bytes = static_cast<size_t>(planes.chroma_pitch) * ((height_ + 1) / 2);
            std::memset(planes.v, yuv.v, chroma_bytes);
            std::memset(planes.u, yuv.u, chroma_bytes);
            break;
        }
    }
}

bool Presenter::Lock(LockedRect* out) {
    if (!surface_ || locked_ || in_dc_) return false;
    locked_ = true;
    out->bits = surface_.get();
    out->pitch = pitch_;
    return true;
}

bool Presenter::GetDC(TextSurface* out) {
    if (!surface_ || locked_ || in_dc_) return false;
    in_dc_ = true;
    *out = {surface_.get(), pitch_, width_, height_, format_};
    return true;
}

Presenter::PresentOutcome Presenter::Present() {
    if (!surface_ || locked_ || in_dc_) return PresentOutcome::kFailed;
    VelqPicture picture{};
    picture.width = width_;
    picture.height = height_;
    picture.format = format_;
    if (format_ == VELQ_PIX_YV12) {
        const Yv12Planes planes = Yv12Layout(surface_.get(), pitch_, height_);
        picture.plane[0] = planes.y;
        picture.plane[1] = planes.v;
        picture.plane[2] = planes.u;
        picture.stride[0] = planes.luma_pitch;
        picture.stride[1] = picture.stride[2] = planes.chroma_pitch;
    } else {
        picture.plane[0] = surface_.get();
        picture.stride[0] = pitch_;
    }
    switch (window_->PresentPicture(picture)) {
        case VELQ_PRESENT_OK:
            return PresentOutcome::kShown;
        case VELQ_PRESENT_LOST:
            // A reset gives a fresh back buffer of the same description; its old contents are gone.
            surface_.reset();
            if (!AllocateSurface()) {
                Release();
                return PresentOutcome::kResetFailed;
            }
            return PresentOutcome::kReset;
        case VELQ_PRESENT_FAILED:
            break;
    }
    Release();
    return PresentOutcome::kFailed;
}

}  // namespace corvel
