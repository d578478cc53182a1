#pragma once

#include <string>

// The command FIFO is made by "exec mkfifo --" through the shell, under umask 077 so that nobody
// else may write it. The shell can start as soon as the path is known, so that the program's own
// start-up goes on meanwhile; the launch then waits for it and reports its status.

// Starts the shell for the FIFO at path, without waiting for it.
void startFifoCreation(const std::string& path);
// The raw wait status of the shell for path, as system() returns it (-1 when it could not
// start). Starts it first unless it was started already for the same path.
int fifoCreationStatus(const std::string& path);
