#pragma once

#include <cstddef>
#include <string>

// Bytes for a reader that takes them at its own pace (the player's command channel), written
// without blocking: what the descriptor does not take at once waits here, in order, and goes
// when poll() says that it takes more. The loop thus never waits on the player, which would
// hold up the window's answers for as long as the player is busy.
class Outbox
{
  public:
    // fd: non-blocking, not owned.
    explicit Outbox(int fd = -1) : fd_(fd) {}

    // Queues text after what waits, and writes what the descriptor takes now. False when the
    // text was dropped whole: the reader has gone, or has left kMostWaiting bytes unread.
    bool send(const std::string& text);
    // Writes what waits, as much as the descriptor takes now (at POLLOUT).
    void flush();
    // Whether something waits: the descriptor is then to be polled for POLLOUT.
    bool waiting() const { return sent_ < pending_.size(); }
    size_t waitingBytes() const { return pending_.size() - sent_; }
    // The reader has gone: nothing is kept for it any more.
    bool gone() const { return gone_; }

    // A reader that has left this much unread is not reading: more is dropped, not kept.
    static constexpr size_t kMostWaiting = size_t(4) << 20;

  private:
    int fd_;
    std::string pending_;
    size_t sent_ = 0; // of pending_, already written
    bool gone_ = false;
};
