// tamblin-adapter: installed as "mplayer" in tamblin's application directory, it puts the
// distribution's MPlayer behind the window and answers the menu query that MPlayer lacks.
//
// Environment: TAMBLIN_PLAYER (the real player), TAMBLIN_MEDIA (folders for the clip list),
// TAMBLIN_WID and TAMBLIN_WINDOW_SIZE (the window to draw into, and its size "WxH"),
// TAMBLIN_ADAPTER_TRACE (a file that receives every command relayed ">", every answer of the
// player "<", every answer of ours "=", the process ids of the adapter and the player
// "# pids", and "# stopped" and "# continued" as the player rests and wakes).

#include "mediaMenu.h"
#include "menuModel.h"
#include "playerArguments.h"
#include "relay.h"

#include "descriptors.h"
#include "spawn.h"
#include "terminationPipe.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

std::string directoryOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

// Starts the player with its standard input, output and error on pipes of ours.
pid_t startPlayer(const std::string& player, const std::vector<std::string>& options, int* input,
                  int* output, int* errors)
{
    SpawnRequest request;
    request.path = player;
    request.arguments = options;
    request.arguments.insert(request.arguments.begin(), player);
    request.failureNote = "tamblin-adapter: ";
    return spawnWithPipes(request, input, output, errors);
}

int exitCodeOf(int status)
{
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    std::string why;
    const std::string player =
        findRealPlayer(getenv("TAMBLIN_PLAYER"), getenv("PATH"), "/proc/self/exe", &why);
    if (player.empty()) {
        // Without a player nobody must open the FIFO: the window then reports its error.
        fprintf(stderr, "tamblin-adapter: cannot find the real player: %s\n", why.c_str());
        return 127;
    }

    const std::vector<std::string> args(argv + 1, argv + argc);
    const MediaScan media =
        scanMedia(mediaDirectories(getenv("TAMBLIN_MEDIA"), directoryOf(argv[0])));
    if (media.unquotable > 0)
        fprintf(stderr,
                "tamblin-adapter: %d media files or folders left out of the menu: their names hold "
                "characters the player's menu cannot carry (quotes, backslash, ;, <, >, &, "
                "control characters)\n",
                media.unquotable);
    const std::vector<Menu> menus = buildMenus(media);

    const char* tmp = getenv("TMPDIR");
    std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/tamblin-adapter.XXXXXX";
    if (!mkdtemp(&dir[0])) {
        perror("tamblin-adapter: temporary folder");
        return 1;
    }
    const std::string menuFile = dir + "/menu.conf";
    // A player without our menu would not be the menu the answers are about: no start.
    if (!writeMenuFile(menuFile, menus)) {
        fprintf(stderr, "tamblin-adapter: %s: %s\n", menuFile.c_str(), strerror(errno));
        unlink(menuFile.c_str());
        rmdir(dir.c_str());
        return 1;
    }
    const PlayerArguments playerArgs = playerArguments(
        args, menuFile, getenv("TAMBLIN_WID"), parseWindowSize(getenv("TAMBLIN_WINDOW_SIZE")));

    FILE* trace = nullptr;
    if (const char* path = getenv("TAMBLIN_ADAPTER_TRACE")) {
        trace = fopen(path, "a");
        if (trace)
            setvbuf(trace, nullptr, _IOLBF, 0);
    }

    // A window or player gone shows up as a failed write, and at its end, not as our death,
    // which would leave the player running.
    signal(SIGPIPE, SIG_IGN);
    const int signals = openTerminationPipe();
    if (signals < 0)
        perror("tamblin-adapter: signal pipe");
    int input = -1, output = -1, errors = -1;
    const pid_t pid = startPlayer(player, playerArgs.options, &input, &output, &errors);
    int status = 1 << 8;
    if (pid < 0) {
        perror("tamblin-adapter: cannot start the player");
    } else if (!setNonBlocking(output, true) || !setNonBlocking(errors, true)) {
        // Blocking reads would hold up every answer for as long as the player is quiet.
        perror("tamblin-adapter: the player's output");
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        for (int fd : {input, output, errors})
            close(fd);
    } else {
        if (trace)
            fprintf(trace, "# pids %d %d\n", int(getpid()), int(pid));
        // Opening the FIFO is what lets the window's own open go through.
        const int fifo = playerArgs.fifo.empty()
                             ? -1
                             : open(playerArgs.fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fifo < 0 && !playerArgs.fifo.empty())
            fprintf(stderr, "tamblin-adapter: %s: %s\n", playerArgs.fifo.c_str(), strerror(errno));
        MenuModel model(menus, "main", playerArgs.startMenu);
        PauseHold hold;
        ResumeStore store(positionsFile(getenv("XDG_STATE_HOME"), getenv("HOME")));
        store.load();
        ClipFlow flow(playerArgs.background, &store);
        Relay relay({fifo, input, output, errors, signals, pid}, model, hold, flow, store, trace);
        status = relay.run();
        close(input);
    }
    unlink(menuFile.c_str());
    rmdir(dir.c_str());
    if (trace)
        fclose(trace);
    return exitCodeOf(status);
}
