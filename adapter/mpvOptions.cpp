#include "mpvOptions.h"

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <optional>

namespace {

using Words = std::vector<std::string>;

// ---------------------------------------------------------------------------------------------
// Values. Checked narrowly: a number is plain decimal digits (no exponent, hex, "inf" or "+",
// which the two players read differently or not at all), a name is letters and digits.

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

// ---------------------------------------------------------------------------------------------
// Options.

struct Row;
// Makes mpv's value from the user's; "" when mpv has no form of it. Parts of a list that have
// none go to droppedParts while the rest is kept.
using Rule = std::string (*)(const Row& row, const std::string& value, Words& droppedParts);

enum class How {
    Fixed,  // mpv's option, as it stands
    Value,  // mpv's option followed by what the rule makes of the value
    Quiet,  // left out: mpv does it already, or the adapter owns it
    Caller, // left out: the caller handles it
    Drop,   // left out and named: mpv has no faithful form
};

struct Row
{
    const char* mplayer;
    bool takesValue;
    How how;
    const char* mpv = nullptr;  // the option, or its start up to the value
    Rule rule = nullptr;        // for How::Value
    double lo = 0, hi = 0;      // the value's range, for the rules that take one
    const char* also = nullptr; // a second mpv option the first needs
};

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
    return filterList(value, kAudioFilters, droppedParts);
}

std::string videoFilterRule(const Row&, const std::string& value, Words& droppedParts)
{
    return filterList(value, kVideoFilters, droppedParts);
}

// clang-format off
const Row kOptions[] = {
    // MPlayer             value  how          mpv                            rule             lo    hi
    {"-ao",                true,  How::Value,  "--ao=",                       audioOutputRule},
    {"-vo",                true,  How::Value,  "--vo=",                       videoOutputRule},
    {"-fs",                false, How::Quiet},
    {"-zoom",              false, How::Quiet},
    {"-osdlevel",          true,  How::Value,  "--osd-level=",                integerRule,     0,    3},
    {"-volume",            true,  How::Value,  "--volume=",                   decimalRule,     0,    1000},
    {"-ss",                true,  How::Value,  "--start=",                    timeRule},
    {"-loop",              true,  How::Value,  "--loop-file=",                loopRule,        0,    10001},
    {"-nosound",           false, How::Fixed,  "--no-audio"},
    {"-af",                true,  How::Value,  "--af=",                       audioFilterRule},
    {"-vf",                true,  How::Value,  "--vf=",                       videoFilterRule},
    {"-aspect",            true,  How::Value,  "--video-aspect-override=",    ratioRule,       0,    10},
    {"-noaspect",          false, How::Fixed,  "--video-aspect-override=no"},
    {"-monitoraspect",     true,  How::Value,  "--monitoraspect=",            ratioRule,       0,    9},
    {"-speed",             true,  How::Value,  "--speed=",                    decimalRule,     0.01, 100},
    {"-cache",             true,  How::Value,  "--demuxer-max-bytes=",        kibibytesRule,   32,   1048576, "--cache=yes"},
    {"-nocache",           false, How::Fixed,  "--cache=no"},
    {"-framedrop",         false, How::Fixed,  "--framedrop=vo"},
    {"-hardframedrop",     false, How::Fixed,  "--framedrop=decoder+vo"},
    // mpv keeps to the file's own times unless told not to, and --fps alone does nothing.
    {"-fps",               true,  How::Value,  "--fps=",                      decimalRule,     1,    1000,    "--no-correct-pts"},
    {"-sid",               true,  How::Value,  "--sid=",                      trackRule,       0,    8189},
    // MPlayer's audio ids are stream ids (0-31 in MPEG, PIDs in TS), not mpv's track numbers.
    {"-aid",               true,  How::Drop},
    {"-alang",             true,  How::Value,  "--alang=",                    languagesRule},
    {"-slang",             true,  How::Value,  "--slang=",                    languagesRule},
    {"-sub",               true,  How::Value,  "--sub-file=",                 fileRule},
    {"-channels",          true,  How::Value,  "--audio-channels=",           integerRule,     1,    8},
    {"-delay",             true,  How::Value,  "--audio-delay=",              decimalRule,     -86400, 86400},
    // Both count from the start position.
    {"-endpos",            true,  How::Value,  "--length=",                   timeRule},
    {"-frames",            true,  How::Value,  "--frames=",                   integerRule,     0,    2147483647},
    {"-softvol",           false, How::Quiet},
    {"-softvol-max",       true,  How::Value,  "--volume-max=",               decimalRule,     100,  1000},
    {"-srate",             true,  How::Value,  "--audio-samplerate=",         integerRule,     8000, 768000},
    {"-subcp",             true,  How::Value,  "--sub-codepage=",             codepageRule},
    {"-noautosub",         false, How::Fixed,  "--sub-auto=no"},
    {"-nosub",             false, How::Fixed,  "--no-sub"},
    {"-panscan",           true,  How::Value,  "--panscan=",                  decimalRule,     0,    1},
    {"-brightness",        true,  How::Value,  "--brightness=",               integerRule,     -100, 100},
    {"-contrast",          true,  How::Value,  "--contrast=",                 integerRule,     -100, 100},
    {"-saturation",        true,  How::Value,  "--saturation=",               integerRule,     -100, 100},
    {"-hue",               true,  How::Value,  "--hue=",                      integerRule,     -100, 100},
    {"-gamma",             true,  How::Value,  "--gamma=",                    integerRule,     -100, 100},
    {"-autosync",          true,  How::Value,  "--autosync=",                 integerRule,     0,    10000},
    {"-mc",                true,  How::Value,  "--mc=",                       decimalRule,     0,    100},
    // mpv runs without a terminal, and takes no input of its own.
    {"-quiet",             false, How::Quiet},
    {"-really-quiet",      false, How::Quiet},
    {"-noconsolecontrols", false, How::Quiet},
    {"-nolirc",            false, How::Quiet},
    {"-nojoystick",        false, How::Quiet},
    // The window's own: the caller answers them with its own mpv options.
    {"-slave",             false, How::Caller},
    {"-input",             true,  How::Caller},
    {"-nortc",             false, How::Caller},
    {"-idle",              false, How::Caller},
    {"-wid",               true,  How::Caller},
    {"-nomouseinput",      false, How::Caller},
    {"-menu",              false, How::Caller},
    {"-menu-cfg",          true,  How::Caller},
    {"-menu-startup",      true,  How::Caller},
};
// clang-format on

