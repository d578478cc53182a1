#include "player/fifoCreation.h"

#include "player/commandLine.h"

#include <cerrno>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

pid_t pending = -1;
QByteArray pendingPath;

pid_t startShell(const QByteArray& path)
{
    // "--": a path that begins with "-" is a path all the same.
    const QByteArray text = "mkfifo -- " + shellWord(path);
    char* const argv[] = {const_cast<char*>("sh"), const_cast<char*>("-c"),
                          const_cast<char*>(text.constData()), nullptr};
    const pid_t pid = fork();
    if (pid == 0) {
        // Only in the child: the umask is the whole process's, and other threads may run.
        umask(077);
        execve("/bin/sh", argv, environ);
        _exit(127);
    }
    return pid;
}

} // namespace

void startFifoCreation(const QByteArray& path)
{
    if (pending >= 0)
        return;
    pending = startShell(path);
    pendingPath = path;
}

int fifoCreationStatus(const QByteArray& path)
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
