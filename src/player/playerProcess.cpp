#include "player/playerProcess.h"
#include "player/monotonicClock.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const int kTerminateGraceMs = 2000;

void resetSignalsForChild()
{
    // Dispositions set to "ignore" survive exec: give the player the default ones back, and
    // keep it from being stopped when it touches the terminal from its own process group.
    signal(SIGPIPE, SIG_DFL);
    signal(SIGTTIN, SIG_IGN);
    signal(SIGTTOU, SIG_IGN);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
}

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

// Our environment with the given entries put in, made before the fork: the child may only make
// async-signal-safe calls.
std::vector<char*> childEnvironment(const std::vector<std::string>& entries)
{
    std::vector<char*> env;
    for (char** e = environ; *e; ++e) {
        bool replaced = false;
        for (const std::string& entry : entries) {
            const size_t name = entry.find('=') + 1;
            replaced = replaced || strncmp(*e, entry.c_str(), name) == 0;
        }
        if (!replaced)
            env.push_back(*e);
    }
    for (const std::string& entry : entries)
        env.push_back(const_cast<char*>(entry.c_str()));
    env.push_back(nullptr);
    return env;
}

} // namespace

FILE* startPlayer(const char* commandLine, const std::vector<std::string>& environment, pid_t* pid)
{
    std::vector<char*> env = childEnvironment(environment);
    char* const argv[] = {const_cast<char*>("sh"), const_cast<char*>("-c"),
                          const_cast<char*>(commandLine), nullptr};
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) < 0)
        return nullptr;
    pid_t child = fork();
    if (child < 0) {
        int saved = errno;
        close(fds[0]);
        close(fds[1]);
        errno = saved;
        return nullptr;
    }
    if (child == 0) {
        setpgid(0, 0);
        resetSignalsForChild();
        if (fds[1] != STDOUT_FILENO) {
            dup2(fds[1], STDOUT_FILENO);
        } else {
            fcntl(STDOUT_FILENO, F_SETFD, 0);
        }
        execve("/bin/sh", argv, env.data());
        _exit(127);
    }
    setpgid(child, child); // either side may come first
    close(fds[1]);
    FILE* output = fdopen(fds[0], "r");
    if (!output) {
        int saved = errno;
        close(fds[0]);
        kill(-child, SIGKILL);
        waitpid(child, nullptr, 0);
        errno = saved;
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
    if (waitFor(pid, kTerminateGraceMs, &status)) {
        kill(-pid, SIGKILL); // whatever the shell left behind in the group
        return status;
    }
    kill(-pid, SIGKILL);
    waitpid(pid, &status, 0);
    return status;
}
