#include "player/playerProcess.h"
#include "grace.h"
#include "monotonicClock.h"
#include "spawn.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Waits up to timeoutMs for the child to end; true once it is reaped.
bool waitFor(pid_t pid, int timeoutMs, int* status)
{
    int pidfd = int(syscall(SYS_pidfd_open, pid, 0));
    const long long deadline = monotonicMs() + timeoutMs;
    for (;;) {
        pid_t r = waitpid(pid, status, WNOHANG);
        if (r == pid || (r < 0 && errno != EINTR)) {
            if (pidfd >= 0)
                close(pidfd);
            return true;
        }
        long long left = deadline - monotonicMs();
        if (left <= 0)
            break;
        if (pidfd >= 0) {
            pollfd p{pidfd, POLLIN, 0};
            poll(&p, 1, int(left));
        } else {
            // No pidfd on this kernel: look again every 10 ms.
            timespec step{0, 10 * 1000 * 1000};
            nanosleep(&step, nullptr);
        }
    }
    if (pidfd >= 0)
        close(pidfd);
    return false;
}

} // namespace

FILE* startPlayer(const char* commandLine, const std::vector<std::string>& environment, int control,
                  pid_t* pid)
{
    SpawnRequest request;
    request.path = "/bin/sh";
    request.arguments = {"sh", "-c", commandLine};
    request.environment = environment;
    request.control = control;
    request.ownProcessGroup = true;
    int fd;
    const pid_t child = spawnWithPipes(request, nullptr, &fd, nullptr);
    if (child < 0)
        return nullptr;
    setpgid(child, child); // either side may come first
    FILE* output = fdopen(fd, "r");
    if (!output) {
        const int error = errno;
        close(fd);
        kill(-child, SIGKILL);
        waitpid(child, nullptr, 0);
        errno = error;
        return nullptr;
    }
    *pid = child;
    return output;
}

int closePlayer(FILE* output, pid_t pid, int graceMs)
{
    fclose(output);
    int status = 0;
    if (waitFor(pid, graceMs, &status))
        return status;
    fprintf(stderr, "tamblin: the player did not end, terminating it\n");
    kill(-pid, SIGTERM);
    if (waitFor(pid, kGraceMs, &status)) {
        kill(-pid, SIGKILL); // whatever the shell left behind in the group
        return status;
    }
    kill(-pid, SIGKILL);
    waitpid(pid, &status, 0);
    return status;
}
