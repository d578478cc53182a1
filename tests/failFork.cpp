// Preloaded into the program to make the player's start fail: every fork() and vfork() fails as
// it does when the system is out of processes.
#include <cerrno>
#include <unistd.h>

extern "C" pid_t fork()
{
    errno = EAGAIN;
    return -1;
}

extern "C" pid_t vfork()
{
    errno = EAGAIN;
    return -1;
}
