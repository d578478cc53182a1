#pragma once

#include "clipTracks.h"
#include "mplayerTracks.h"

#include <deque>
#include <optional>
#include <string>
#include <vector>

// A clip's tracks kept in step with MPlayer. What the player plays is asked of it, not assumed:
// once the clip plays, after the subtitle files beside it are loaded, and after every choice;
// the tracks are reported only once the last of those answers is in. Sans I/O: the driver
// sends the lines a step gives, in order, and reports when a step says so.
//
// What the player does, as seen on Debian's MPlayer 1.5 (docs/player-notes.md):
// - `sub_load` turns the loaded file's subtitles on, and renumbers the `sub` property: after the
//   loads the subtitles that were on are put back, by the numbers that do not move (sub_demux,
//   sub_file);
// - set_property shows nothing on the picture, where the plain commands show "Audio: (1) fre";
// - `pausing_keep_force` keeps a pause without stepping a frame, and does not end one.
class MPlayerTrackFlow
{
  public:
    struct Line
    {
        std::string text;
        bool question; // a get_property of ours, answered in turn
    };
    struct Step
    {
        std::vector<Line> send;
        bool report = false; // tracks() is news for the core
    };
    struct Subtitle
    {
        std::string sent;  // the name the player loads it by
        std::string given; // the path as the core gave it
    };
    // What started: a clip, whose tracks count; a song under its picture, which has nothing to
    // choose; or something the player only looks at (a song's length).
    enum Kind { Clip, Song, Other };

    void fileStarted(Kind kind, std::vector<Subtitle> subtitles);
    // The player said "Starting playback...".
    Step playing();
    // A line of the player's output, without its end.
    Step line(const std::string& text);
    // One of our questions answered (nothing: the player refused it).
    Step answered(const std::string& property, std::optional<int> value);
    Step select(const TrackChoice& choice);
    // Whether the driver hands answers to this property to answered().
    static bool follows(const std::string& property);

    const ClipTracks& tracks() const { return parsed_.tracks(); }

  private:
    void ask(Step& step);
    void roundDone(Step& step);
    static Line subtitle(int id);

    Kind kind_ = Other;
    bool playing_ = false;
    bool reported_ = false;
    MPlayerTracks parsed_;
    std::vector<Subtitle> toLoad_; // once the clip plays
    bool filesLoaded_ = false;
    std::optional<int> wanted_; // a subtitle file chosen before it was loaded

    struct Asked
    {
        std::string property;
        int round;
    };
    std::deque<Asked> asked_;
    int round_ = 0; // the last round of questions: only its answers are reported
    int audio_ = -1, demux_ = -1, file_ = -1;
};
