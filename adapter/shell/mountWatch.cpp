#include "mountWatch.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

// The whole text of the table from offset 0. The kernel writes it anew at each read, a page or
// so at a time, so it is read in a loop until its end; false on an error.
bool readWhole(int fd, std::string* text)
{
    text->clear();
    char chunk[16384];
    for (;;) {
        const ssize_t n = pread(fd, chunk, sizeof chunk, off_t(text->size()));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        text->append(chunk, size_t(n));
    }
}

bool sameMounts(const std::vector<Mount>& a, const std::vector<Mount>& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].mountPoint != b[i].mountPoint || a[i].label != b[i].label)
            return false;
    return true;
}

} // namespace

MountWatch::MountWatch(std::vector<std::string> roots) : roots_(std::move(roots))
{
    if (roots_.empty())
        return;
    fd_.reset(open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC));
    refresh();
}

bool MountWatch::refresh()
{
    std::string text;
    if (!fd_.valid() || !readWhole(fd_.get(), &text))
        return false;
    std::vector<Mount> now = removableMounts(text, roots_);
    if (sameMounts(now, mounts_))
        return false;
    mounts_ = std::move(now);
    return true;
}
