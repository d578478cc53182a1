#pragma once

#include <cstddef>
#include <cstdio>

// Reads the player's standard output as fgets() with a 256-byte buffer reads it: in pieces
// that end at a line feed or after 255 bytes, each tested on its own. The stream is switched
// to non-blocking reads so that a wait can be bounded and idle output drained as it comes.
class ReplyReader
{
  public:
    enum Wait { Answered, TimedOut, Ended };

    explicit ReplyReader(FILE* stream);

    int fd() const;
    bool ended() const { return ended_; }

    // Reads and drops what the player has printed so far. Answers among it settle queries
    // that timed out earlier. Returns false once the output has ended.
    bool drain();

    // Counts one more query sent, whose answer is still to come.
    void expectAnswer() { ++owed_; }

    // Waits up to timeoutMs for the answer to the latest query, dropping the lines before it
    // and the late answers to earlier ones.
    Wait waitForAnswer(int timeoutMs, bool* visible);

  private:
    enum Piece { Complete, Incomplete, End };
    Piece nextPiece();

    FILE* stream_;
    char piece_[256];
    size_t length_ = 0;
    bool complete_ = false;
    bool ended_ = false;
    int owed_ = 0;
};

// The substring tests of an answer line.
bool isMenuAnswer(const char* line);
bool menuShownIn(const char* line);
