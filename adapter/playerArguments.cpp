#include "playerArguments.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <unistd.h>

namespace {

std::string realPath(const std::string& path)
{
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

// The first executable NAME in PATH's folders that is not this adapter ("" when none).
std::string onPath(const std::string& name, const char* path, const std::string& me)
{
    std::istringstream dirs(path ? path : "");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        const std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0 && realPath(candidate) != me)
            return candidate;
    }
    return {};
}

} // namespace

bool isWindowId(const char* text)
{
    if (!text || !*text)
        return false;
    for (const char* p = text; *p; ++p) {
        if (*p < '0' || *p > '9')
            return false;
    }
    return true;
}

std::string findRealPlayer(const char* tamblinPlayer, const char* path, const std::string& self,
                           std::string* why)
{
    const std::string me = realPath(self);
    if (tamblinPlayer && *tamblinPlayer) {
        std::string player(tamblinPlayer);
        // A bare name is looked up on PATH, as a shell would ("TAMBLIN_PLAYER=mpv").
        if (player.find('/') == std::string::npos) {
            const std::string found = onPath(player, path, me);
            if (found.empty()) {
                *why = "TAMBLIN_PLAYER=" + player + " is not on PATH";
                return {};
            }
            return found;
        }
        if (access(player.c_str(), X_OK) != 0) {
            *why = "TAMBLIN_PLAYER=" + player + " is not an executable file";
            return {};
        }
        if (realPath(player) == me) {
            *why = "TAMBLIN_PLAYER=" + player + " is this adapter, not a player";
            return {};
        }
        return player;
    }
    for (const char* name : {"mplayer", "mpv"}) {
        const std::string found = onPath(name, path, me);
        if (!found.empty())
            return found;
    }
    *why = "no mplayer or mpv on PATH (set TAMBLIN_PLAYER to the player's path)";
    return {};
}

PlayerKind playerKind(const std::string& player)
{
    const auto named = [](const std::string& p) {
        const size_t slash = p.rfind('/');
        return (slash == std::string::npos ? p : p.substr(slash + 1)).find("mpv") !=
               std::string::npos;
    };
    return named(player) || named(realPath(player)) ? PlayerKind::Mpv : PlayerKind::MPlayer;
}

WindowSize parseWindowSize(const char* text)
{
    WindowSize size;
    int consumed = 0;
    // Bounded so that a stray value cannot ask the player for an absurd picture.
    if (text && sscanf(text, "%5dx%5d%n", &size.width, &size.height, &consumed) == 2 &&
        text[consumed] == '\0' && size.width >= 16 && size.height >= 16)
        return size;
    return {};
}

PlayerArguments playerArguments(const std::vector<std::string>& args, const std::string& menuFile,
                                const char* wid, WindowSize window,
                                const std::vector<std::string>& menuOptions)
{
    PlayerArguments result;
    std::vector<std::string> rest;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "-input" && i + 1 < args.size() && args[i + 1].compare(0, 5, "file=") == 0) {
            result.fifo = args[i + 1].substr(5);
            ++i;
            continue;
        }
        if (args[i] == "-menu-startup" && i + 1 < args.size()) {
            result.startMenu = true;
            result.background = args[i + 1];
        }
        rest.push_back(args[i]);
    }

    // The menu draws its text on the picture that reaches it, with a font sized for the picture
    // that the video output last drew its own text on. Each new file (and each loop of one)
    // reloads that font at the size of the window, so a menu drawn on the clip's own smaller
    // picture grew after the first loop. Scaled and framed to the window first, the picture the
    // menu draws on is the window itself, for every clip: one font size, one place.
    // YUV video with the menu needs the conversion to RGB too, or the player aborts.
    std::string filters = "format=bgr32";
    if (window.valid()) {
        const std::string w = std::to_string(window.width), h = std::to_string(window.height);
        // The menu draws into the picture it is handed. Handed expand's own picture, whose bars
        // are black once and never drawn again, it would leave its letters in the bars after
        // it closes: a copy of the framed picture goes to the menu instead.
        filters = "dsize=" + w + ":" + h + ":0,scale=0:0,expand=" + w + ":" + h + "," + filters +
                  ",scale=" + w + ":" + h;
    }
    // x11 is the output that draws the menu into another window on any X server. The player
    // takes no input of its own (keys, mouse, a LIRC remote): every command comes through the
    // window and the menu model. Option files beside the files it plays give songs a picture.
    result.options = {"-vo",           "x11",       "-vf",
                      filters,         "-input",    "nodefault-bindings:conf=/dev/null",
                      "-nomouseinput", "-nolirc",   "-use-filedir-conf",
                      "-menu",         "-menu-cfg", menuFile};
    result.options.insert(result.options.end(), menuOptions.begin(), menuOptions.end());
    if (isWindowId(wid)) {
        for (const char* o : {"-wid", wid, "-zoom", "-fs"})
            result.options.push_back(o);
    }
    result.options.insert(result.options.end(), rest.begin(), rest.end());
    return result;
}
