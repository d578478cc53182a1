#pragma once

#include <string>

// X's own screen saver and DPMS, held for the run: the display stays on where no screen-saver
// service runs on the session bus (a device that boots into a bare X session). The screen saver
// is suspended on a connection of our own, kept open until the hold is given back (the server
// also ends the suspension when that connection goes); DPMS, where the server has it, is turned
// off if it was on, and on again afterwards.

// Holds both; true when at least the screen saver is held. *what says what is held, or why
// nothing is. Holding again while held does nothing.
bool holdXScreenSaver(std::string* what);

// Gives back what was held, as it was. Nothing when nothing is held.
void releaseXScreenSaver();
