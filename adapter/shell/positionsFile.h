#pragma once

#include <string>

// The file that keeps where clips were left: $XDG_STATE_HOME/tamblin/positions, else
// ~/.local/state/tamblin/positions; empty without either.
std::string positionsFile(const char* xdgStateHome, const char* home);

// Reads the whole file; false, with the reason in *why, when it cannot.
bool readPositions(const std::string& file, std::string* text, std::string* why);

// Replaces the file whole: the text goes to a temporary file beside it, which is synced and
// renamed into place, so that a failed or interrupted write leaves the old file as it was. The
// folders are made for this user alone. False, with the reason in *why, on any failure.
bool writePositions(const std::string& file, const std::string& text, std::string* why);
