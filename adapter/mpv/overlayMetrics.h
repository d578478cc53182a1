#pragma once

#include "menuFont.h"

#include <string>
#include <unordered_map>

// What the menu's text measures over mpv at one window size: the font's pixel size, chosen as
// MPlayer's is, its line height, the size libass is to be given for it, and the width of each
// character of the menus.
//
// Measured before, and handed in: it is made by the shell before its loop, reading the font
// file, and only read after that. The menu drawn on the core's path (MenuOverlay) reads no file
// and loads no glyph.
class OverlayMetrics
{
  public:
    // Widths are in 1/kFine of a pixel: libass places glyphs by their unhinted advances, which
    // add up to several pixels more or less than the hinted ones over a line. Hinted at 64
    // times the size, an advance is the unhinted one to within 1/128 of a pixel.
    static constexpr int kFine = 64;

    // characters: each one the menus show (menuCharacters()); those of the pointer, the
    // ellipsis, "_" and the mark "●" are measured too.
    OverlayMetrics(const MenuFont& font, std::u32string characters, int width, int height);

    int width() const { return width_; }
    int height() const { return height_; }
    int size() const { return size_; } // the font's, in pixels
    int lineHeight() const { return lineHeight_; }
    double fsPerPixel() const { return fsPerPixel_; }       // libass's \fs for a pixel of size
    const std::string& fontTag() const { return fontTag_; } // \fn and the family, or ""
    // A character's width, in 1/kFine px; one that was not measured (none is, of the menus it
    // was made for) counts an em, as what another font draws mostly is.
    int advance(char32_t c) const;

  private:
    int width_, height_;
    int size_ = 0, lineHeight_ = 0;
    double fsPerPixel_ = 1;
    std::string fontTag_;
    std::unordered_map<char32_t, int> advances_;
};
