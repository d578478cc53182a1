#include "menuFont.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>

namespace {

void append(FcStrList* list, std::vector<std::string>* to)
{
    if (!list)
        return;
    while (const FcChar8* s = FcStrListNext(list))
        to->push_back(reinterpret_cast<const char*>(s));
    FcStrListDone(list);
}

} // namespace

void readFontConfiguration()
{
    FcInit();
}

MenuFont chooseMenuFont(const std::u32string& characters, std::vector<std::string>* watched)
{
    MenuFont chosen;
    if (!FcInit())
        return chosen;
    const std::u32string& wanted = characters;
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>("sans-serif"));
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result;
    FcFontSet* fonts = FcFontSort(nullptr, pattern, FcFalse, nullptr, &result);
    FcPatternDestroy(pattern);
    if (!fonts) {
        FcFini();
        return chosen;
    }
    chosen.missing = int(wanted.size()) + 1;
    for (int i = 0; i < fonts->nfont; ++i) {
        FcPattern* font = fonts->fonts[i];
        FcCharSet* charset = nullptr;
        FcChar8* file = nullptr;
        FcChar8* family = nullptr;
        int index = 0;
        if (FcPatternGetCharSet(font, FC_CHARSET, 0, &charset) != FcResultMatch ||
            FcPatternGetString(font, FC_FILE, 0, &file) != FcResultMatch ||
            FcPatternGetString(font, FC_FAMILY, 0, &family) != FcResultMatch)
            continue;
        FcPatternGetInteger(font, FC_INDEX, 0, &index);
        int missing = 0;
        for (char32_t c : wanted)
            missing += !FcCharSetHasChar(charset, c);
        if (missing < chosen.missing) {
            chosen = {reinterpret_cast<const char*>(family), reinterpret_cast<const char*>(file),
                      index, missing};
            if (missing == 0)
                break;
        }
    }
    FcFontSetDestroy(fonts);
    if (watched) {
        FcConfig* config = FcConfigGetCurrent();
        append(FcConfigGetConfigFiles(config), watched);
        append(FcConfigGetConfigDirs(config), watched);
        append(FcConfigGetFontDirs(config), watched);
    }
    // Nothing else here uses fontconfig: what it keeps goes, rather than stay to the end.
    FcFini();
    return chosen;
}

std::string fontPattern(const std::string& family)
{
    std::string escaped;
    for (char c : family) {
        if (c == '\\' || c == '-' || c == ':' || c == ',')
            escaped += '\\';
        escaped += c;
    }
    return escaped;
}

struct TextWidths::Library
{
    FT_Library handle = nullptr;
    Library() { FT_Init_FreeType(&handle); }
    ~Library()
    {
        if (handle)
            FT_Done_FreeType(handle);
    }
};

TextWidths::TextWidths(const MenuFont& font, int pixelSize) : library_(std::make_shared<Library>())
{
    FT_Face face = nullptr;
    if (library_->handle && font.found() &&
        FT_New_Face(library_->handle, font.file.c_str(), font.index, &face) == 0) {
        face_ = face;
        setSize(pixelSize);
    }
}

TextWidths::~TextWidths()
{
    if (face_)
        FT_Done_Face(static_cast<FT_Face>(face_));
}

void TextWidths::setSize(int pixelSize)
{
    if (!face_)
        return;
    FT_Set_Char_Size(static_cast<FT_Face>(face_), 0, FT_F26Dot6(pixelSize) * 64, 72, 72);
    // Made again at the first width asked for: a size search sets many sizes and measures none.
    plane_.clear();
    advances_.clear();
}

int TextWidths::advance(char32_t c)
{
    if (!face_)
        return 0;
    if (c < kPlane && plane_.empty())
        plane_.assign(kPlane, -1);
    if (c < kPlane && plane_[c] >= 0)
        return plane_[c];
    const auto known = advances_.find(c);
    if (known != advances_.end())
        return known->second;
    FT_Face face = static_cast<FT_Face>(face_);
    const FT_UInt glyph = FT_Get_Char_Index(face, c);
    int width = 0;
    if (glyph == 0 && c != '_')
        width = advance('_');
    else if (FT_Load_Glyph(face, glyph, FT_LOAD_DEFAULT) == 0)
        width = int(face->glyph->advance.x >> 6);
    if (c < kPlane)
        plane_[c] = width;
    else
        advances_[c] = width;
    return width;
}

int TextWidths::width(const std::u32string& text)
{
    int total = 0;
    for (char32_t c : text)
        total += advance(c);
    return total;
}

int TextWidths::lineHeight() const
{
    return face_ ? int(static_cast<FT_Face>(face_)->size->metrics.height >> 6) : 0;
}
