#pragma once

#include <optional>
#include <string>
#include <vector>

// What MPlayer's option values and filter lists become for mpv. Values are checked narrowly: a
// number is plain decimal digits (no exponent, hex, "inf" or "+", which the two players read
// differently or not at all), a name is letters and digits; mpv ends at once on a value it does
// not take, so what is not plainly right is left out.
namespace mpvValues {

using Words = std::vector<std::string>;

// Decimal digits from `from` to `to`, at most `most` of them.
bool digits(const std::string& text, size_t from, size_t to, size_t most);
// The whole text as a number between lo and hi, or nothing.
std::optional<long long> integer(const std::string& text, double lo, double hi);
std::optional<double> decimal(const std::string& text, double lo, double hi);
// Letters, digits and the `others`, at most `most` of them.
bool nameChars(const std::string& text, const char* others, size_t most);
Words split(const std::string& text, char separator);
std::string join(const Words& parts, char separator);

// A -af or -vf list in mpv's words; the filters that have no form go to droppedParts.
std::string audioFilters(const std::string& value, Words& droppedParts);
std::string videoFilters(const std::string& value, Words& droppedParts);

} // namespace mpvValues