const Row* rowOf(const std::string& word)
{
    for (const Row& row : kOptions) {
        if (word == row.mplayer)
            return &row;
    }
    return nullptr;
}

} // namespace

MpvOptions translateOptions(const std::vector<std::string>& words)
{
    MpvOptions out;
    for (size_t i = 0; i < words.size(); ++i) {
        const Row* row = rowOf(words[i]);
        if (!row) {
            out.dropped.push_back(words[i]);
            continue;
        }
        const std::string& name = words[i];
        if (row->takesValue && i + 1 == words.size()) {
            if (row->how != How::Caller)
                out.dropped.push_back(name);
            continue;
        }
        const std::string value = row->takesValue ? words[++i] : "";
        switch (row->how) {
        case How::Fixed:
            out.options.push_back(row->mpv);
            break;
        case How::Value: {
            Words parts;
            const std::string mpvValue = row->rule(*row, value, parts);
            for (const std::string& part : parts)
                out.dropped.push_back(name + " " + part);
            if (mpvValue.empty() && parts.empty())
                out.dropped.push_back(name + " " + value);
            if (mpvValue.empty())
                break;
            if (row->also)
                out.options.push_back(row->also);
            out.options.push_back(row->mpv + mpvValue);
            if (name == "-vo")
                out.videoOutput = mpvValue;
            break;
        }
        case How::Drop:
            out.dropped.push_back(row->takesValue ? name + " " + value : name);
            break;
        case How::Quiet:
        case How::Caller:
            break;
        }
    }
    return out;
}

std::string droppedLine(const MpvOptions& translated)
{
    if (translated.dropped.empty())
        return "";
    std::string line = "tamblin-adapter: mpv has no form of these MPlayer options, left out:";
    for (const std::string& option : translated.dropped) {
        line += ' ';
        // Values may hold any bytes; the line stays one line.
        for (char c : option)
            line += (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) ? '?' : c;
    }
    return line + "\n";
}
