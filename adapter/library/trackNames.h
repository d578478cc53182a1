#pragma once

#include "clipTracks.h"

#include <string>
#include <vector>

// How a clip's tracks are named in the menus, which of them the viewer's languages choose, and
// which subtitle files beside a clip are its own.

// The track's name as a person knows it: its language's own name, then its title in brackets
// ("English (commentary)"); the title alone when it gives no language; else "Track N", N being
// number (from 1). A subtitle file beside the clip (its title is its path) is named by the
// language in its name, NAME.LANG.srt.
std::string trackLabel(const Track& t, int number);

// The tracks to start a clip with, for the viewer's languages (most wanted first): the sound in
// the first of them the clip has, else kKeep (the file's default); no subtitles (kOff) when the
// sound is in the first of them, else those in the first of them the clip has subtitles in.
TrackChoice chooseByLanguage(const ClipTracks& tracks, const std::vector<std::string>& languages);

// A time as the menus show it: "0:07", "12:34", "1:02:03".
std::string clockTime(double seconds);

// The names among namesInFolder that are subtitles of the clip (a path or a name): the clip's
// name without its suffix, then ".LANG" or nothing, then ".srt", ".ass", ".ssa" or ".sub" in
// any case; in natural order.
std::vector<std::string> sidecarSubtitles(const std::string& clip,
                                          const std::vector<std::string>& namesInFolder);

// True when the name ends in a subtitle suffix (".srt", ".ass", ".ssa" or ".sub", any case)
// after at least one other byte: the files sidecarSubtitles() may find.
bool isSubtitleFile(const std::string& name);

// What the listed menus may show besides the fixed menus, for the font chosen at the start to
// have it: the mark, times, their own words, and the names of the viewer's languages (a film's
// tracks are most often in those).
std::string shownInListedMenus(const std::vector<std::string>& languages);
