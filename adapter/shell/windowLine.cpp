#include "windowLine.h"

#include "monotonicClock.h"

#include <cerrno>
#include <poll.h>
#include <string>
#include <unistd.h>

namespace {

// A window id and a size are far shorter: more is not a window's line.
const size_t kLongestLine = 64;

} // namespace

WindowInfo waitForWindow(int fd, int timeoutMs)
{
    std::string line;
    const long long deadline = monotonicMs() + timeoutMs;
    for (;;) {
        const size_t end = line.find('\n');
        if (end != std::string::npos) {
            line.resize(end);
            break;
        }
        if (line.size() > kLongestLine)
            break;
        const long long left = deadline - monotonicMs();
        pollfd p{fd, POLLIN, 0};
        const int ready = left > 0 ? poll(&p, 1, int(left)) : 0;
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            break;
        char buffer[kLongestLine];
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            line.clear(); // ended before its line end: not a line
            break;
        }
        line.append(buffer, size_t(n));
    }
    close(fd);
    return parseWindowInfo(line);
}
