#pragma once

#include "clipTracks.h"

#include <string>
#include <utility>
#include <vector>

// Where each clip was left, so that choosing it again starts it there, and the sound track and
// subtitles chosen for it, so that it starts with them again; for at most kMaxClips clips (the
// ones left longest ago are dropped). It reads and writes text only: its file is the loop's
// (positionsFile.h).

constexpr int kMaxClips = 1000;
// A clip resumes only from at least this far in, and more than this before its end.
constexpr double kResumeMarginSeconds = 10;

class ResumeStore
{
  public:
    // Takes the positions from a file's text; false, keeping none, when the text is not what
    // text() writes: the file is then written anew at the first change, or chance.
    bool load(const std::string& text);
    // The whole store, as its file holds it.
    std::string text() const;

    // Where the clip starts: its saved position, or 0.
    double startAt(const std::string& clip) const;
    // The tracks last chosen for the clip; kKeep for each never chosen.
    TrackChoice tracksFor(const std::string& clip) const;

    // The clip was left at position, of length: kept when it can resume, else forgotten (its
    // tracks stay). True: the store changed, or its file was not ours; its file is to be written.
    bool left(const std::string& clip, double position, double length);
    // The clip played to its end: its position goes, its tracks stay. True, likewise.
    bool finished(const std::string& clip);
    // True once, when the file the store was loaded from is not ours: it is to be written.
    bool claim() { return std::exchange(notOurs_, false); }
    // The viewer chose the clip's tracks; a kKeep in the choice keeps what was chosen before.
    // True, likewise.
    bool chose(const std::string& clip, const TrackChoice& choice);
    // The clip is to start from its start: its position goes, its tracks stay. True, likewise.
    bool forgetPosition(const std::string& clip);

  private:
    struct Entry
    {
        std::string clip;
        double position = 0; // 0: none kept
        double length = 0;
        TrackChoice choice;
    };
    const Entry* find(const std::string& clip) const;
    // Changes the clip's entry through `change`, putting it last (left newest) when `newest`,
    // dropping it when it keeps nothing any more. True: the store changed, or its file was not
    // ours.
    template <typename Change> bool update(const std::string& clip, bool newest, Change change);

    std::vector<Entry> entries_; // left longest ago first
    bool notOurs_ = false;       // the file it was loaded from is not ours
};
