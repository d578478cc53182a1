#pragma once

// Sets the time of inactivity after which the display goes dark. On a Linux session this holds
// a screen-saver inhibition on the session bus for timeouts of an hour or more, and releases
// it for shorter ones. Without that service, or without a bus, it holds X's own screen saver and
// DPMS instead, and gives them back as they were.
void PM_setupLcdSleepTime(int seconds);
