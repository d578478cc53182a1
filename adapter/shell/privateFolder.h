#pragma once

#include <string>

// A new private folder of ours under TMPDIR (else /tmp), with a plain name: paths in it go into
// the player's commands. Empty when none could be made.
std::string privateFolder();

// Removes our private folder and what we put in it (links are removed, not followed).
void removeFolder(const std::string& dir);

// Empties a private folder of ours (making it if need be) and puts an empty file in it for each
// line of names. False, with errno, when it could not.
bool listFolder(const std::string& dir, const std::string& names);
