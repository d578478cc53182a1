#include "descriptors.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

bool writeAll(int fd, const void* data, size_t size)
{
    const char* bytes = static_cast<const char*>(data);
    size_t done = 0;
    while (done < size) {
        const ssize_t n = write(fd, bytes + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO; // nothing taken: it would never end
            return false;
        }
        done += size_t(n);
    }
    return true;
}

bool setNonBlocking(int fd, bool on)
{
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0)
        return false;
    const int wanted = on ? flags | O_NONBLOCK : flags & ~O_NONBLOCK;
    return wanted == flags || fcntl(fd, F_SETFL, wanted) == 0;
}
