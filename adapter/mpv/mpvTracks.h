#pragma once

#include "clipTracks.h"

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

// A clip's tracks and chapters as mpv tells them: its track-list and chapter-list properties,
// as their replies and property-change events carry them, in the adapter's shape.

// A subtitle file beside the clip, handed to mpv with sub-add: what mpv was given (url), which
// it names the track by (external-filename), and the path as the core gave it.
struct Sidecar
{
    std::string url;
    std::string path;
};

// The sound tracks and subtitles of trackList, in the file's order, and the chapters of
// chapterList. Subtitle files come after the file's own subtitles, in the order of sidecars,
// each titled by its path; one that mpv could not open is not there. Other subtitle files (the
// user's -sub) follow, titled by mpv's name for them. What is not as mpv writes it is passed
// over.
ClipTracks clipTracks(const nlohmann::json& trackList, const nlohmann::json& chapterList,
                      const std::vector<Sidecar>& sidecars);

bool sameTracks(const ClipTracks& a, const ClipTracks& b);
