#pragma once

#include <string>
#include <vector>

// Where each clip was left, so that choosing it again starts it there, for at most kMaxClips
// clips (the ones left longest ago are dropped). It reads and writes text only: its file is the
// loop's (positionsFile.h).

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
    // The clip was left at position, of length: kept when it can resume, else forgotten.
    // True: the store changed, or its file was not ours; its file is to be written.
    bool left(const std::string& clip, double position, double length);
    // The clip played to its end. True, likewise.
    bool finished(const std::string& clip);

  private:
    struct Entry
    {
        std::string clip;
        double position;
        double length;
    };
    bool forget(const std::string& clip);

    // True: the store's own text differs from its file's.
    bool changed(bool changed);

    std::vector<Entry> entries_; // left longest ago first
    bool notOurs_ = false;       // the file it was loaded from is not ours
};
