#pragma once

#include <string>

// The real player: TAMBLIN_PLAYER when set (a bare name is looked up on PATH), else the first
// executable "mplayer" on PATH that is not this program, else the first "mpv". Empty, with the
// reason in *why, when there is none.
std::string findRealPlayer(const char* tamblinPlayer, const char* path, const std::string& self,
                           std::string* why);

// Which player it is, by its name: mpv when the file's name (or the one it links to) holds "mpv".
enum class PlayerKind { MPlayer, Mpv };
PlayerKind playerKind(const std::string& player);
