#include "mpvOptionRules.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <optional>

namespace mpvOptionRules {

using namespace mpvValues;

namespace {

// MPlayer's list of drivers: split at ',', but for "\,".
Words listEntries(const std::string& value)
{
    Words entries(1);
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size() && value[i + 1] == ',')
            entries.back() += value[++i];
        else if (value[i] == ',')
            entries.emplace_back();
        else
            entries.back() += value[i];
    }
    return entries;
}

// A list of drivers, each without MPlayer's suboptions; the ones mpv has kept.
std::string driverList(const std::string& value, const char* const (*names)[2], size_t count,
                       Words& droppedParts)
{
    Words kept;
    for (const std::string& entry : listEntries(value)) {
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

// oss and the other old drivers are gone from mpv.
const char* const kAudioOutputs[][2] = {
    {"alsa", "alsa"}, {"pulse", "pulse"}, {"jack", "jack"},
    {"sdl", "sdl"},   {"null", "null"},   {"pcm", "pcm"},
};

// One of MPlayer's suboptions from `from`: NAME or NAME=VALUE up to the next ':', where "%N%"
// at a value's start takes the N bytes after it whole (a file name with ':' in it). Where it
// ends; false when it is not well made.
bool suboption(const std::string& text, size_t from, std::string* name, std::string* value,
               bool* valued, size_t* end)
{
    *end = std::min(text.find_first_of("=:", from), text.size());
    *name = text.substr(from, *end - from);
    *valued = *end < text.size() && text[*end] == '=';
    value->clear();
    if (!*valued)
        return !name->empty();
    const size_t start = *end + 1;
    const size_t next = std::min(text.find(':', start), text.size());
    if (start == text.size() || text[start] != '%') {
        *end = next;
        *value = text.substr(start, next - start);
        return true;
    }
    const size_t close = text.find('%', start + 1);
    const auto length = close == std::string::npos
                            ? std::nullopt
                            : integer(text.substr(start + 1, close - start - 1), 0, 1e9);
    *end = length ? close + 1 + size_t(*length) : next;
    if (!length || *end > text.size() || (*end < text.size() && text[*end] != ':')) {
        *end = next; // as far as a plain value would go: named with it
        return false;
    }
    *value = text.substr(close + 1, size_t(*length));
    return true;
}

// The pcm driver's suboptions as mpv's settings; those it has no form of ("fast": mpv writes
// as it plays) to `dropped`.
Words pcmSettings(const std::string& entry, Words& dropped)
{
    Words settings;
    for (size_t at = entry.find(':'); at < entry.size();) {
        std::string name, value;
        bool valued = false;
        size_t end = 0;
        const bool made = suboption(entry, at + 1, &name, &value, &valued, &end);
        if (made && name == "file" && valued && !value.empty())
            settings.push_back("--ao-pcm-file=" + value);
        else if (made && (name == "waveheader" || name == "nowaveheader") && !valued)
            settings.push_back(std::string("--ao-pcm-waveheader=") +
                               (name == "waveheader" ? "yes" : "no"));
        else
            dropped.push_back("pcm:" + entry.substr(at + 1, end - at - 1));
        at = end;
    }
    return settings;
}

// The first pcm entry of a driver list; "" when there is none.
std::string pcmEntry(const std::string& value)
{
    for (const std::string& entry : listEntries(value)) {
        if (entry.substr(0, entry.find(':')) == "pcm")
            return entry;
    }
    return "";
}
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
    const std::string drivers =
        driverList(value, kAudioOutputs, std::size(kAudioOutputs), droppedParts);
    pcmSettings(pcmEntry(value), droppedParts);
    return drivers;
}

Words audioOutputSettings(const std::string& value)
{
    Words dropped; // named by the rule
    return pcmSettings(pcmEntry(value), dropped);
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
