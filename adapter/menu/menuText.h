#pragma once

#include <functional>
#include <string>

// How names are shown in the menu: as the person wrote them. The bytes are read as UTF-8; what
// is not UTF-8 shows as U+FFFD, one for each bad sequence. Control characters show as a box,
// U+25A1. Everything else shows as it is.
std::string menuLabel(const std::string& name);

// A label as MPlayer's menu definition can carry it: a double quote, which would end the
// attribute, shows as ”; < and >, which its parser takes for the start of a tag in places, as
// ‹ and ›. Everything else it draws as it is: ' & \ ; $ and % included.
std::string definitionSafe(const std::string& label);

// The text as code points, with each bad UTF-8 sequence as U+FFFD.
std::u32string codePoints(const std::string& text);
std::string utf8(const std::u32string& text);

// The label cut to `room` pixels with "…", where advance() gives each code point's width; the
// label itself when it fits. A cut never separates a letter from the marks that go with it.
std::string fitted(const std::string& label, int room, const std::function<int(char32_t)>& advance);

constexpr char32_t kEllipsis = 0x2026;
