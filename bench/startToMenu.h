#pragma once

// The time from exec to the start menu on screen, through the program and for the player alone.

#include "menuBench.h"
#include "screenProbe.h"
#include "startStages.h"

#include <string>

// Both players, the two ways interleaved, starts times each; a row for each player, and with
// stages the table of where the time went.
void timeToStartMenu(MenuBench& bench, ScreenProbe& probe, const std::string& background,
                     int starts, StartStages* stages);
