#pragma once

#include <cstdio>

class ReplyReader;

// Commands are lines of text written with their exact length. A broken pipe (the player has
// closed its end) is absorbed: SIGPIPE is ignored, and the result says the player is gone.
bool writeCommand(FILE* fifo, const char* command);
bool flushCommands(FILE* fifo);

// How long one key press waits for the player's answer before it goes on without it.
const int kAnswerTimeoutMs = 2000;

struct MenuState
{
    bool visible = false;
    bool playerGone = false;
};

// Asks the player whether its on-screen menu is up and waits for the answer. Without one
// (no answer in time, or the player gone) the menu counts as hidden.
MenuState queryMenuVisibility(FILE* fifo, ReplyReader& playerOutput,
                              int timeoutMs = kAnswerTimeoutMs);
