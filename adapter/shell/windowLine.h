#pragma once

#include "windowArguments.h"

// A window that starts after its player tells where to draw on a descriptor of ours
// (TAMBLIN_WINDOW_FD): one line, then the descriptor's end. Waits for it at most timeoutMs,
// then closes the descriptor. A window gone, silent or garbled gives no window.
WindowInfo waitForWindow(int fd, int timeoutMs);
