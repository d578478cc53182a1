#pragma once

#include "mediaMenu.h"

// The ways to power that the session found the system allows, from TAMBLIN_POWER: a comma list
// of "power-off", "restart" and "sleep". Unset outside a session: none.
MenuOptions powerChoices(const char* tamblinPower);
