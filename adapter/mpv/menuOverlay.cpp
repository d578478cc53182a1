#include "menuOverlay.h"

#include "menuLayout.h"
#include "menuText.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

using namespace menuLayout;

const int kInset = kBorder + kPad;
// MPlayer's cursor bar, #7a818d, in the order ASS writes colours: blue, green, red.
const char kBarColour[] = "&H8D817A&";
const char32_t kWordJoiner = 0x2060;
// Widths are kept in 1/64 of a pixel: libass places glyphs by their unhinted advances, which
// add up to several pixels more or less than the hinted ones over a line. Hinted at 64 times
// the size, an advance is the unhinted one to within 1/128 of a pixel.
const int kFine = 64;
// libass's \fs for a pixel of DejaVu Sans (its Windows ascent plus descent over its em): the
// size taken when the font's own tables cannot be read.
const double kDejaVuFsPerPixel = 2384.0 / 2048;

// The family as \fn can carry it: a backslash or a brace would end the tag, so such a name
// leaves mpv's own font (sans-serif) in place.
std::string fontTag(const std::string& family)
{
    if (family.empty() || family.find_first_of("\\{}\n\r") != std::string::npos)
        return "";
    return "\\fn" + family;
}

void appendPosition(std::string& out, const char* align, int x, int y)
{
    char text[64];
    snprintf(text, sizeof text, "{\\an%s\\pos(%d,%d)", align, x, y);
    out += text;
}

} // namespace

struct MenuOverlay::Font
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

std::string assLiteral(const std::string& text)
{
    static const std::string joiner = utf8(std::u32string(1, kWordJoiner));
    std::string out;
    out.reserve(text.size() + 8);
    for (char c : text) {
        // A joiner after each backslash keeps it from starting \N, \h or \{; a brace escaped
        // shows as a brace instead of opening or closing a block of tags; ass-events takes
        // each line for an event of its own.
        if (c == '\\')
            out += "\\" + joiner;
        else if (c == '{')
            out += "\\{";
        else if (c == '}')
            out += "\\}";
        else if (c == '\n' || c == '\r')
            out += ' ';
        else
            out += c;
    }
    return out;
}

MenuOverlay::MenuOverlay(const MenuFont& font, std::u32string characters, int width, int height)
    : font_(std::make_unique<Font>(font)), family_(fontTag(font.family)),
      fsPerPixel_(font_->fsPerPixel()), widths_(font, 12),
      characters_(std::move(characters) + codePoints(kPointer) + U"_" + kEllipsis)
{
    resize(width, height);
}

MenuOverlay::~MenuOverlay() = default;

int MenuOverlay::lineHeightAt(int size)
{
    if (!widths_.valid())
        return int(std::lround(size * fsPerPixel_));
    widths_.setSize(size);
    return widths_.lineHeight();
}

void MenuOverlay::measure()
{
    advances_.clear();
    widths_.setSize(size_ * kFine);
    const int underscore = widths_.advance('_'); // what TextWidths gives for a character missing
    for (char32_t c : characters_) {
        int width = 0;
        if (!widths_.valid()) {
            // Without the font's own widths, a guess: narrow Latin, square for the rest.
            width = (c < 0x2E80 ? size_ * 3 / 5 : size_) * kFine;
        } else {
            width = widths_.advance(c);
            // What the font lacks, libass draws in another: mostly CJK, an em wide. Reckoning
            // with an em keeps a cut line inside the window even where the glyph is narrower.
            if (width == underscore && c != '_' && !font_->has(c))
                width = std::max(width, size_ * kFine);
        }
        advances_[c] = width;
    }
}

int MenuOverlay::advance(char32_t c) const
{
    // A character that was not measured (none is, in the menus the overlay was made for) is
    // reckoned an em wide, as what another font draws mostly is.
    const auto known = advances_.find(c);
    return known != advances_.end() ? known->second : size_ * kFine;
}

int MenuOverlay::width(const std::string& text) const
{
    int total = 0;
    for (char32_t c : codePoints(text))
        total += advance(c);
    return (total + kFine - 1) / kFine;
}

std::string MenuOverlay::cut(const std::string& text, int room) const
{
    return fitted(text, room * kFine, [this](char32_t c) { return advance(c); });
}

