#include "mpvFilters.h"

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <iterator>

namespace mpvValues {

bool digits(const std::string& text, size_t from, size_t to, size_t most)
{
    if (to <= from || to - from > most)
        return false;
    for (size_t i = from; i < to; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
    }
    return true;
}

std::optional<long long> integer(const std::string& text, double lo, double hi)
{
    const size_t sign = !text.empty() && text[0] == '-' ? 1 : 0;
    long long n = 0;
    if (!digits(text, sign, text.size(), 10) ||
        std::from_chars(text.data(), text.data() + text.size(), n).ec != std::errc() || n < lo ||
        n > hi)
        return std::nullopt;
    return n;
}

std::optional<double> decimal(const std::string& text, double lo, double hi)
{
    const size_t sign = !text.empty() && text[0] == '-' ? 1 : 0;
    const size_t dot = text.find('.');
    const bool plain = dot == std::string::npos
                           ? digits(text, sign, text.size(), 10)
                           : digits(text, sign, dot, 10) && digits(text, dot + 1, text.size(), 9);
    double x = 0;
    if (!plain || std::from_chars(text.data(), text.data() + text.size(), x).ec != std::errc() ||
        x < lo || x > hi)
        return std::nullopt;
    return x;
}

bool nameChars(const std::string& text, const char* others, size_t most)
{
    if (text.empty() || text.size() > most)
        return false;
    for (char c : text) {
        const bool alnum =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!alnum && !std::strchr(others, c))
            return false;
    }
    return true;
}

Words split(const std::string& text, char separator)
{
    Words parts;
    size_t from = 0;
    for (size_t at; (at = text.find(separator, from)) != std::string::npos; from = at + 1)
        parts.push_back(text.substr(from, at - from));
    parts.push_back(text.substr(from));
    return parts;
}

std::string join(const Words& parts, char separator)
{
    std::string text;
    for (size_t i = 0; i < parts.size(); ++i)
        text += (i ? std::string(1, separator) : "") + parts[i];
    return text;
}

