#pragma once

#include <string>
#include <vector>

// The real player: TAMBLIN_PLAYER when set (a bare name is looked up on PATH), else the first
// executable "mplayer" on PATH that is not this program, else the first "mpv". Empty, with the
// reason in *why, when there is none.
std::string findRealPlayer(const char* tamblinPlayer, const char* path, const std::string& self,
                           std::string* why);

// Which player it is, by its name: mpv when the file's name (or the one it links to) holds "mpv".
enum class PlayerKind { MPlayer, Mpv };
PlayerKind playerKind(const std::string& player);

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

struct PlayerArguments
{
    std::vector<std::string> options; // what follows the player's path
    std::string fifo;                 // the command FIFO named after "-input file="
    bool startMenu = false;           // the player starts in its menu over the background
    std::string background;           // then, the background clip
};

// The window's arguments turned into the real player's: the FIFO taken out (the adapter reads
// it and feeds the player its standard input), the menu with its look (menuOptions), the window
// and safe output defaults put in front so that the window's own options still win. Nothing
// loops: under the start menu the adapter itself says what plays next.
PlayerArguments playerArguments(const std::vector<std::string>& args, const std::string& menuFile,
                                const char* wid, WindowSize window,
                                const std::vector<std::string>& menuOptions = {});
