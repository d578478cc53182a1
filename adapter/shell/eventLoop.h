#pragma once

#include "actions.h"
#include "controller.h"
#include "lineSplitter.h"
#include "uniqueFd.h"

#include <cstdio>
#include <string>
#include <sys/types.h>

// The player's side of the loop: its process and the descriptors that reach it.
struct PlayerChannels
{
    pid_t pid = -1;
    UniqueFd input;  // its command channel, written
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

    // Runs until the player has ended; returns its wait status.
    int run();

  private:
    enum Source { Fifo, Output, Errors };
    // Reads what is there; false at the end of the stream or on an error.
    bool readSome(int fd, LineSplitter& lines, Source source, long long now);
    void deliver(const std::string& line, Source source, long long now);
    void carryOut();
    void finish(long long now);

    Controller& core_;
    Actions& actions_;
    PlayerChannels player_;
    UniqueFd fifo_;
    int signals_;
    FILE* trace_;
    std::string positionsFile_;
    bool reaped_ = false;
    bool windowWatched_ = true; // whether the reader of our output is watched for its end
    LineSplitter fifoLines_{"\n"};
    LineSplitter outputLines_{"\r\n"};
    LineSplitter errorLines_{"\n"};
};
