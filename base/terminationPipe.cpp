#include "terminationPipe.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

int selfPipe[2] = {-1, -1};
const int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

void onSignal(int sig)
{
    const int saved = errno;
    // The signal's number, for a reader that wants to say which one came.
    const char byte = char(sig);
    [[maybe_unused]] ssize_t n = write(selfPipe[1], &byte, 1);
    errno = saved;
}

} // namespace

int openTerminationPipe()
{
    if (selfPipe[0] >= 0)
        return selfPipe[0];
    if (pipe2(selfPipe, O_CLOEXEC | O_NONBLOCK) < 0)
        return -1;
    struct sigaction action = {};
    action.sa_handler = onSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (int sig : kSignals)
        sigaction(sig, &action, nullptr);
    return selfPipe[0];
}

void drainTerminationPipe(int fd)
{
    char bytes[64];
    while (read(fd, bytes, sizeof bytes) > 0) {
    }
}

int readTerminationPipe(int fd)
{
    char bytes[64];
    int last = 0;
    for (ssize_t n; (n = read(fd, bytes, sizeof bytes)) > 0;)
        last = bytes[n - 1];
    return last;
}

void closeTerminationPipe()
{
    for (int sig : kSignals)
        signal(sig, SIG_IGN);
    if (selfPipe[0] >= 0) {
        close(selfPipe[0]);
        close(selfPipe[1]);
        selfPipe[0] = selfPipe[1] = -1;
    }
}
