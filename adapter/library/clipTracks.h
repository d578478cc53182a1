#pragma once

#include <string>
#include <vector>

// What a clip carries besides its picture, as its player tells it: sound tracks, subtitles
// (those in the file and those beside it) and chapters. Ids are the player's own, opaque to the
// rest of the adapter.
struct Track
{
    int id = 0;
    std::string language;  // as the file says it ("fre", "fr", "eng"); empty when it does not
    std::string title;     // the file's own title for it; empty when it has none
    bool external = false; // a subtitle file beside the clip
};

struct Chapter
{
    double start = 0;  // seconds from the clip's start
    std::string title; // empty when the file has none
};

struct ClipTracks
{
    std::vector<Track> audio;
    std::vector<Track> subtitles;
    std::vector<Chapter> chapters;
    int audioOn = -1;    // the id of the sound track playing; -1: none
    int subtitleOn = -1; // the id of the subtitles shown; -1: none
};

// The sound track and subtitles chosen for a clip: ids as ClipTracks has them.
struct TrackChoice
{
    static constexpr int kKeep = -2; // leave it as the player has it
    static constexpr int kOff = -1;  // subtitles: none
    int audio = kKeep;
    int subtitle = kKeep;
};
