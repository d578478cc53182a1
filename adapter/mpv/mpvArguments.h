#pragma once

#include "windowArguments.h"

#include <string>
#include <vector>

// mpv's command line, from the window's MPlayer command line.
struct MpvArguments
{
    std::vector<std::string> options; // what follows mpv's path
    std::string fifo;                 // the command FIFO named after "-input file="
    bool startMenu = false;           // the player starts in its menu over the background
    std::string background;           // then, the background clip
    std::string firstFile;            // what mpv plays first: the background or the media
    std::string dropped;              // a line naming the user's options mpv has no form of
    std::string hwdec;                // the hardware decoding asked for
};

// args: the window's command line (-slave -input file=FIFO -quiet -nortc -nocache, the user's
// options, then the media or -menu-startup BACKGROUND). hwdec: TAMBLIN_HWDEC, else auto-safe.
// mpv takes its IPC client as descriptor 3. windowFile: for an mpv started before the window
// exists, an option file read in place of --wid (--include) ...
MpvArguments mpvArguments(const std::vector<std::string>& args, const char* wid, const char* hwdec,
                          const std::string& windowFile = {});
// ... whose text this is, once the window is known.
std::string mpvWindowFile(const char* wid);
