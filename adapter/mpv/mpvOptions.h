#pragma once

#include <string>
#include <vector>

// The user's MPlayer options, in mpv's words.
struct MpvOptions
{
    std::vector<std::string> options; // mpv options, each one argument ("--volume=50")
    std::vector<std::string>
        dropped;             // the user's options (with their values) that have no mpv form
    std::string videoOutput; // the mpv --vo the user asked for, empty when none
};

// words: the MPlayer options as the shell split them (e.g. {"-ao","null","-fs","-volume","50"}).
// mpv ends at once on an option or value it does not take, so only what it is known to take is
// passed; everything else is left out and named in `dropped`. Left out without a word, because
// mpv has their effect already: -fs, -zoom (mpv fills the window it draws into), -softvol (mpv's
// volume is always its own), -quiet, -really-quiet, -noconsolecontrols (mpv runs without a
// terminal), -nolirc, -nojoystick (the adapter owns input). Left to the caller, which handles
// them itself: -slave, -input V, -nortc, -idle, -wid V, -nomouseinput, -menu, -menu-cfg V,
// -menu-startup V. The media to play are not options: the caller keeps them out of `words`.
MpvOptions translateOptions(const std::vector<std::string>& words);

// One line for standard error naming what was dropped, or "" when nothing was.
std::string droppedLine(const MpvOptions& translated);
