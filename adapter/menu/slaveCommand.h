#pragma once

#include <string>

// A line of the player's slave protocol, split into the words that the adapter looks at.
struct SlaveCommand
{
    std::string prefix;   // "pausing", "pausing_keep", "pausing_keep_force", "pausing_toggle" or ""
    std::string body;     // the command without its prefix
    std::string verb;     // the body's first word
    std::string argument; // its second word
};

SlaveCommand parseSlaveCommand(const std::string& line);
