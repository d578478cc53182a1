#pragma once

#include "windowArguments.h"

#include <string>
#include <vector>

struct PlayerArguments
{
    std::vector<std::string> options; // what follows the player's path
    std::string fifo;                 // the command FIFO named after "-input file="
    bool startMenu = false;           // the player starts in its menu over the background
    std::string background;           // then, the background clip
};

// The window's arguments turned into the real player's: the FIFO taken out (the adapter reads
// it and feeds the player its standard input), the menu with its look (menuOptions) and the
// folder its listed menus show (menuLists), the window and safe output defaults put in front so
// that the window's own options still win. Nothing loops: under the start menu the adapter
// itself says what plays next.
PlayerArguments playerArguments(const std::vector<std::string>& args, const std::string& menuFile,
                                const char* wid, WindowSize window,
                                const std::vector<std::string>& menuOptions = {},
                                const std::string& menuLists = {});

// The same line for a player started before the window exists: what follows from the window
// (the filters, the menu's look, -dr, -wid, -zoom, -fs) is left to an option file that MPlayer
// reads in their place (-include windowFile) ...
PlayerArguments playerArgumentsBeforeWindow(const std::vector<std::string>& args,
                                            const std::string& menuFile,
                                            const std::string& windowFile,
                                            const std::string& menuLists);
// ... whose text this is, once the window is known.
std::string mplayerWindowFile(const char* wid, WindowSize window,
                              const std::vector<std::string>& menuOptions);
