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
};

// body: the command without its pausing prefix ("seek +40", "get_property time_pos").
MpvCommand mpvCommand(const std::string& body);

// An mpv property's value as MPlayer would have answered it.
std::string mplayerValue(const nlohmann::json& value, const std::string& format);
