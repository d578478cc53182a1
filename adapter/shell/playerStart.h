#pragma once

#include "eventLoop.h"

#include <string>
#include <vector>

// Starting the real player with the channels the loop reads and writes. False, with a line on
// standard error, when it could not be started whole.

// MPlayer: slave commands on its standard input, answers on its standard output, both pipes of
// ours, and its standard error.
bool startMPlayer(const std::string& player, const std::vector<std::string>& options,
                  PlayerChannels* channels);

// mpv: JSON over one end of a socket pair, which it takes as its descriptor 3 (its options
// say --input-ipc-client=fd://3); its standard error on a pipe of ours.
bool startMpv(const std::string& player, const std::vector<std::string>& options,
              PlayerChannels* channels);