void MenuOverlay::resize(int w, int h)
{
    if (w == width_ && h == height_ && size_ > 0)
        return;
    width_ = w;
    height_ = h;
    looks_.clear();
    // As MPlayer's size is chosen.
    size_ = pixelSizeFor(h, [this](int size) { return lineHeightAt(size); });
    lineHeight_ = lineHeightAt(size_);
    measure();
    pitch_ = lineHeight_ + kLineSpace;
    shown_ = std::max(1, entriesFitting(h, pitch_));
    pointerWidth_ = width(kPointer);
    // An outline that grows with the letters reads over any picture at any size.
    border_ = std::max(1, int(std::lround(size_ / 15.0)));
    // Hundredths written out by hand: printf's decimal point follows the locale.
    const long hundredths = std::lround(size_ * fsPerPixel_ * 100);
    char fs[32];
    snprintf(fs, sizeof fs, "%ld.%02ld", hundredths / 100, hundredths % 100);
    textStyle_ = "\\bord" + std::to_string(border_) + "\\shad0\\1c&HFFFFFF&\\3c&H000000&\\q2\\fs" +
                 fs + family_ + "}";
}

MenuOverlay::Look& MenuOverlay::lookOf(const Menu& menu)
{
    Look& look = looks_[menu.name];
    bool same = look.built && look.title == menu.title && look.labels.size() == menu.entries.size();
    for (size_t i = 0; same && i < menu.entries.size(); ++i)
        same = look.labels[i] == menu.entries[i].label;
    if (same)
        return look;
    const int first = look.first;
    look = Look();
    look.first = first;
    look.built = true;
    look.title = menu.title;
    const std::string title = cut(menu.title, width_ - 2 * kInset - 2 * kPad);
    look.titleText = assLiteral(title);
    look.titleWidth = width(title);
    const int room = width_ - 2 * kInset - 2 * kPad - pointerWidth_;
    for (const MenuEntry& e : menu.entries) {
        look.labels.push_back(e.label);
        look.widest = std::max(look.widest, std::min(width(e.label), room));
    }
    look.shown.resize(menu.entries.size());
    look.ready.resize(menu.entries.size());
    return look;
}

std::string MenuOverlay::events(const MenuModel& model)
{
    if (!model.visible() || width_ < 1 || height_ < 1)
        return "";
    const Menu* menu = nullptr;
    for (const Menu& m : model.menus()) {
        if (m.name == model.current()) {
            menu = &m;
            break;
        }
    }
    if (!menu)
        return "";
    Look& look = lookOf(*menu);
    const int count = int(menu->entries.size());
    const int selection = std::clamp(model.selection(), 0, std::max(0, count - 1));
    // Scrolled only as far as the selection needs, as MPlayer's list does.
    look.first = std::clamp(look.first, selection - shown_ + 1, selection);
    look.first = std::clamp(look.first, 0, std::max(0, count - shown_));

    // A block as wide as its widest line, centred as a whole, the entries left-aligned in it.
    const int block = std::min(width_, std::max(2 * kInset + 2 * kPad + pointerWidth_ + look.widest,
                                                2 * kInset + look.titleWidth));
    const int left = (width_ - block) / 2;
    const int textLeft = left + kInset + 2 * kPad + pointerWidth_;
    const int lineTop = kBorder - kLineSpace / 2;
    const int textDown = (pitch_ - lineHeight_) / 2;
    const int firstBar = lineTop + pitch_ + kLineSpace;
    const int last = std::min(count, look.first + shown_);

    std::string out;
    out.reserve(size_t(last - look.first + 3) * (textStyle_.size() + 64));
    if (count > 0) {
        const int barTop = firstBar + (selection - look.first) * pitch_;
        appendPosition(out, "7", left, barTop);
        out += std::string("\\bord0\\shad0\\1c") + kBarColour + "\\p1}m 0 0 l " +
               std::to_string(block) + " 0 " + std::to_string(block) + " " +
               std::to_string(pitch_) + " 0 " + std::to_string(pitch_) + "{\\p0}\n";
        appendPosition(out, "7", left + kInset, barTop + textDown);
        out += textStyle_ + kPointer + "\n";
    }
    appendPosition(out, "8", width_ / 2, lineTop + textDown);
    out += textStyle_ + look.titleText + "\n";
    const int room = width_ - 2 * kInset - 2 * kPad - pointerWidth_;
    for (int i = look.first; i < last; ++i) {
        if (!look.ready[size_t(i)]) {
            look.shown[size_t(i)] = assLiteral(cut(menu->entries[size_t(i)].label, room));
            look.ready[size_t(i)] = true;
        }
        appendPosition(out, "7", textLeft, firstBar + (i - look.first) * pitch_ + textDown);
        out += textStyle_ + look.shown[size_t(i)] + "\n";
    }
    out.pop_back();
    return out;
}
