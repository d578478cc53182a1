#pragma once

#include <string>
#include <vector>

// What the window tells the player, whichever player stands behind the adapter.

// A window id as TAMBLIN_WID gives it: decimal digits, nothing else.
bool isWindowId(const char* text);

// The size of the window the player draws into, as TAMBLIN_WINDOW_SIZE gives it ("640x480").
struct WindowSize
{
    int width = 0;
    int height = 0;
    bool valid() const { return width > 0 && height > 0; }
};
WindowSize parseWindowSize(const char* text);

// The line a window started after its player sends once it exists (TAMBLIN_WINDOW_FD):
// "WID WIDTHxHEIGHT", without its line end. Anything else: no window to draw into.
struct WindowInfo
{
    std::string wid; // empty: none
    WindowSize size;
};
WindowInfo parseWindowInfo(const std::string& line);

// The window's command line (-slave -input file=FIFO -quiet -nortc -nocache, the user's options,
// then the media or -menu-startup BACKGROUND), with the words the adapter itself acts on read
// out.
struct WindowArguments
{
    std::string fifo;              // named after "-input file=", taken out of `rest`
    bool startMenu = false;        // "-menu-startup BACKGROUND" was given
    std::string background;        // then, the background clip
    std::vector<std::string> rest; // every other word in order, "-menu-startup" and its clip too
};
WindowArguments readWindowArguments(const std::vector<std::string>& args);
