#include "mpvCommands.h"

#include "lineSplitter.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <vector>

using nlohmann::json;

namespace {

// MPlayer's property names, mpv's, and how the answer is written.
struct Property
{
    const char* mplayer;
    const char* mpv;
    const char* format;
};
const Property kProperties[] = {
    {"pause", "pause", "yesno"},         {"time_pos", "time-pos", "number"},
    {"length", "duration", "number"},    {"percent_pos", "percent-pos", "number"},
    {"volume", "volume", "number"},      {"mute", "mute", "yesno"},
    {"osdlevel", "osd-level", "number"}, {"framedropping", "framedrop", "framedrop"},
    {"speed", "speed", "number"},        {"path", "path", "text"},
    {"filename", "filename", "text"},    {"width", "width", "number"},
    {"height", "height", "number"},      {"fps", "container-fps", "number"},
};

const Property* property(const std::string& name)
{
    for (const Property& p : kProperties) {
        if (name == p.mplayer)
            return &p;
    }
    return nullptr;
}

bool number(const std::string& word, double* value)
{
    char* end = nullptr;
    *value = strtod(word.c_str(), &end);
    return !word.empty() && end && *end == '\0';
}

// The queries and settings of properties.
MpvCommand propertyCommand(const std::string& verb, const std::vector<std::string>& args)
{
    MpvCommand c;
    const Property* p = args.empty() ? nullptr : property(args[0]);
    if (p && verb == "get_property") {
        c.command = {"get_property", p->mpv};
        c.answerName = p->mplayer;
        c.answerFormat = p->format;
    } else if (p && verb == "set_property" && args.size() > 1) {
        c.command = {"set", p->mpv, args[1]};
    } else if (verb == "get_time_pos") {
        c.command = {"get_property", "time-pos"};
        c.answerName = "TIME_POSITION";
        c.answerFormat = "position";
    } else if (verb == "get_time_length") {
        c.command = {"get_property", "duration"};
        c.answerName = "LENGTH";
        c.answerFormat = "position";
    } else if (verb == "get_percent_pos") {
        c.command = {"get_property", "percent-pos"};
        c.answerName = "PERCENT_POSITION";
        c.answerFormat = "number";
    }
    return c;
}

// The framedrop values in MPlayer's order: off, on, hard.
const char* const kFramedrop[] = {"no", "vo", "decoder+vo"};

} // namespace

MpvCommand mpvCommand(const std::string& body)
{
    std::istringstream in(body);
    std::string verb;
    in >> verb;
    std::vector<std::string> args;
    for (std::string w; in >> w;)
        args.push_back(w);
    const auto arg = [&](size_t i) { return i < args.size() ? args[i] : std::string(); };
    double n = 0;
    MpvCommand c;

    if (verb == "pause") {
        c.command = {"cycle", "pause"};
    } else if (verb == "frame_step") {
        c.command = {"frame-step"};
    } else if (verb == "seek" && number(arg(0), &n)) {
        // 0: relative seconds, 1: percent of the clip, 2: seconds from its start.
        const std::string type = arg(1);
        const char* how = type == "1" ? "absolute-percent" : type == "2" ? "absolute" : "relative";
        c.command = {"osd-auto", "seek", n, how};
    } else if (verb == "volume" && number(arg(0), &n)) {
        c.command = arg(1) == "1" ? json{"osd-auto", "set", "volume", arg(0)}
                                  : json{"osd-auto", "add", "volume", n};
    } else if (verb == "mute") {
        c.command = args.empty() ? json{"osd-auto", "cycle", "mute"}
                                 : json{"osd-auto", "set", "mute", arg(0) == "1" ? "yes" : "no"};
    } else if (verb == "osd") {
        c.command = args.empty() ? json{"osd-auto", "cycle", "osd-level"}
                                 : json{"set", "osd-level", arg(0)};
    } else if (verb == "frame_drop") {
        if (args.empty())
            c.command = {"osd-auto", "cycle-values", "framedrop", "vo", "decoder+vo", "no"};
        else if (number(arg(0), &n) && n >= 0 && n <= 2)
            c.command = {"osd-auto", "set", "framedrop", kFramedrop[int(n)]};
    } else if (verb == "quit") {
        c.command = {"quit", number(arg(0), &n) ? int(n) : 0};
    } else if (verb == "stop") {
        c.command = {"stop"};
    } else {
        c = propertyCommand(verb, args);
    }
    c.needsFile = !c.command.is_null() &&
                  (verb == "seek" || verb == "frame_step" ||
                   (verb == "set_property" && (arg(0) == "time_pos" || arg(0) == "percent_pos")));
    return c;
}

std::string mplayerValue(const json& value, const std::string& format)
{
    char text[64];
    if (format == "yesno" && value.is_boolean())
        return value.get<bool>() ? "yes" : "no";
    if (format == "framedrop" && value.is_string()) {
        for (int i = 0; i < 3; ++i) {
            if (value.get<std::string>() == kFramedrop[i])
                return std::to_string(i);
        }
        return "1";
    }
    if (format == "position" && value.is_number()) {
        snprintf(text, sizeof text, "%.1f", value.get<double>());
        return text;
    }
    if (value.is_number()) {
        snprintf(text, sizeof text, "%f", value.get<double>());
        return text;
    }
    if (value.is_string())
        return value.get<std::string>();
    if (value.is_boolean())
        return value.get<bool>() ? "yes" : "no";
    return value.dump();
}

LoadArguments loadArguments(const std::string& body)
{
    LoadArguments load;
    std::string rest = trimmedLine(body.substr(std::min<size_t>(body.size(), 8)));
    if (rest.size() > 2 && rest.compare(rest.size() - 2, 2, " 1") == 0) {
        load.append = true;
        rest = trimmedLine(rest.substr(0, rest.size() - 2));
    }
    if (rest.size() > 1 && (rest[0] == '\'' || rest[0] == '"') && rest.back() == rest[0])
        rest = rest.substr(1, rest.size() - 2);
    load.path = rest;
    return load;
}

namespace mpvMessage {

long long integer(const json& message, const char* key)
{
    const auto f = message.find(key);
    return f != message.end() && f->is_number_integer() ? f->get<long long>() : 0;
}

std::string text(const json& message, const char* key)
{
    const auto f = message.find(key);
    return f != message.end() && f->is_string() ? f->get<std::string>() : std::string();
}

std::string serialised(const json& message)
{
    return message.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
}

} // namespace mpvMessage
