// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <cstdint>
#include <memory>

#include "corvel/window.h"

namespace corvel {

// The locked back buffer: `bits` with `pitch` bytes per row. For YV12 the chroma planes follow the luma in
// the same block (V, then U), each of pitch / 2 bytes per row and (height + 1) / 2 rows.
struct LockedRect {
    uint8_t* bits = nullptr;
    int pitch = 0;
};

// Where text may be drawn: the back buffer as it is while a text context is open (see Presenter::GetDC).
struct TextSurface {
    uint8_t* bits = nullptr;
    int pitch = 0;
    int width = 0;
    int height = 0;
    VelqPixelFormat format = VELQ_PIX_BGRA32;
};

// The presentation device of one window: a back buffer of the picture's own size in the format the window
// prefers, filled by the video thread and handed to VelqWindow::PresentPicture.
//
// Threads: one user at a time — the video thread while it runs, otherwise the client's thread (a refresh).
// The owner serialises; the presenter takes no lock itself.
class Presenter {
  public:
    enum class PresentOutcome { kShown, kReset, kResetFailed, kFailed };

    Presenter() = default;
    Presenter(const Presenter&) = delete;
    Presenter& operator=(const Presenter&) = delete;
    ~Presenter() { Release(); }

    // Builds the device for the window at width × height. The window is asked for its preferred format here
    // and only here. False (and nothing held) for no window, a non-positive size or no memory.
    bool Create(VelqWindow* target, int width, int height);
    // Drops the back buffer and the device; HasDevice() is false afterwards.
    void Release();

    bool HasDevice() const { return window_ != nullptr; }
    // The back buffer is usable (device created and not lost).
    bool HasSurface() const { return surface_ != nullptr; }
    VelqWindow* window() const { return window_; }
    int width() const { return width_; }
    int height() const { return height_; }
    VelqPixelFormat format() const { return format_; }
    // 32, 16 or 12 for the back buffer's format.
    int BitsPerPixel() const;

    // Fills the whole back buffer with a 0x00BBGGRR colour (YV12: its BT.601 studio-range equivalent).
    void Clear(uint32_t color_bgr);
    // False without a surface or while it is already locked.
    bool Lock(LockedRect* out);
    void Unlock() { locked_ = false; }
    // A text context over the back buffer (the stand-in of a device context); false without a surface or
    // while locked. ReleaseDC ends it.
    bool GetDC(TextSurface* out);
    void ReleaseDC() { in_dc_ = false; }

    // Hands the back buffer to the window. LOST resets the device (the back buffer is rebuilt at the same
    // size and format, cleared to black) and reports kReset, or kResetFailed after releasing everything when
    // the rebuild fails; FAILED releases everything (kFailed) so that the next picture recreates it.
    PresentOutcome Present();

  private:
    bool AllocateSurface();

    VelqWindow* window_ = nullptr;
    int width_ = 0;
    int height_ = 0;
    VelqPixelFormat format_ = VELQ_PIX_BGRA32;
    int pitch_ = 0;
    size_t surface_bytes_ = 0;
    std::unique_ptr<uint8_t[]> surface_;
    bool locked_ = false;
    bool in_dc_ = false;
};

// Plane pointers of a YV12 block laid out as the presenter keeps it: Y, V, U.
// Pixel values of a 0x00BBGGRR colour in the three back-buffer formats (YV12: BT.601 studio range).
struct YuvColor {
    uint8_t y, u, v;
};
YuvColor ToYuv601(uint32_t color_bgr);
uint32_t PackBgra32(uint32_t color_bgr);
uint16_t PackRgb565(uint32_t color_bgr);

struct Yv12Planes {
    uint8_t* y;
    uint8_t* v;
    uint8_t* u;
    int luma_pitch;
    int chroma_pitch;
};
Yv12Planes Yv12Layout(uint8_t* bits, int pitch, int height);

}  // namespace corvel
