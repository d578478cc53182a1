#pragma once

#include <nlohmann/json.hpp>

#include <string>

// MPlayer's slave commands in mpv's words, as one table: what the window sends becomes a JSON
// command for mpv's IPC. The pausing prefixes are the caller's (the pause hold decides what a
// command does to a pause): only the command itself is translated here.

struct MpvCommand
{
    nlohmann::json command;   // the "command" array; null when mpv has no such command
    std::string answerName;   // a query: the name of MPlayer's answer ("ANS_NAME=...")
    std::string answerFormat; // ... and how its value is written: "yesno", "number", "text",
                              // "framedrop", "position"
    bool needsFile = false;   // mpv refuses it until a file is open (a seek, a step)
};

// body: the command without its pausing prefix ("seek +40", "get_property time_pos").
MpvCommand mpvCommand(const std::string& body);

// An mpv property's value as MPlayer would have answered it.
std::string mplayerValue(const nlohmann::json& value, const std::string& format);

// A slave loadfile's arguments: "loadfile FILE [1]", FILE one word or one quoted argument, 1 to
// append.
struct LoadArguments
{
    std::string path;
    bool append = false;
};
LoadArguments loadArguments(const std::string& body);

// mpv's messages, one JSON object a line.
namespace mpvMessage {
// A message's field, when it is there and of the kind expected: a message that is not what mpv
// sends is passed over, not taken for something (nor thrown at).
long long integer(const nlohmann::json& message, const char* key);
std::string text(const nlohmann::json& message, const char* key);
// A request as a line. Names are UTF-8 by the time they get here: a bad byte would end the line.
std::string serialised(const nlohmann::json& message);
} // namespace mpvMessage
