#pragma once

// SIGTERM, SIGINT and SIGHUP through a self-pipe: the handler only writes a byte, and the
// program's own loop sees the read end become readable.

// Installs the handlers; returns the pipe's read end (non-blocking), or -1 with errno set,
// in which case the signals keep their default action.
int openTerminationPipe();

// Reads what the signals wrote, so that the read end waits for the next one.
void drainTerminationPipe(int fd);

// The same, and returns the number of the last signal that came, or 0 when none did.
int readTerminationPipe(int fd);

// Ignores the signals from here on (a late one must not change how the run ends) and closes
// the pipe.
void closeTerminationPipe();
