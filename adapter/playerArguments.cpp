#include "playerArguments.h"

#include <climits>
#include <cstdlib>
#include <sstream>
#include <unistd.h>

namespace {

std::string realPath(const std::string& path)
{
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

bool isNumber(const char* text)
{
    if (!text || !*text)
        return false;
    for (const char* p = text; *p; ++p) {
        if (*p < '0' || *p > '9')
            return false;
    }
    return true;
}

} // namespace

std::string findRealPlayer(const char* tamblinPlayer, const char* path, const std::string& self,
                           std::string* why)
{
    const std::string me = realPath(self);
    if (tamblinPlayer && *tamblinPlayer) {
        const std::string player(tamblinPlayer);
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
    std::istringstream dirs(path ? path : "");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        const std::string candidate = (dir.empty() ? std::string(".") : dir) + "/mplayer";
        if (access(candidate.c_str(), X_OK) == 0 && realPath(candidate) != me)
            return candidate;
    }
    *why = "no mplayer on PATH (set TAMBLIN_PLAYER to the player's path)";
    return {};
}

PlayerArguments playerArguments(const std::vector<std::string>& args, const std::string& menuFile,
                                const char* wid)
{
    PlayerArguments result;
    std::vector<std::string> rest;
    bool startMenu = false;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "-input" && i + 1 < args.size() && args[i + 1].compare(0, 5, "file=") == 0) {
            result.fifo = args[i + 1].substr(5);
            ++i;
            continue;
        }
        if (args[i] == "-menu-startup")
            startMenu = true;
        rest.push_back(args[i]);
    }

    // x11 is the output that draws the menu into another window on any X server; YUV video
    // with the menu needs a conversion in front of it, or the player aborts.
    result.options = {"-vo",           "x11",    "-vf",
                      "format=bgr32",  "-input", "nodefault-bindings:conf=/dev/null",
                      "-nomouseinput", "-menu",  "-menu-cfg",
                      menuFile};
    if (isNumber(wid)) {
        for (const char* o : {"-wid", wid, "-zoom", "-fs"})
            result.options.push_back(o);
    }
    // The start menu sits over the background clip: keep it playing.
    if (startMenu) {
        result.options.push_back("-loop");
        result.options.push_back("0");
    }
    result.options.insert(result.options.end(), rest.begin(), rest.end());
    return result;
}
