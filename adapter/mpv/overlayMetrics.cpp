#include "overlayMetrics.h"

#include "menuLayout.h"
#include "menuText.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>

namespace {

// libass's \fs for a pixel of DejaVu Sans (its Windows ascent plus descent over its em): the
// size taken when the font's own tables cannot be read.
const double kDejaVuFsPerPixel = 2384.0 / 2048;

const char32_t kInUseMark = 0x25CF; // "●"

// The family as \fn can carry it: a backslash or a brace would end the tag, so such a name
// leaves mpv's own font (sans-serif) in place.
std::string tagOf(const std::string& family)
{
    if (family.empty() || family.find_first_of("\\{}\n\r") != std::string::npos)
        return "";
    return "\\fn" + family;
}

// The font file: what it has, and how libass sizes it.
struct Font
{
    FT_Library library = nullptr;
    FT_Face face = nullptr;

    explicit Font(const MenuFont& font)
    {
        if (font.found() && FT_Init_FreeType(&library) == 0 &&
            FT_New_Face(library, font.file.c_str(), font.index, &face) != 0)
            face = nullptr;
    }
    ~Font()
    {
        if (face)
            FT_Done_Face(face);
        if (library)
            FT_Done_FreeType(library);
    }
    Font(const Font&) = delete;
    Font& operator=(const Font&) = delete;
    bool has(char32_t c) const { return face && FT_Get_Char_Index(face, c) != 0; }
    // libass sizes a font so that its ascent and descent (the OS/2 table's Windows metrics,
    // else the horizontal header's) add up to \fs: this is the \fs of a font one pixel in size.
    double fsPerPixel() const
    {
        if (!face || face->units_per_EM == 0)
            return kDejaVuFsPerPixel;
        const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
        double extent = face->ascender - face->descender;
        if (os2 && short(os2->usWinAscent) + short(os2->usWinDescent) != 0)
            extent = short(os2->usWinAscent) + short(os2->usWinDescent);
        return extent > 0 ? extent / face->units_per_EM : kDejaVuFsPerPixel;
    }
};

} // namespace

OverlayMetrics::OverlayMetrics(const MenuFont& font, std::u32string characters, int width,
                               int height)
    : width_(width), height_(height), fontTag_(tagOf(font.family))
{
    const Font file(font);
    fsPerPixel_ = file.fsPerPixel();
    TextWidths widths(font, 12);
    const auto lineHeightAt = [&](int size) {
        if (!widths.valid())
            return int(std::lround(size * fsPerPixel_));
        widths.setSize(size);
        return widths.lineHeight();
    };
    size_ = menuLayout::pixelSizeFor(height, lineHeightAt);
    lineHeight_ = lineHeightAt(size_);

    widths.setSize(size_ * kFine);
    const int missing = widths.advance('_'); // what TextWidths gives for a character it lacks
    // And the mark of the track in use, which the listed menus, made later, put before it.
    characters += codePoints(menuLayout::kPointer) + U"_" + kEllipsis + kInUseMark;
    for (char32_t c : characters) {
        int advance = 0;
        if (!widths.valid()) {
            // Without the font's own widths, a guess: narrow Latin, square for the rest.
            advance = (c < 0x2E80 ? size_ * 3 / 5 : size_) * kFine;
        } else {
            advance = widths.advance(c);
            // What the font lacks, libass draws in another: mostly CJK, an em wide. Reckoning
            // with an em keeps a cut line inside the window even where the glyph is narrower.
            if (advance == missing && c != '_' && !file.has(c))
                advance = std::max(advance, size_ * kFine);
        }
        advances_[c] = advance;
    }
}

int OverlayMetrics::advance(char32_t c) const
{
    const auto known = advances_.find(c);
    return known != advances_.end() ? known->second : size_ * kFine;
}
