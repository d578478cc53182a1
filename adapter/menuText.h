#pragma once

#include <functional>
#include <string>

// How names are shown in the menu: as the person wrote them, as far as the menu can draw them.
// - The bytes are read as UTF-8; what is not UTF-8 shows as U+FFFD, one for each bad sequence.
// - Control characters show as a box, U+25A1.
// - A double quote, which would end an attribute of the player's menu definition, shows as ”;
//   < and >, which its parser takes for the start of a tag in places, as ‹ and ›.
// Everything else shows as it is: ' & \ ; $ and % included.
std::string menuLabel(const std::string& name);

// The text as code points, with each bad UTF-8 sequence as U+FFFD.
std::u32string codePoints(const std::string& text);
std::string utf8(const std::u32string& text);

// The label cut to `room` pixels with "…", where advance() gives each code point's width; the
// label itself when it fits. A cut never separates a letter from the marks that go with it.
std::string fitted(const std::string& label, int room, const std::function<int(char32_t)>& advance);

constexpr char32_t kEllipsis = 0x2026;
