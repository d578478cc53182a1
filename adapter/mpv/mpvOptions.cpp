#include "mpvOptions.h"

#include "mpvOptionRules.h"

namespace {

using namespace mpvOptionRules;

// clang-format off
const Row kOptions[] = {
    // MPlayer             value  how          mpv                            rule             lo    hi
    {"-ao",                true,  How::Value,  "--ao=",                       audioOutputRule, 0,    0,       nullptr, audioOutputSettings},
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
            if (row->settings) {
                for (const std::string& setting : row->settings(value))
                    out.options.push_back(setting);
            }
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
