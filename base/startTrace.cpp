#include "startTrace.h"

#include "monotonicClock.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

void traceStart(const char* process, const char* stage)
{
    static const int fd = [] {
        const char* path = getenv("TAMBLIN_START_TRACE");
        return path && *path ? open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600) : -1;
    }();
    if (fd < 0)
        return;
    char line[256];
    const int n = snprintf(line, sizeof line, "%s %s %lld\n", process, stage, monotonicNs() / 1000);
    // One write per line: O_APPEND keeps the processes' lines whole.
    if (n > 0 && n < int(sizeof line) && write(fd, line, size_t(n)) < 0)
        return;
}
