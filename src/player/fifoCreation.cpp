#include "player/fifoCreation.h"

#include "player/commandLine.h"
#include "spawn.h"

#include <cerrno>
#include <sys/wait.h>
#include <unistd.h>

namespace {

pid_t pending = -1;
std::string pendingPath;

pid_t startShell(const std::string& path)
{
    SpawnRequest request;
    request.path = "/bin/sh";
    // "--": a path that begins with "-" is a path all the same.
    // "exec": the shell becomes mkfifo, one process start less on the way to the player's.
    request.arguments = {"sh", "-c", "exec mkfifo -- " + shellWord(path)};
    request.umask = 077;
    return spawnProcess(request);
}

} // namespace

void startFifoCreation(const std::string& path)
{
    if (pending >= 0)
        return;
    pending = startShell(path);
    pendingPath = path;
}

int fifoCreationStatus(const std::string& path)
{
    if (pending < 0 || pendingPath != path)
        pending = startShell(path);
    const pid_t pid = pending;
    pending = -1;
    if (pid < 0)
        return -1;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    return status;
}
