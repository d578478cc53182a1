#include "outbox.h"

#include <cerrno>
#include <unistd.h>

bool Outbox::send(const std::string& text)
{
    if (gone_ || fd_ < 0 || waitingBytes() + text.size() > kMostWaiting)
        return false;
    pending_ += text;
    flush();
    return !gone_;
}

void Outbox::flush()
{
    while (waiting() && !gone_) {
        const ssize_t n = write(fd_, pending_.data() + sent_, pending_.size() - sent_);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        if (n <= 0) {
            // The reader has gone (EPIPE): a player that is gone shows up at its end, through
            // its process, and nothing more is kept for it.
            gone_ = true;
            break;
        }
        sent_ += size_t(n);
    }
    // What has been written is let go: all of it when nothing waits, else once it is most of
    // the buffer, so that a long backlog is not moved at every write.
    if (sent_ == pending_.size() || gone_) {
        pending_.clear();
        sent_ = 0;
    } else if (sent_ > pending_.size() / 2) {
        pending_.erase(0, sent_);
        sent_ = 0;
    }
}
