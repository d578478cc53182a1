#pragma once

// How long a player is given at each step of its end (after it was told to quit, after
// SIGTERM) before the next, harder one.
constexpr int kGraceMs = 2000;
