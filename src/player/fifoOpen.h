#pragma once

#include <cstdio>

class ReplyReader;

// Opens the command FIFO for writing once the player has opened it for reading. Only a FIFO
// of our own that nobody else may write is opened: anyone who can write it drives the player,
// and the player's commands can run programs. Gives up when the player's output ends (it
// died, or the shell could not find it) or after timeoutMs. Returns nullptr on failure, with
// the reason on standard error.
FILE* openCommandFifo(const char* path, ReplyReader* playerOutput, int timeoutMs);
