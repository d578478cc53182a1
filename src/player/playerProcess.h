#pragma once

#include <cstdio>
#include <string>
#include <sys/types.h>
#include <vector>

// The player runs as popen() would run it, through /bin/sh -c with its standard output on a
// pipe, but in a process group of its own whose id we keep, so that a player that does not
// end can be terminated with everything it started.

// environment: "NAME=value" entries that the player gets on top of ours, set in its environment
// alone. control: a descriptor that becomes the player's 3, or -1. Returns the read end of the
// player's standard output, or nullptr with errno set.
FILE* startPlayer(const char* commandLine, const std::vector<std::string>& environment, int control,
                  pid_t* pid);

// Closes the stream and waits for the player: graceMs for it to end by itself, then it is
// asked to terminate, then killed. Returns the wait status.
int closePlayer(FILE* output, pid_t pid, int graceMs);
