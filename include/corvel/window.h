// SPDX-License-Identifier: GPL-3.0-or-later
// What a window handle is on this platform: the client implements VelqWindow for its main window and for
// every display window; the library posts its events to it and presents pictures into it.
#pragma once
#include <stdint.h>

#ifdef __cplusplus

enum VelqPixelFormat { VELQ_PIX_BGRA32, VELQ_PIX_RGB565, VELQ_PIX_YV12 };
enum VelqPresentResult { VELQ_PRESENT_OK, VELQ_PRESENT_LOST, VELQ_PRESENT_FAILED };

struct VelqPicture {    // valid only during the call
    int width, height;  // the back buffer's size (the picture's own size)
    VelqPixelFormat format;
    const uint8_t* plane[3];  // BGRA/RGB565: plane[0] only; YV12: Y, V, U
    int stride[3];
};

class VelqWindow {
  public:
    // Any library thread. Queue the message for the window's own thread and return at once; never run client
    // code here.
    virtual void PostMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) = 0;
    // Back-buffer format this window shows best; the presenter asks once per device.
    virtual VelqPixelFormat PreferredFormat() const { return VELQ_PIX_BGRA32; }
    // A channel's video thread (or the caller of VelqChn_Refresh). Show the picture stretched over the whole
    // window. LOST: cannot show now, the presenter resets and tries again; FAILED: the presenter is released
    // and rebuilt.
    virtual VelqPresentResult PresentPicture(const VelqPicture& picture) = 0;

  protected:
    ~VelqWindow() = default;
};

#else
typedef struct VelqWindow VelqWindow;
#endif
