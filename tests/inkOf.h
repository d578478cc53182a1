#pragma once

// Where letters have ink: as Debian's libass draws ASS events, and as the characters' own glyphs
// look set one after another by FreeType alone, with no markup read. The menu overlay's tests
// compare the two.

#include "menuFont.h"

#include <QRect>
#include <QString>

#include <string>
#include <vector>

// Which pixels of a frame have ink, at half cover or more.
struct Ink
{
    int width, height;
    std::vector<unsigned char> on;
    Ink(int w, int h) : width(w), height(h), on(size_t(w * h)) {}
    void cover(int x, int y, int alpha);
    bool at(int x, int y) const
    {
        return x >= 0 && y >= 0 && x < width && y < height && on[size_t(y * width + x)];
    }
    QRect box() const;
};

// The events as Debian's libass draws them, with the fonts fontconfig has, as mpv's are, in a
// frame of the overlay's size with `margin` pixels more on each side (every \pos moved by as
// much), where whatever lies outside the window would show. Letters only, or all the ink:
// outlines and the bar too.
Ink libassInk(const std::string& events, int width, int height, const MenuFont& font,
              bool lettersOnly = true, int margin = 0);

// The characters themselves, each glyph of the font put after the one before with FreeType
// alone. Sized as libass sizes a font for \fs (the font's Windows ascent and descent, else its
// own, span the size).
Ink literalInk(const std::u32string& text, double fs, int width, int height, const MenuFont& font);

// "" when the two show the same letters in the same places: the boxes of ink agree to a pixel or
// two, and the ink of each has ink within a pixel of it in the other, but for a few pixels (two
// rasterisers place and edge glyphs a little differently; a glyph more or less, or one for
// another, leaves whole strokes without a match). Else what differs.
QString sameLetters(const Ink& drawn, const Ink& literal);
