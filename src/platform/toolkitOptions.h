#pragma once

// Whether the program's arguments are the same before and after the toolkit's application
// object takes out the options it handles itself (Qt 6 with its xcb platform: -platform,
// -display, -style, ... with one dash or two, alone or with "=value"). When they are, the
// player can be launched from them before the toolkit starts.
bool toolkitTakesNoArgument(int argc, const char* const* argv);
