// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/overlay_font.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <string>

namespace corvel {
namespace {

// Path of the file fontconfig picks for the generic sans family, or empty.
std::string FindSansFile() {
    FcConfig* config = FcInitLoadConfigAndFonts();
    if (config == nullptr) return {};
    std::string path;
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>("sans"));
    if (pattern != nullptr) {
        FcConfigSubstitute(config, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult result = FcResultNoMatch;
        FcPattern* match = FcFontMatch(config, pattern, &result);
        if (match != nullptr) {
            FcChar8* file = nullptr;
            if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file != nullptr)
                path = reinterpret_cast<const char*>(file);
            FcPatternDestroy(match);
        }
        FcPatternDestroy(pattern);
    }
    FcConfigDestroy(config);
    return path;
}

}  // namespace

struct OverlayFont::Library {
    FT_Library handle = nullptr;
    ~Library() {
        if (handle != nullptr) FT_Done_FreeType(handle);
    }
};

OverlayFont::OverlayFont() = default;

bool OverlayFont::ok() const {
    std::lock_guard guard(mutex_);
    LoadLocked();
    return face_ != nullptr;
}

void OverlayFont::LoadLocked() const {
    if (load_tried_) return;
    load_tried_ = true;
    library_ = std::make_unique<Library>();
    if (FT_Init_FreeType(&library_->handle) != 0) {
        library_->handle = nullptr;
        return;
    }
    const std::string path = FindSansFile();
    if (path.empty()) return;
    FT_Face face = nullptr;
    if (FT_New_Face(library_->handle, path.c_str(), 0, &face) != 0) return;
    // A cell height (ascent + descent) of 22 pixels, as a font asked for by its height is measured.
    const int span_units = face->ascender - face->descender;
    const int em_px =
        span_units > 0
            ? static_cast<int>(std::lround(double{kCellHeightPx} * face->units_per_EM / span_units))
            : kCellHeightPx;
    if (FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(std::max(em_px, 1))) != 0) {
        FT_Done_Face(face);
        return;
    }
    ascender_px_ = static_cast<int>(face->size->metrics.ascender >> 6);
    face_ = face;
}

OverlayFont::~OverlayFont() {
    if (face_ != nullptr) FT_Done_Face(static_cast<FT_Face>(face_));
}

const OverlayFont::Glyph& OverlayFont::GlyphFor(unsigned char c) const {
    Glyph& glyph = glyphs_[c];
    if (glyph.loaded) return glyph;
    glyph.loaded = true;
    auto face = static_cast<FT_Face>(face_);
    if (FT_Load_Char(face, c, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO | FT_LOAD_MONOCHROME) != 0) return glyph;
    const FT_GlyphSlot slot = face->glyph;
    const FT_Bitmap& bitmap = slot->bitmap;
    glyph.left = slot->bitmap_left;
    glyph.top = slot->bitmap_top;
    glyph.advance = static_cast<int>(slot->advance.x >> 6);
    glyph.width = static_cast<int>(bitmap.width);
    glyph.rows = static_cast<int>(bitmap.rows);
    glyph.coverage.assign(static_cast<size_t>(glyph.width) * glyph.rows, 0);
    for (int row = 0; row < glyph.rows; ++row) {
        const uint8_t* src = bitmap.buffer + static_cast<ptrdiff_t>(row) * bitmap.pitch;
        for (int col = 0; col < glyph.width; ++col) {
            const bool on = bitmap.pixel_mode == FT_PIXEL_MODE_MONO ? (src[col >> 3] >> (7 - (col & 7))) & 1
                                                                    : src[col] >= 128;
            glyph.coverage[static_cast<size_t>(row) * glyph.width + col] = on ? 1 : 0;
        }
    }
    return glyph;
}

void OverlayFont::DrawText(const TextSurface& surface, int x, int y, std::string_view text,
                           uint32_t color_bgr) const {
    if (surface.bits == nullptr) return;
    const uint32_t bgra = PackBgra32(color_bgr);
    const uint16_t rgb565 = PackRgb565(color_bgr);
    const YuvColor yuv = ToYuv601(color_bgr);
    const Yv12Planes planes = Yv12Layout(surface.bits, surface.pitch, surface.height);

    std::lock_guard guard(mutex_);
    LoadLocked();
    if (face_ == nullptr) return;
    const int baseline = y + ascender_px_;
    int pen = x;
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c >= 0x7F) continue;
        const Glyph& glyph = GlyphFor(c);
        const int left = pen + glyph.left;
        const int top = baseline - glyph.top;
        for (int row = 0; row < glyph.rows; ++row) {
            const int py = top + row;
            if (py < 0 || py >= surface.height) continue;
            for (int col = 0; col < glyph.width; ++col) {
                const int px = left + col;
                if (px < 0 || px >= surface.width) continue;
                if (glyph.coverage[static_cast<size_t>(row) * glyph.width + col] == 0) continue;
                uint8_t* line = surface.bits + static_cast<ptrdiff_t>(py) * surface.pitch;
                switch (surface.format) {
                    case VELQ_PIX_BGRA32:
                        reinterpret_cast<uint32_t*>(line)[px] = bgra;
                        break;
                    case VELQ_PIX_RGB565:
                        reinterpret_cast<uint16_t*>(line)[px] = rgb565;
                        break;
                    case VELQ_PIX_YV12: {
                        line[px] = yuv.y;
                        const ptrdiff_t chroma =
                            static_cast<ptrdiff_t>(py / 2) * planes.chroma_pitch + px / 2;
                        planes.v[chroma] = yuv.v;
                        planes.u[chroma] = yuv.u;
                        break;
                    }
                }
            }
        }
        pen += glyph.advance;
    }
}

}  // namespace corvel
