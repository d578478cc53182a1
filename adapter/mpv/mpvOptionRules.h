#pragma once

#include "mpvFilters.h"

#include <string>

// The rows of the option table (mpvOptions.cpp), and the rules that make mpv's values of the
// user's: each checks a value narrowly, as mpvFilters.h says, and writes it as mpv takes it.
namespace mpvOptionRules {

using mpvValues::Words;

struct Row;
// Makes mpv's value from the user's; "" when mpv has no form of it. Parts of a list that have
// none go to droppedParts while the rest is kept.
using Rule = std::string (*)(const Row& row, const std::string& value, Words& droppedParts);
// The mpv options that come with the value besides the row's own (a driver's settings).
using Settings = Words (*)(const std::string& value);

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
    Settings settings = nullptr;
};

// The rules, each for the options its name says; lo and hi bound the value where it has a range.
std::string integerRule(const Row& row, const std::string& value, Words& droppedParts);
std::string decimalRule(const Row& row, const std::string& value, Words& droppedParts);
std::string timeRule(const Row& row, const std::string& value, Words& droppedParts);
std::string ratioRule(const Row& row, const std::string& value, Words& droppedParts);
std::string loopRule(const Row& row, const std::string& value, Words& droppedParts);
std::string trackRule(const Row& row, const std::string& value, Words& droppedParts);
std::string kibibytesRule(const Row& row, const std::string& value, Words& droppedParts);
std::string languagesRule(const Row& row, const std::string& value, Words& droppedParts);
std::string codepageRule(const Row& row, const std::string& value, Words& droppedParts);
std::string fileRule(const Row& row, const std::string& value, Words& droppedParts);
std::string audioOutputRule(const Row& row, const std::string& value, Words& droppedParts);
// -ao pcm:file=F writes the sound to F: mpv's --ao-pcm-file=F.
Words audioOutputSettings(const std::string& value);
std::string videoOutputRule(const Row& row, const std::string& value, Words& droppedParts);
std::string audioFilterRule(const Row& row, const std::string& value, Words& droppedParts);
std::string videoFilterRule(const Row& row, const std::string& value, Words& droppedParts);

} // namespace mpvOptionRules
