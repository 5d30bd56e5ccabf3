// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/presenter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/overlay_font.h"

namespace corvel {
namespace {

// Keeps the planes of the last picture and answers with a fixed result.
class PlaneWindow : public VelqWindow {
  public:
    explicit PlaneWindow(VelqPixelFormat format) : format(format) {}
    void PostMessage(uint32_t, uintptr_t, intptr_t) override {}
    VelqPixelFormat PreferredFormat() const override { return format; }
    VelqPresentResult PresentPicture(const VelqPicture& picture) override {
        last = picture;
        ++calls;
        return result;
    }
    VelqPixelFormat format;
    VelqPresentResult result = VELQ_PRESENT_OK;
    VelqPicture last{};
    int calls = 0;
};

TEST(Presenter, ClearFillsEveryFormatWithTheColour) {
    const uint32_t orange = 0x0040A0FF;  // R FF, G A0, B 40
    {
        PlaneWindow window(VELQ_PIX_BGRA32);
        Presenter presenter;
        ASSERT_TRUE(presenter.Create(&window, 7, 3));
        EXPECT_EQ(presenter.BitsPerPixel(), 32);
        presenter.Clear(orange);
        ASSERT_EQ(presenter.Present(), Presenter::PresentOutcome::kShown);
        ASSERT_EQ(window.last.width, 7);
        EXPECT_EQ(window.last.stride[0] % 64, 0);
        const uint8_t* p = window.last.plane[0] + 2 * window.last.stride[0] + 6 * 4;
        EXPECT_EQ(p[0], 0x40);
        EXPECT_EQ(p[1], 0xA0);
        EXPECT_EQ(p[2], 0xFF);
        EXPECT_EQ(p[3], 0xFF);
    }
    {
        PlaneWindow window(VELQ_PIX_RGB565);
        Presenter presenter;
        ASSERT_TRUE(presenter.Create(&window, 5, 2));
        EXPECT_EQ(presenter.BitsPerPixel(), 16);
        presenter.Clear(orange);
        presenter.Present();
        uint16_t pixel;
        std::memcpy(&pixel, window.last.plane[0] + window.last.stride[0] + 8, 2);
        EXPECT_EQ(pixel, (0x1F << 11) | ((0xA0 >> 2) << 5) | (0x40 >> 3));
    }
    {
        // Odd sizes: the chroma planes have (n + 1) / 2 rows and columns, V before U, and do not overlap.
        PlaneWindow window(VELQ_PIX_YV12);
        Presenter presenter;
        ASSERT_TRUE(presenter.Create(&window, 9, 5));
        EXPECT_EQ(presenter.BitsPerPixel(), 12);
        presenter.Clear(0x000000FF);  // pure red: Y 82, U 90, V 240
        presenter.Present();
        const VelqPicture& pic = window.last;
        EXPECT_EQ(pic.stride[1], pic.stride[0] / 2);
        EXPECT_EQ(pic.plane[1], pic.plane[0] + pic.stride[0] * 5);
        EXPECT_EQ(pic.plane[2], pic.plane[1] + pic.stride[1] * 3);
        EXPECT_EQ(pic.plane[0][4 * pic.stride[0] + 8], 82);
        EXPECT_EQ(pic.plane[1][2 * pic.stride[1] + 4], 240);
        EXPECT_EQ(pic.plane[2][2 * pic.stride[2] + 4], 90);
    }
}

TEST(Presenter, CreationNeedsAWindowAndASize) {
    PlaneWindow window(VELQ_PIX_BGRA32);
    Presenter presenter;
    EXPECT_FALSE(presenter.Create(nullptr, 10, 10));
    EXPECT_FALSE(presenter.Create(&window, 0, 10));
    EXPECT_FALSE(presenter.Create(&window, 10, -1));
    EXPECT_FALSE(presenter.HasDevice());
    LockedRect rect;
    EXPECT_FALSE(presenter.Lock(&rect));
}

TEST(Presenter, LockAndTextContextExcludeEachOtherAndPresentation) {
    PlaneWindow window(VELQ_PIX_BGRA32);
    Presenter presenter;
    ASSERT_TRUE(presenter.Create(&window, 16, 16));
    LockedRect rect;
    TextSurface surface;
    ASSERT_TRUE(presenter.Lock(&rect));
    EXPECT_FALSE(presenter.GetDC(&surface));
    EXPECT_FALSE(presenter.Lock(&rect));
    presenter.Unlock();
    ASSERT_TRUE(presenter.GetDC(&surface));
    EXPECT_EQ(surface.bits, rect.bits);
    EXPECT_FALSE(presenter.Lock(&rect));
    presenter.ReleaseDC();
    EXPECT_TRUE(presenter.Lock(&rect));
    presenter.Unlock();
}

TEST(Presenter, LostResetsAtTheSameSizeAndFailedReleases) {
    PlaneWindow window(VELQ_PIX_RGB565);
    Presenter presenter;
    ASSERT_TRUE(presenter.Create(&window, 32, 8));
    window.result = VELQ_PRESENT_LOST;
    EXPECT_EQ(presenter.Present(), Presenter::PresentOutcome::kReset);
    EXPECT_TRUE(presenter.HasSurface());
    EXPECT_EQ(presenter.width(), 32);
    EXPECT_EQ(presenter.format(), VELQ_PIX_RGB565);
    window.result = VELQ_PRESENT_OK;
    EXPECT_EQ(presenter.Present(), Presenter::PresentOutcome::kShown);
    window.result = VELQ_PRESENT_FAILED;
    EXPECT_EQ(presenter.Present(), Presenter::PresentOutcome::kFailed);
    EXPECT_FALSE(presenter.HasDevice());
    EXPECT_EQ(presenter.window(), nullptr);
    EXPECT_EQ(presenter.Present(), Presenter::PresentOutcome::kFailed);
    EXPECT_EQ(window.calls, 3);
}

// ---- Overlay text ----

std::vector<std::pair<int, int>> RedPixels(const TextSurface& s) {
    std::vector<std::pair<int, int>> red;
    for (int y = 0; y < s.height; ++y)
        for (int x = 0; x < s.width; ++x) {
            const uint8_t* p = s.bits + y * s.pitch + x * 4;
            if (p[0] == 0 && p[1] == 0 && p[2] == 255) red.emplace_back(x, y);
        }
    return red;
}

TEST(OverlayFont, TextIsRedWithinItsCellAndLeavesTheBackground) {
    OverlayFont font;
    ASSERT_TRUE(font.ok()) << "no sans font found by fontconfig";
    PlaneWindow window(VELQ_PIX_BGRA32);
    Presenter presenter;
    ASSERT_TRUE(presenter.Create(&window, 200, 80));
    presenter.Clear(0x00804020);
    TextSurface surface;
    ASSERT_TRUE(presenter.GetDC(&surface));
    font.DrawText(surface, 10, 30, "fps: 25, P/I: 24", 0x0000FF);
    const auto red = RedPixels(surface);
    ASSERT_GT(red.size(), 80u);
    int min_y = 1000, max_y = -1, min_x = 1000;
    for (const auto& [x, y] : red) {
        min_y = std::min(min_y, y);
        max_y = std::max(max_y, y);
        min_x = std::min(min_x, x);
    }
    EXPECT_GE(min_y, 30);
    EXPECT_LT(max_y, 30 + OverlayFont::kCellHeightPx);
    EXPECT_GT(max_y - min_y, 10);  // a real glyph height, not a line
    EXPECT_GE(min_x, 10);
    // Every other pixel still has the background colour: no box behind the text.
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 200; ++x) {
            const uint8_t* p = surface.bits + y * surface.pitch + x * 4;
            const bool is_red = p[0] == 0 && p[1] == 0 && p[2] == 255;
            const bool is_background = p[0] == 0x80 && p[1] == 0x40 && p[2] == 0x20;
            ASSERT_TRUE(is_red || is_background) << x << "," << y;
        }
    presenter.ReleaseDC();
}

TEST(OverlayFont, TextIsClippedAtEveryEdge) {
    OverlayFont font;
    ASSERT_TRUE(font.ok());
    for (const VelqPixelFormat format : {VELQ_PIX_BGRA32, VELQ_PIX_RGB565, VELQ_PIX_YV12}) {
        PlaneWindow window(format);
        Presenter presenter;
        ASSERT_TRUE(presenter.Create(&window, 21, 13));
        TextSurface surface;
        ASSERT_TRUE(presenter.GetDC(&surface));
        // Under the sanitizers an access outside the buffer fails the test.
        font.DrawText(surface, -30, -10, "WWWWWW gggg", 0x0000FF);
        font.DrawText(surface, 15, 8, "WWWWWW gggg", 0x0000FF);
        font.DrawText(surface, 0, 0, std::string_view("\x01\xff\x7f", 3), 0x0000FF);
        presenter.ReleaseDC();
    }
}

}  // namespace
}  // namespace corvel
