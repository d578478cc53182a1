#include "mpvOptions.h"

#include "mpvFilters.h"

#include <optional>

namespace {

using namespace mpvValues;

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
    return audioFilters(value, droppedParts);
}

std::string videoFilterRule(const Row&, const std::string& value, Words& droppedParts)
{
    return videoFilters(value, droppedParts);
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
