#include "mpvOptionRules.h"

#include <cstdlib>
#include <iterator>
#include <optional>

namespace mpvOptionRules {

using namespace mpvValues;

namespace {

// A list of drivers, each without MPlayer's suboptions; the ones mpv has kept.
std::string driverList(const std::string& value, const char* const (*names)[2], size_t count,
                       Words& droppedParts)
{
    Words kept;
    for (const std::string& entry : split(value, ',')) {
        const std::string driver = entry.substr(0, entry.find(':'));
        const char* mpv = nullptr;
        for (size_t i = 0; i < count; ++i)
            mpv = driver == names[i][0] ? names[i][1] : mpv;
        if (mpv)
            kept.push_back(mpv);
        else if (!entry.empty()) // an empty entry asks for a fallback: mpv's may leave the window
            droppedParts.push_back(entry);
    }
    return join(kept, ',');
}

// oss and the other old drivers are gone from mpv; pcm is left out, for it writes a file.
const char* const kAudioOutputs[][2] = {
    {"alsa", "alsa"}, {"pulse", "pulse"}, {"jack", "jack"}, {"sdl", "sdl"}, {"null", "null"},
};
// gl is an alias mpv may drop; gl_nosw is gone.
const char* const kVideoOutputs[][2] = {
    {"x11", "x11"},     {"xv", "xv"},   {"gl", "gpu"},
    {"gl_nosw", "gpu"}, {"sdl", "sdl"}, {"null", "null"},
};

} // namespace

std::string integerRule(const Row& row, const std::string& value, Words&)
{
    const auto n = integer(value, row.lo, row.hi);
    return n ? std::to_string(*n) : ""; // normalised: "010" is not read as octal
}

std::string decimalRule(const Row& row, const std::string& value, Words&)
{
    return decimal(value, row.lo, row.hi) ? value : "";
}

// [[hh:]mm:]ss[.ff], as both read it.
std::string timeRule(const Row&, const std::string& value, Words&)
{
    const Words parts = split(value, ':');
    if (parts.size() > 3)
        return "";
    for (size_t i = 0; i < parts.size(); ++i) {
        const bool last = i + 1 == parts.size();
        const size_t dot = last ? parts[i].find('.') : std::string::npos;
        const size_t whole = dot == std::string::npos ? parts[i].size() : dot;
        if (!digits(parts[i], 0, whole, i == 0 ? 7 : 2) ||
            (dot != std::string::npos && !digits(parts[i], dot + 1, parts[i].size(), 9)) ||
            (i > 0 && std::atoi(parts[i].c_str()) > 59))
            return "";
    }
    return value;
}

// "16:9" or "1.78".
std::string ratioRule(const Row& row, const std::string& value, Words&)
{
    const Words wh = split(value, ':');
    if (wh.size() == 1)
        return decimal(value, 0.01, row.hi) ? value : "";
    const auto w = wh.size() == 2 ? decimal(wh[0], 1, 100000) : std::nullopt;
    const auto h = wh.size() == 2 ? decimal(wh[1], 1, 100000) : std::nullopt;
    return w && h && *w / *h <= row.hi ? value : "";
}

// MPlayer plays a clip -loop N times, mpv plays it once and then --loop-file N times more.
std::string loopRule(const Row& row, const std::string& value, Words&)
{
    const auto n = integer(value, row.lo, row.hi);
    return !n ? "" : *n == 0 ? "inf" : *n == 1 ? "no" : std::to_string(*n - 1);
}

// MPlayer counts subtitle tracks from 0, mpv from 1.
std::string trackRule(const Row& row, const std::string& value, Words&)
{
    const auto n = integer(value, row.lo, row.hi);
    return n ? std::to_string(*n + 1) : "";
}

std::string kibibytesRule(const Row& row, const std::string& value, Words&)
{
    const auto n = integer(value, row.lo, row.hi);
    return n ? std::to_string(*n) + "KiB" : "";
}

std::string languagesRule(const Row&, const std::string& value, Words&)
{
    for (const std::string& code : split(value, ','))
        if (!nameChars(code, "-", 16))
            return "";
    return value;
}

std::string codepageRule(const Row&, const std::string& value, Words&)
{
    return nameChars(value, "_.-", 64) && value[0] != '-' ? value : "";
}

// Any name, taken as a file: mpv would read "-" as standard input and "memory://..." and the
// like as its own protocols, MPlayer does not.
std::string fileRule(const Row&, const std::string& value, Words&)
{
    return value.empty() ? "" : value[0] == '/' ? value : "./" + value;
}

std::string audioOutputRule(const Row&, const std::string& value, Words& droppedParts)
{
    return driverList(value, kAudioOutputs, std::size(kAudioOutputs), droppedParts);
}

std::string videoOutputRule(const Row&, const std::string& value, Words& droppedParts)
{
    return driverList(value, kVideoOutputs, std::size(kVideoOutputs), droppedParts);
}

std::string audioFilterRule(const Row&, const std::string& value, Words& droppedParts)
{
    return audioFilters(value, droppedParts);
}

std::string videoFilterRule(const Row&, const std::string& value, Words& droppedParts)
{
    return videoFilters(value, droppedParts);
}

} // namespace mpvOptionRules
