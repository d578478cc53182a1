#pragma once

#include <string>
#include <vector>

// The player's command line, built from fixed pieces and the program's two optional arguments.
// Everything that comes from the user is held as the bytes it came as, and reaches the shell,
// the player and the log unchanged, whatever the locale.

// The device's own places: its application directory and FIFO.
extern const char kDeviceApplicationDirectory[];
extern const char kDeviceFifoPath[];

// Built-in defaults, chosen when the project is configured: the device's places, or those of
// an installed program (its private folder beside the executable, and a FIFO in the user's
// runtime folder).
bool deviceLayout();

// The installed private folder, found from where the executable is, wherever that is; it ends
// in "/".
std::string installedApplicationDirectory();
// MYPATH as it comes (it must end in "/"), or the built-in default when unset.
std::string applicationDirectory(const char* mypath);
// TAMBLIN_FIFO when set and not empty, else the built-in default.
std::string fifoPath(const char* tamblinFifo);
// Without $XDG_RUNTIME_DIR the default FIFO lives in a folder of the user's own, made when
// missing. True when the FIFO's folder may be used: any folder but that one, or that one when
// it is the user's and nobody else may write it. Else false, with the reason.
bool fifoFolderUsable(const std::string& fifo, std::string* why);

// arguments: the program's arguments as bytes, the program name first.
std::string extraOptions(const std::vector<std::string>& arguments);
// The media argument as the log shows it: the second argument, or the start menu's background.
std::string mediaArgument(const std::vector<std::string>& arguments, const std::string& appDir);

// The extra options go to the shell as they are: they are the user's own option string, split
// into options by the shell. Paths (the player, the FIFO, the media or the background) go as one
// shell word each.
std::string commandLine(const std::string& appDir, const std::string& fifo,
                        const std::vector<std::string>& arguments);

// The text unchanged when the shell takes it as one word as it is, else single-quoted.
std::string shellWord(const std::string& text);
