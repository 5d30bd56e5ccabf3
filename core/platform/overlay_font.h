// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

#include "platform/presenter.h"

namespace corvel {

// The statistics font of a session: the default sans face found by fontconfig, 22 pixels from the top of
// the tallest ascender to the bottom of the lowest descender, drawn unsmoothed (a pixel is either the text
// colour or left as it was: transparent background).
//
// The face is looked up and loaded at the first use, not at construction, so that a session that never shows
// an overlay never pays for the font scan.
//
// Threads: built and destroyed by the session's owner; ok and DrawText may be called by any number of video
// threads at once (loading, glyph rendering and the glyph cache are serialised inside).
class OverlayFont {
  public:
    static constexpr int kCellHeightPx = 22;

    OverlayFont();
    ~OverlayFont();
    OverlayFont(const OverlayFont&) = delete;
    OverlayFont& operator=(const OverlayFont&) = delete;

    // False when no face could be found or loaded; DrawText then draws nothing.
    bool ok() const;
    // Draws ASCII text with the top of its cell at (x, y) in a 0x00BBGGRR colour, clipped to the surface.
    // Characters outside printable ASCII are skipped.
    void DrawText(const TextSurface& surface, int x, int y, std::string_view text, uint32_t color_bgr) const;

  private:
    struct Glyph {
        bool loaded = false;
        int left = 0;     // pen to first column
        int top = 0;      // baseline to first row (positive up)
        int advance = 0;  // pixels
        int width = 0;
        int rows = 0;
        std::vector<uint8_t> coverage;  // 0 or 1 per pixel, rows × width
    };
    const Glyph& GlyphFor(unsigned char c) const;  // under mutex_
    void LoadLocked() const;                       // under mutex_; once

    struct Library;
    mutable std::mutex mutex_;
    mutable bool load_tried_ = false;
    mutable std::unique_ptr<Library> library_;
    mutable void* face_ = nullptr;  // FT_Face
    mutable int ascender_px_ = 0;
    mutable std::array<Glyph, 128> glyphs_;
};

}  // namespace corvel
