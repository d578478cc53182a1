#include "player/fifoOpen.h"
#include "player/replyReader.h"

#include "descriptors.h"
#include "monotonicClock.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// How often to try the open again while no reader is there yet.
const int kRetryMs = 5;

bool refuse(const char* path, const char* why)
{
    fprintf(stderr, "tamblin: %s: %s\n", path, why);
    return false;
}

bool trusted(const char* path, const struct stat& st)
{
    if (S_ISLNK(st.st_mode))
        return refuse(path, "is a symbolic link, not opening it");
    if (!S_ISFIFO(st.st_mode))
        return refuse(path, "is not a FIFO, not opening it");
    if (st.st_uid != geteuid())
        return refuse(path, "belongs to another user, not opening it");
    if (st.st_mode & (S_IWGRP | S_IWOTH))
        return refuse(path, "may be written by others, not opening it");
    return true;
}

} // namespace

FILE* openCommandFifo(const char* path, ReplyReader* playerOutput, int timeoutMs)
{
    struct stat before;
    if (lstat(path, &before) < 0) {
        fprintf(stderr, "tamblin: %s: %s\n", path, strerror(errno));
        return nullptr;
    }
    if (!trusted(path, before))
        return nullptr;

    const long long deadline = monotonicMs() + timeoutMs;
    int fd;
    // Non-blocking, a write open of a FIFO fails with ENXIO until a reader is there, so the
    // wait can watch the player and the clock. No O_CREAT: a missing file stays missing.
    while ((fd = open(path, O_WRONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC)) < 0) {
        if (errno != ENXIO && errno != EINTR) {
            fprintf(stderr, "tamblin: %s: %s\n", path, strerror(errno));
            return nullptr;
        }
        long long left = deadline - monotonicMs();
        if (left <= 0) {
            fprintf(stderr, "tamblin: %s: the player did not open it\n", path);
            return nullptr;
        }
        if (!playerOutput || playerOutput->ended()) {
            fprintf(stderr, "tamblin: %s: no player to open it\n", path);
            return nullptr;
        }
        pollfd p{playerOutput->fd(), POLLIN, 0};
        if (poll(&p, 1, int(left < kRetryMs ? left : kRetryMs)) > 0 && !playerOutput->drain()) {
            fprintf(stderr, "tamblin: the player ended before it opened %s\n", path);
            return nullptr;
        }
    }

    // The file we checked must be the one we opened.
    struct stat opened;
    if (fstat(fd, &opened) < 0 || opened.st_dev != before.st_dev ||
        opened.st_ino != before.st_ino || !trusted(path, opened)) {
        close(fd);
        refuse(path, "changed while it was being opened");
        return nullptr;
    }
    // Commands are written whole: from here on the writes block like any stream's. Left
    // non-blocking, a full FIFO would cut commands short.
    if (!setNonBlocking(fd, false)) {
        fprintf(stderr, "tamblin: %s: %s\n", path, strerror(errno));
        close(fd);
        return nullptr;
    }
    FILE* fifo = fdopen(fd, "w");
    if (!fifo)
        close(fd);
    return fifo;
}
