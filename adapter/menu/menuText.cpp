#include "menuText.h"

namespace {

const char32_t kReplacement = 0xFFFD;
const char32_t kControlMark = 0x25A1;

// Marks that combine with the letter before them, and joiners: a cut goes before their letter.
bool combines(char32_t c)
{
    return (c >= 0x0300 && c <= 0x036F) || (c >= 0x1AB0 && c <= 0x1AFF) ||
           (c >= 0x1DC0 && c <= 0x1DFF) || (c >= 0x20D0 && c <= 0x20FF) ||
           (c >= 0xFE00 && c <= 0xFE0F) || (c >= 0xFE20 && c <= 0xFE2F) || c == 0x200D ||
           (c >= 0xE0100 && c <= 0xE01EF);
}

} // namespace

namespace {

// The code point that starts at text[i], and where the next one starts; a bad sequence is
// replaced as far as it went right (its maximal part), once, and is not `good`.
char32_t decodeAt(const std::string& text, size_t i, size_t* next, bool* good)
{
    const size_t n = text.size();
    const unsigned char b = static_cast<unsigned char>(text[i]);
    *next = i + 1;
    *good = true;
    if (b < 0x80)
        return b;
    int length = 0;
    char32_t c = 0;
    unsigned char low = 0x80, high = 0xBF; // the second byte's range
    if (b >= 0xC2 && b <= 0xDF) {
        length = 2;
        c = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
        length = 3;
        c = b & 0x0F;
        low = b == 0xE0 ? 0xA0 : 0x80;  // no overlong forms
        high = b == 0xED ? 0x9F : 0xBF; // no surrogates
    } else if (b >= 0xF0 && b <= 0xF4) {
        length = 4;
        c = b & 0x07;
        low = b == 0xF0 ? 0x90 : 0x80;
        high = b == 0xF4 ? 0x8F : 0xBF; // nothing past U+10FFFF
    }
    size_t j = i + 1;
    *good = length > 0;
    for (int k = 1; *good && k < length; ++k, ++j) {
        const unsigned char t = j < n ? static_cast<unsigned char>(text[j]) : 0;
        if (t < (k == 1 ? low : 0x80) || t > (k == 1 ? high : 0xBF)) {
            *good = false;
            break;
        }
        c = (c << 6) | (t & 0x3F);
    }
    *next = j;
    return *good ? c : kReplacement;
}

} // namespace

std::u32string codePoints(const std::string& text)
{
    std::u32string out;
    out.reserve(text.size());
    bool good;
    for (size_t i = 0; i < text.size();)
        out += decodeAt(text, i, &i, &good);
    return out;
}

std::string utf8(const std::u32string& text)
{
    std::string out;
    for (char32_t c : text) {
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += char(0xE0 | (c >> 12));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xF0 | (c >> 18));
            out += char(0x80 | ((c >> 12) & 0x3F));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

namespace {

// Good UTF-8 without control characters, as names are: shown as it is, with no copy decoded.
bool shownAsItIs(const std::string& text)
{
    bool good = true;
    for (size_t i = 0; i < text.size();) {
        const unsigned char b = static_cast<unsigned char>(text[i]);
        if (b >= 0x20 && b < 0x7F) {
            ++i;
            continue;
        }
        const char32_t c = decodeAt(text, i, &i, &good);
        if (!good || c < 0x20 || (c >= 0x7F && c <= 0x9F))
            return false;
    }
    return true;
}

} // namespace

std::string menuLabel(const std::string& name)
{
    if (shownAsItIs(name))
        return name;
    std::u32string shown;
    for (char32_t c : codePoints(name))
        shown += c < 0x20 || (c >= 0x7F && c <= 0x9F) ? kControlMark : c;
    return utf8(shown);
}

std::string definitionSafe(const std::string& label)
{
    bool plain = true;
    for (char c : label)
        plain = plain && c != '"' && c != '<' && c != '>';
    if (plain)
        return label;
    std::string safe;
    for (char c : label) {
        if (c == '"')
            safe += "\u201D";
        else if (c == '<')
            safe += "\u2039";
        else if (c == '>')
            safe += "\u203A";
        else
            safe += c;
    }
    return safe;
}

namespace {

// Where the code point before text[at] starts, in text that is good UTF-8.
size_t previousStart(const std::string& text, size_t at)
{
    do
        --at;
    while (at > 0 && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80);
    return at;
}

} // namespace

// Good UTF-8, as labels are, is measured and cut in its own bytes: decoding every label into a
// string of code points and back was much of fitting a large collection's menus.
std::string fitted(const std::string& label, int room, const std::function<int(char32_t)>& advance)
{
    const int ellipsis = advance(kEllipsis);
    size_t keep = 0; // in bytes, at a code point's start
    int width = 0;
    bool good = true;
    for (size_t i = 0, next = 0; i < label.size(); i = next) {
        const char32_t c = decodeAt(label, i, &next, &good);
        if (!good) {
            // Cut as the label made good (each bad sequence one U+FFFD); whole, it stays as
            // it was.
            const std::string clean = utf8(codePoints(label));
            const std::string cut = fitted(clean, room, advance);
            return cut == clean ? label : cut;
        }
        width += advance(c);
        if (width + ellipsis <= room)
            keep = next;
        if (width > room)
            break;
    }
    if (width <= room)
        return label;
    size_t after;
    while (keep > 0 && keep < label.size() && combines(decodeAt(label, keep, &after, &good)))
        keep = previousStart(label, keep);
    // Blanks before the cut say nothing: "Long title…", not "Long title …".
    while (keep > 0 && label[keep - 1] == ' ')
        --keep;
    return label.substr(0, keep) + "\u2026";
}
