#pragma once

#include <string>

// A new private folder of ours under TMPDIR (else /tmp), with a plain name: paths in it go into
// the player's commands. Empty when none could be made.
std::string privateFolder();

// Removes our private folder and what we put in it (links are removed, not followed).
void removeFolder(const std::string& dir);
