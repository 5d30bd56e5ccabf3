// SPDX-License-Identifier: GPL-3.0-or-later
// A picture as the presenter hands it to a window: BGRA bytes of one colour, rows optionally padded so the
// stride is wider than the row (as a back buffer's pitch is). Header only; needs no Qt.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "corvel/window.h"

namespace corvel::test {

struct TestPicture {
    // `argb` as 0xAARRGGBB (a QRgb); the alpha byte is written as 0xff, windows show RGB32.
    TestPicture(int w = 32, int h = 24, uint32_t argb = 0xff7f7f7f, int padding_bytes = 0)
        : bytes(static_cast<size_t>(h) * static_cast<size_t>(w * 4 + padding_bytes)) {
        picture.width = w;
        picture.height = h;
        picture.format = VELQ_PIX_BGRA32;
        picture.stride[0] = w * 4 + padding_bytes;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                uint8_t* p = bytes.data() + static_cast<size_t>(y) * picture.stride[0] + x * 4;
                p[0] = static_cast<uint8_t>(argb);
                p[1] = static_cast<uint8_t>(argb >> 8);
                p[2] = static_cast<uint8_t>(argb >> 16);
                p[3] = 0xff;
            }
        }
        picture.plane[0] = bytes.data();
    }
    std::vector<uint8_t> bytes;
    VelqPicture picture{};
};

}  // namespace corvel::test