namespace {

// An integer in hundredths as a decimal ("-0.05" for -5): the filters' levels are fractions.
std::string hundredths(long long n)
{
    const long long a = std::llabs(n);
    const std::string cents = std::to_string(a % 100);
    return (n < 0 ? "-" : "") + std::to_string(a / 100) + "." + (a % 100 < 10 ? "0" : "") + cents;
}

// ---------------------------------------------------------------------------------------------
// Filters of -af and -vf lists: MPlayer's name, the name mpv knows (lavfi's or its own), and how
// the parameters become mpv's (nullopt: no form). Parameters are checked so that a filter fails
// neither when mpv reads the list (which ends mpv) nor when it makes the filter (which ends the
// file).

using FilterParams = std::optional<std::string> (*)(const Words& params);

struct Filter
{
    const char* mplayer;
    const char* mpv;
    FilterParams params; // nullptr: taken only without parameters
};

std::optional<std::string> scaleSize(const Words& p)
{
    if (p.empty())
        return "";
    if (p.size() == 2 && integer(p[0], 1, 16384) && integer(p[1], 1, 16384))
        return join(p, ':');
    return std::nullopt;
}

std::optional<std::string> cropArea(const Words& p)
{
    if ((p.size() == 2 || p.size() == 4) && integer(p[0], 1, 16384) && integer(p[1], 1, 16384) &&
        (p.size() == 2 || (integer(p[2], 0, 16384) && integer(p[3], 0, 16384))))
        return join(p, ':');
    return std::nullopt;
}

// MPlayer's expand centres the picture unless told where (-1, the default); lavfi's pad puts it
// at the top left unless told.
std::optional<std::string> padArea(const Words& p)
{
    if ((p.size() != 2 && p.size() != 4) || !integer(p[0], 1, 16384) || !integer(p[1], 1, 16384))
        return std::nullopt;
    Words out = {p[0], p[1], "(ow-iw)/2", "(oh-ih)/2"};
    for (size_t i = 2; i < p.size(); ++i) {
        const auto at = integer(p[i], -1, 16384);
        if (!at)
            return std::nullopt;
        if (*at >= 0)
            out[i] = std::to_string(*at);
    }
    return join(out, ':');
}

// Mode and field order mean the same in both.
std::optional<std::string> yadifModes(const Words& p)
{
    if (p.size() <= 2 && (p.size() < 1 || integer(p[0], 0, 3)) &&
        (p.size() < 2 || integer(p[1], -1, 1)))
        return join(p, ':');
    return std::nullopt;
}

// libpostproc's short names, each maybe turned off with "-"; a name it does not know ends the
// file, and mpv would split a subfilter's own ":" options off as filter parameters.
std::optional<std::string> postprocessing(const Words& p)
{
    static const char* const known[] = {"hb", "vb", "h1", "v1", "ha", "va", "dr", "al", "lb",
                                        "li", "ci", "md", "fd", "l5", "tn", "de", "fa", "ac"};
    if (p.empty())
        return "";
    if (p.size() != 1)
        return std::nullopt;
    for (const std::string& name : split(p[0], '/')) {
        const std::string bare = name.compare(0, 1, "-") == 0 ? name.substr(1) : name;
        bool found = false;
        for (const char* k : known)
            found = found || bare == k;
        if (!found)
            return std::nullopt;
    }
    return p[0];
}

// MPlayer's eq levels run from -100 to 100 with 0 unchanged; lavfi's brightness from -1 to 1
// with 0 unchanged, its contrast is a factor with 1 unchanged.
std::optional<std::string> eqLevels(const Words& p)
{
    if (p.empty())
        return "";
    const auto brightness = integer(p[0], -100, 100);
    const auto contrast = p.size() == 2 ? integer(p[1], -100, 100) : std::optional<long long>(0);
    if (p.size() > 2 || !brightness || !contrast)
        return std::nullopt;
    return "brightness=" + hundredths(*brightness) + ":contrast=" + hundredths(*contrast + 100);
}

// MPlayer's rotate 0-3 are lavfi's transpose 0-3 (0 the default in both); 4-7 depend on the
// picture's shape, which transpose cannot ask.
std::optional<std::string> rotation(const Words& p)
{
    if (p.empty())
        return "0";
    if (p.size() == 1 && integer(p[0], 0, 3))
        return p[0];
    return std::nullopt;
}

// MPlayer's volume is in decibels, lavfi's a factor unless marked as decibels.
std::optional<std::string> decibels(const Words& p)
{
    if (p.empty())
        return "";
    if (p.size() == 1 && decimal(p[0], -200, 60))
        return p[0] + "dB";
    return std::nullopt;
}

// mpv's own scaletempo has MPlayer's settings.
std::optional<std::string> tempoSettings(const Words& p)
{
    for (const std::string& setting : p) {
        const size_t eq = setting.find('=');
        const std::string key = setting.substr(0, eq);
        const std::string value = eq == std::string::npos ? "" : setting.substr(eq + 1);
        const bool good = key == "speed" ? value == "tempo" || value == "pitch" ||
                                               value == "both" || value == "none"
                          : key == "scale"   ? bool(decimal(value, 0.01, 100))
                          : key == "stride"  ? bool(decimal(value, 0.01, 1000))
                          : key == "overlap" ? bool(decimal(value, 0, 1))
                          : key == "search"  ? bool(decimal(value, 0, 1000))
                                             : false;
        if (!good)
            return std::nullopt;
    }
    return join(p, ':');
}

std::optional<std::string> stereoFactor(const Words& p)
{
    if (p.size() <= 1 && (p.empty() || decimal(p[0], -10, 10)))
        return join(p, ':');
    return std::nullopt;
}

std::optional<std::string> sampleRate(const Words& p)
{
    if (p.size() == 1 && integer(p[0], 8000, 192000))
        return p[0];
    return std::nullopt;
}

// clang-format off
const Filter kAudioFilters[] = {
    {"volume",       "volume",      decibels},
    {"scaletempo",   "scaletempo",  tempoSettings},
    {"extrastereo",  "extrastereo", stereoFactor},
    {"resample",     "aresample",   sampleRate},
    {"lavcresample", "aresample",   sampleRate},
};

const Filter kVideoFilters[] = {
    {"scale",  "scale",     scaleSize},
    {"crop",   "crop",      cropArea},
    {"expand", "pad",       padArea},
    {"yadif",  "yadif",     yadifModes},
    {"pp",     "pp",        postprocessing},
    {"eq",     "eq",        eqLevels},
    {"flip",   "vflip",     nullptr},
    {"mirror", "hflip",     nullptr},
    {"rotate", "transpose", rotation},
};
// clang-format on

template <size_t N>
std::string filterList(const std::string& value, const Filter (&table)[N], Words& droppedParts)
{
    Words kept;
    for (const std::string& entry : split(value, ',')) {
        if (entry.empty())
            continue;
        const size_t eq = entry.find('=');
        const std::string name = entry.substr(0, eq);
        const Words params = eq == std::string::npos ? Words() : split(entry.substr(eq + 1), ':');
        const Filter* filter = nullptr;
        for (const Filter& f : table)
            filter = name == f.mplayer ? &f : filter;
        std::optional<std::string> mpvParams;
        if (filter && filter->params)
            mpvParams = filter->params(params);
        else if (filter && params.empty())
            mpvParams = "";
        if (mpvParams)
            kept.push_back(filter->mpv + (mpvParams->empty() ? "" : "=" + *mpvParams));
        else
            droppedParts.push_back(entry);
    }
    return join(kept, ',');
}

} // namespace

std::string audioFilters(const std::string& value, Words& droppedParts)
{
    return filterList(value, kAudioFilters, droppedParts);
}

std::string videoFilters(const std::string& value, Words& droppedParts)
{
    return filterList(value, kVideoFilters, droppedParts);
}

} // namespace mpvValues
