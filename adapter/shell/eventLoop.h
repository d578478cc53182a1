#pragma once

#include "actions.h"
#include "controller.h"
#include "lineSplitter.h"
#include "outbox.h"
#include "uniqueFd.h"

#include <cstdio>
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

// The player's side of the loop: its process and the descriptors that reach it.
struct PlayerChannels
{
    pid_t pid = -1;
    UniqueFd input;  // its command channel, written without blocking
    UniqueFd output; // what it answers, read line by line
    UniqueFd errors; // its standard error
};

// The adapter's loop: it owns every descriptor, waits on them with poll(), reads the clock,
// feeds the core with what comes in, and carries out the core's actions.
class EventLoop
{
  public:
    EventLoop(Controller& core, Actions& actions, PlayerChannels player, UniqueFd fifo, int signals,
              FILE* trace, std::string positionsFile);

    // Something else to wait on: its descriptor as it is now (-1 for none), the events to poll
    // it for, and what to do when it is ready (with the time).
    struct Watch
    {
        std::function<int()> fd;
        short events;
        std::function<void(long long)> ready;
    };
    void watch(Watch w) { watches_.push_back(std::move(w)); }
    // Who carries out the actions for the sticks, the system and speech (ScanStick,
    // ForgetStick, AskLogind, Say, SaveSpeech); without one they are dropped.
    void setSideActions(std::function<void(const Action&)> handle) { side_ = std::move(handle); }

    // Runs until the player has ended; returns its wait status.
    int run();

  private:
    enum Source { Fifo, Output, Errors };
    // Reads what is there; false at the end of the stream or on an error.
    bool readSome(int fd, LineSplitter& lines, Source source, long long now);
    void deliver(const std::string& line, Source source, long long now);
    void carryOut();
    void carryOut(const std::vector<Action>& actions);
    void finish(long long now);
    void toPlayer(const std::string& text);

    Controller& core_;
    Actions& actions_;
    PlayerChannels player_;
    Outbox toPlayer_;           // what the player has not read yet
    bool playerBehind_ = false; // commands dropped since it last read all
    UniqueFd fifo_;
    int signals_;
    FILE* trace_;
    std::string positionsFile_;
    bool reaped_ = false;
    bool windowWatched_ = true; // whether the reader of our output is watched for its end
    LineSplitter fifoLines_{"\n"};
    LineSplitter outputLines_{"\r\n"};
    LineSplitter errorLines_{"\n"};
    std::vector<Watch> watches_;
    std::function<void(const Action&)> side_;
};
