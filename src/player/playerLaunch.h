#pragma once

#include <cstdio>
#include <string>
#include <sys/types.h>
#include <vector>

// The launch up to the player's start: the log's lines, the command FIFO, the command line and
// the player itself. It needs no window, nor the toolkit, so that it can run before the toolkit
// is even loaded, and the player's own start goes on while the toolkit's does. The player learns of
// the window later, through a pipe that becomes its descriptor 3 (TAMBLIN_WINDOW_FD=3): one line
// "WID WIDTHxHEIGHT" once the window exists, or the pipe's end without a line when there is no
// window to draw into.
struct PlayerLaunch
{
    std::string fifo;
    bool fifoUsable = false;
    std::string fifoWhy;    // why the FIFO's folder is refused
    FILE* output = nullptr; // the player's standard output; nullptr when it did not start
    pid_t pid = -1;
    int startError = 0;  // errno of a start that failed
    int windowInfo = -1; // our end of the pipe that tells the player of its window
};

// Says "Controlling Backlight state...  " and the launch's lines, makes the FIFO and starts the
// player unless the FIFO's folder is refused or there is nowhere to draw (drawable false: the
// start fails with ENXIO). arguments: the program's, the program name first.
PlayerLaunch startLaunch(const std::vector<std::string>& arguments, bool drawable);

// Tells the player where to draw, once, and closes the pipe. No size or a zero window closes it
// without a line.
void tellWindow(PlayerLaunch* launch, unsigned long long window, int width, int height);

// A launch made before the window, for the window to take up; nullptr when there is none.
void setEarlyLaunch(PlayerLaunch* launch);
PlayerLaunch* takeEarlyLaunch();
