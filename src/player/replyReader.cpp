#include "player/replyReader.h"

#include "descriptors.h"
#include "monotonicClock.h"
#include "protocol.h"

#include <cerrno>
#include <cstring>
#include <poll.h>

bool isMenuAnswer(const char* line)
{
    return strstr(line, kMenuAnswer) != nullptr;
}

bool menuShownIn(const char* line)
{
    return strstr(line, kMenuAnswerVisible) != nullptr;
}

ReplyReader::ReplyReader(FILE* stream) : stream_(stream)
{
    piece_[0] = '\0';
    // Every wait on the player is bounded by polling a non-blocking descriptor. Without that,
    // a read would wait as long as the player likes: the output is taken as ended instead.
    const int fd = fileno(stream_);
    if (fd < 0 || !setNonBlocking(fd, true)) {
        fprintf(stderr, "tamblin: the player's output cannot be read without blocking: %s\n",
                strerror(errno));
        ended_ = true;
    }
}

int ReplyReader::fd() const
{
    return fileno(stream_);
}

// glibc's fgets() hands back what it has read when the descriptor has no more for now
// (EAGAIN), so a piece is built up over several calls until it ends at a line feed or at
// 255 bytes, exactly as one blocking fgets() would have cut it.
ReplyReader::Piece ReplyReader::nextPiece()
{
    if (complete_) {
        complete_ = false;
        length_ = 0;
        piece_[0] = '\0';
    }
    if (ended_)
        return End;
    for (;;) {
        clearerr(stream_);
        if (fgets(piece_ + length_, int(sizeof piece_ - length_), stream_)) {
            length_ += strlen(piece_ + length_);
            if (length_ == sizeof piece_ - 1 || (length_ > 0 && piece_[length_ - 1] == '\n')) {
                complete_ = true;
                return Complete;
            }
            continue; // stopped early: the next call tells whether by EAGAIN or end of file
        }
        if (feof(stream_) || (errno != EAGAIN && errno != EINTR)) {
            ended_ = true;
            if (length_ > 0) {
                complete_ = true; // the last line had no line feed: it still counts
                return Complete;
            }
            return End;
        }
        return Incomplete;
    }
}

bool ReplyReader::drain()
{
    for (;;) {
        switch (nextPiece()) {
        case Complete:
            if (owed_ > 0 && isMenuAnswer(piece_))
                --owed_;
            break;
        case Incomplete:
            return true;
        case End:
            return false;
        }
    }
}

ReplyReader::Wait ReplyReader::waitForAnswer(int timeoutMs, bool* visible)
{
    const long long deadline = monotonicMs() + timeoutMs;
    for (;;) {
        switch (nextPiece()) {
        case Complete:
            if (isMenuAnswer(piece_) && owed_ > 0 && --owed_ == 0) {
                *visible = menuShownIn(piece_);
                return Answered;
            }
            break;
        case Incomplete: {
            long long left = deadline - monotonicMs();
            if (left <= 0)
                return TimedOut;
            pollfd p{fd(), POLLIN, 0};
            poll(&p, 1, int(left));
            break;
        }
        case End:
            return Ended;
        }
    }
}
