#include "player/playerLaunch.h"
#include "player/commandLine.h"
#include "player/fifoCreation.h"
#include "player/playerProcess.h"
#include "startTrace.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {

PlayerLaunch* early = nullptr;

// The player with the pipe on which it learns of its window as its descriptor 3.
void spawnPlayer(PlayerLaunch* launch, const std::string& command)
{
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0) {
        launch->startError = errno;
        return;
    }
    launch->output =
        startPlayer(command.c_str(), {"TAMBLIN_WINDOW_FD=3"}, pipeEnds[0], &launch->pid);
    launch->startError = errno;
    traceStart("window", "adapter-spawned");
    close(pipeEnds[0]);
    if (launch->output)
        launch->windowInfo = pipeEnds[1];
    else
        close(pipeEnds[1]);
}

} // namespace

PlayerLaunch startLaunch(const std::vector<std::string>& args, bool drawable)
{
    PlayerLaunch launch;
    const char* mypath = getenv("MYPATH");
    const std::string appDir = applicationDirectory(mypath);
    launch.fifo = fifoPath(getenv("TAMBLIN_FIFO"));
    // Made for us alone: a FIFO that others may write is refused when it is opened. In a folder
    // that is not safe, nothing is made, and no player starts on a FIFO others could write.
    launch.fifoUsable = fifoFolderUsable(launch.fifo, &launch.fifoWhy);
    // The FIFO is there before the player starts: a player may open it at once.
    const int fifoStatus = launch.fifoUsable ? fifoCreationStatus(launch.fifo) : -1;
    if (launch.fifoUsable && !drawable)
        launch.startError = ENXIO;
    else if (launch.fifoUsable)
        spawnPlayer(&launch, commandLine(appDir, launch.fifo, args));

    puts("Controlling Backlight state...  ");
    printf("MYPATH: %s\n", mypath ? mypath : "(unset)");
    const char* mplayerHome = getenv("MPLAYER_HOME");
    printf("MPLAYER_HOME: %s\n", mplayerHome ? mplayerHome : "(unset)");
    printf("Create fifo file...  ");
    fflush(stdout);
    printf("%d\n", fifoStatus);
    printf("args: %s\n", extraOptions(args).c_str());
    printf("video cmd: %s\n", mediaArgument(args, appDir).c_str());
    fflush(stdout);
    return launch;
}

void tellWindow(PlayerLaunch* launch, unsigned long long window, int width, int height)
{
    if (launch->windowInfo < 0)
        return;
    if (window != 0 && width > 0 && height > 0) {
        const std::string line = std::to_string(window) + " " + std::to_string(width) + "x" +
                                 std::to_string(height) + "\n";
        // Far less than a pipe holds: never a short write, never a wait.
        if (write(launch->windowInfo, line.data(), line.size()) < 0)
            perror("tamblin: telling the player its window");
    }
    close(launch->windowInfo);
    launch->windowInfo = -1;
}

void setEarlyLaunch(PlayerLaunch* launch)
{
    early = launch;
}

PlayerLaunch* takeEarlyLaunch()
{
    PlayerLaunch* launch = early;
    early = nullptr;
    return launch;
}
