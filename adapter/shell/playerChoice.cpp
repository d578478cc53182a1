#include "playerChoice.h"

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
