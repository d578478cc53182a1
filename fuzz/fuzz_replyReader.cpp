// The window's reader of the player's output, against a plain model of how a blocking fgets()
// with a 256-byte buffer cuts the same bytes.
//
// Input: a first line of steps, then the player's output. Steps: 'e' one more query,
// 'd' drain, 'w' wait 0 ms, 'W' wait 1 ms (the first 5), 'l' write the next line of the output, 'h'
// the next 100 bytes, 'c' close the output. After the steps, the rest is written, the output
// closed, and the reader waited on until it ends.

#include "player/replyReader.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <utility>

namespace {

const char kAnswer[] = "ANS_MENU_VISIBILITY";
const char kVisible[] = "ANS_MENU_VISIBILITY=1";

void fail(const char* what)
{
    fprintf(stderr, "fuzz_replyReader: %s\n", what);
    abort();
}

// What the reader must do, from the bytes written so far.
class Model
{
  public:
    void written(const std::string& bytes) { pending_ += bytes; }
    void closed() { closed_ = true; }
    void expect() { ++owed_; }

    bool drain()
    {
        std::string piece;
        while (next(&piece)) {
            if (owed_ > 0 && piece.find(kAnswer) != std::string::npos)
                --owed_;
        }
        return !ended();
    }

    ReplyReader::Wait wait(bool* visible)
    {
        std::string piece;
        while (next(&piece)) {
            if (piece.find(kAnswer) != std::string::npos && owed_ > 0 && --owed_ == 0) {
                *visible = piece.find(kVisible) != std::string::npos;
                return ReplyReader::Answered;
            }
        }
        return ended() ? ReplyReader::Ended : ReplyReader::TimedOut;
    }

    bool ended() const { return closed_ && pending_.empty(); }

  private:
    // A piece ends at a line feed or after 255 bytes; the last one also at the end.
    bool next(std::string* piece)
    {
        size_t length = pending_.find('\n');
        length = length == std::string::npos ? pending_.size() : length + 1;
        if (length > 255)
            length = 255;
        const bool whole = length == 255 || (length > 0 && pending_[length - 1] == '\n');
        if (length == 0 || (!whole && !closed_))
            return false;
        *piece = pending_.substr(0, length);
        pending_.erase(0, length);
        return true;
    }

    std::string pending_;
    bool closed_ = false;
    int owed_ = 0;
};

// Newer readers say whether the stream was made non-blocking.
template <typename R>
auto checkNonBlocking(const R& reader, int) -> decltype(reader.nonBlocking(), void())
{
    if (!reader.nonBlocking())
        fail("the stream is still blocking");
}
template <typename R> void checkNonBlocking(const R&, long) {}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Everything is written before it is read: it must fit the pipe.
    if (size > 60000)
        return 0;
    std::string input(reinterpret_cast<const char*>(data), size);
    const size_t lineEnd = input.find('\n');
    const std::string steps = input.substr(0, lineEnd);
    std::string output = lineEnd == std::string::npos ? std::string() : input.substr(lineEnd + 1);
    // fgets() hands back bytes after a NUL that strlen() then cannot see: the player's output
    // is text.
    for (char& c : output) {
        if (c == '\0')
            c = ' ';
    }

    int fds[2];
    if (pipe(fds) != 0)
        fail("pipe");
    FILE* stream = fdopen(fds[0], "r");
    if (!stream)
        fail("fdopen");
    int writeEnd = fds[1];
    {
        ReplyReader reader(stream);
        checkNonBlocking(reader, 0);
        if (reader.fd() != fds[0])
            fail("fd() is not the stream's");
        Model model;
        size_t at = 0;
        auto write_ = [&](size_t count) {
            count = std::min(count, output.size() - at);
            if (writeEnd < 0 || count == 0)
                return;
            if (write(writeEnd, output.data() + at, count) != ssize_t(count))
                fail("short write");
            model.written(output.substr(at, count));
            at += count;
        };
        auto close_ = [&]() {
            if (writeEnd < 0)
                return;
            close(writeEnd);
            writeEnd = -1;
            model.closed();
        };
        auto wait = [&](int timeoutMs) {
            bool visible = false, expected = false;
            const ReplyReader::Wait got = reader.waitForAnswer(timeoutMs, &visible);
            const ReplyReader::Wait want = model.wait(&expected);
            if (got != want)
                fail("waitForAnswer's outcome differs");
            if (got == ReplyReader::Answered && visible != expected)
                fail("waitForAnswer's visibility differs");
        };
        int slowWaits = 0; // a few real waits, so that a run stays short
        for (char step : steps) {
            switch (step) {
            case 'e':
                reader.expectAnswer();
                model.expect();
                break;
            case 'd':
                if (reader.drain() != model.drain())
                    fail("drain() differs");
                break;
            case 'w':
                wait(0);
                break;
            case 'W':
                wait(++slowWaits <= 5 ? 1 : 0);
                break;
            case 'l': {
                const size_t end = output.find('\n', at);
                write_(end == std::string::npos ? output.size() - at : end + 1 - at);
                break;
            }
            case 'h':
                write_(100);
                break;
            case 'c':
                close_();
                break;
            default:
                break;
            }
        }
        write_(output.size());
        close_();
        // Every piece is there now: the waits run through them to the end.
        for (int i = 0; !reader.ended(); ++i) {
            if (i > 100000)
                fail("the reader does not end");
            reader.expectAnswer();
            model.expect();
            wait(0);
        }
        if (!model.ended() || reader.drain() || model.drain())
            fail("the reader ended before the output");
    }
    fclose(stream);
    if (writeEnd >= 0)
        close(writeEnd);
    return 0;
}
