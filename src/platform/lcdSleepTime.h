#pragma once

// Sets the time of inactivity after which the display goes dark. On a Linux session this holds
// a screen-saver inhibition on the session bus for timeouts of an hour or more, and releases
// it for shorter ones.
void PM_setupLcdSleepTime(int seconds);
