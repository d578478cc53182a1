#include "inkOf.h"

#include <ass/ass.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H

#include <cstdio>
#include <cstdlib>
#include <sstream>

void Ink::cover(int x, int y, int alpha)
{
    if (x >= 0 && y >= 0 && x < width && y < height && alpha >= 128)
        on[size_t(y * width + x)] = 1;
}

QRect Ink::box() const
{
    QRect r;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (at(x, y))
                r |= QRect(x, y, 1, 1);
    return r;
}

Ink libassInk(const std::string& events, int width, int height, const MenuFont& font,
              bool lettersOnly, int margin)
{
    width += 2 * margin;
    height += 2 * margin;
    ASS_Library* library = ass_library_init();
    ass_set_message_cb(
        library, [](int, const char*, va_list, void*) {}, nullptr);
    ASS_Renderer* renderer = ass_renderer_init(library);
    ass_set_frame_size(renderer, width, height);
    ass_set_storage_size(renderer, width, height);
    ass_set_fonts(renderer, font.file.c_str(), "sans-serif", ASS_FONTPROVIDER_AUTODETECT, nullptr,
                  1);
    std::string script =
        "[Script Info]\nScriptType: v4.00+\nPlayResX: " + std::to_string(width) +
        "\nPlayResY: " + std::to_string(height) +
        "\n\n[V4+ Styles]\nFormat: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, "
        "OutlineColour, BackColour, Bold, Italic, Underline, StrikeOut, ScaleX, ScaleY, Spacing, "
        "Angle, BorderStyle, Outline, Shadow, Alignment, MarginL, MarginR, MarginV, Encoding\n"
        "Style: Default,sans-serif,20,&H00FFFFFF,&H00FFFFFF,&H00000000,&H00000000,0,0,0,0,100,100,"
        "0,0,1,0,0,7,0,0,0,1\n\n[Events]\nFormat: Layer, Start, End, Style, Name, MarginL, "
        "MarginR, MarginV, Effect, Text\n";
    std::istringstream lines(events);
    for (std::string line; std::getline(lines, line);) {
        int x, y, end = 0;
        const size_t pos = line.find("\\pos(");
        if (pos != std::string::npos &&
            sscanf(line.c_str() + pos, "\\pos(%d,%d)%n", &x, &y, &end) == 2 && end > 0)
            line.replace(pos, size_t(end),
                         "\\pos(" + std::to_string(x + margin) + "," + std::to_string(y + margin) +
                             ")");
        script += "Dialogue: 0,0:00:00.00,0:01:00.00,Default,,0,0,0,," + line + "\n";
    }
    ASS_Track* track = ass_read_memory(library, script.data(), script.size(), nullptr);
    Ink ink(width, height);
    for (const ASS_Image* i = track ? ass_render_frame(renderer, track, 1000, nullptr) : nullptr; i;
         i = i->next) {
        if (lettersOnly && i->type != ASS_Image::IMAGE_TYPE_CHARACTER)
            continue;
        const int opacity = 255 - int(i->color & 0xff);
        for (int y = 0; y < i->h; ++y)
            for (int x = 0; x < i->w; ++x)
                ink.cover(i->dst_x + x, i->dst_y + y, i->bitmap[y * i->stride + x] * opacity / 255);
    }
    if (track)
        ass_free_track(track);
    ass_renderer_done(renderer);
    ass_library_done(library);
    return ink;
}

Ink literalInk(const std::u32string& text, double fs, int width, int height, const MenuFont& font)
{
    Ink ink(width, height);
    FT_Library library;
    FT_Face face;
    if (FT_Init_FreeType(&library) != 0)
        return ink;
    if (FT_New_Face(library, font.file.c_str(), font.index, &face) == 0) {
        const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
        const auto* hhea = static_cast<const TT_HoriHeader*>(FT_Get_Sfnt_Table(face, FT_SFNT_HHEA));
        double scale = 1;
        if (os2 && hhea && os2->usWinAscent + os2->usWinDescent != 0)
            scale =
                double(hhea->Ascender - hhea->Descender) / (os2->usWinAscent + os2->usWinDescent);
        FT_Size_RequestRec request{FT_SIZE_REQUEST_TYPE_REAL_DIM, 0, FT_Long(fs * scale * 64), 0,
                                   0};
        FT_Request_Size(face, &request);
        FT_Pos pen = 8 * 64;
        const int baseline = height / 2;
        for (char32_t c : text) {
            if (FT_Load_Char(face, c, FT_LOAD_NO_HINTING) != 0)
                continue;
            FT_GlyphSlot g = face->glyph;
            FT_Outline_Translate(&g->outline, pen & 63, 0);
            if (FT_Render_Glyph(g, FT_RENDER_MODE_NORMAL) == 0) {
                for (unsigned y = 0; y < g->bitmap.rows; ++y)
                    for (unsigned x = 0; x < g->bitmap.width; ++x)
                        ink.cover(int(pen >> 6) + g->bitmap_left + int(x),
                                  baseline - g->bitmap_top + int(y),
                                  g->bitmap.buffer[y * unsigned(g->bitmap.pitch) + x]);
            }
            pen += g->linearHoriAdvance >> 10; // 16.16 to 26.6, unhinted as libass places them
        }
        FT_Done_Face(face);
    }
    FT_Done_FreeType(library);
    return ink;
}

QString sameLetters(const Ink& drawn, const Ink& literal)
{
    const QRect d = drawn.box(), l = literal.box();
    const auto text = [](const QRect& r) {
        return QString("%1x%2").arg(r.width()).arg(r.height());
    };
    if (l.isEmpty() || std::abs(d.width() - l.width()) > 2 || std::abs(d.height() - l.height()) > 2)
        return "drawn " + text(d) + ", the characters " + text(l);
    const auto unmatched = [](const Ink& a, QPoint aAt, const Ink& b, QPoint bAt, QRect box) {
        int n = 0;
        for (int y = -1; y <= box.height(); ++y)
            for (int x = -1; x <= box.width(); ++x) {
                bool near = false;
                for (int dy = -1; dy <= 1 && !near; ++dy)
                    for (int dx = -1; dx <= 1 && !near; ++dx)
                        near = b.at(bAt.x() + x + dx, bAt.y() + y + dy);
                n += a.at(aAt.x() + x, aAt.y() + y) && !near;
            }
        return n;
    };
    const int lost = unmatched(literal, l.topLeft(), drawn, d.topLeft(), l);
    const int added = unmatched(drawn, d.topLeft(), literal, l.topLeft(), d);
    // Over a long line, a glyph's edge may stand two pixels off: a few such pixels pass.
    int inked = 0;
    for (unsigned char on : literal.on)
        inked += on;
    return (lost + added) * 64 > inked
               ? QString("%1 pixels of the characters not drawn, %2 drawn that are "
                         "not theirs")
                     .arg(lost)
                     .arg(added)
               : QString();
}
