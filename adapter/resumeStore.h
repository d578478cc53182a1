#pragma once

#include <string>
#include <vector>

// Where each clip was left, so that choosing it again starts it there. Kept in one file,
// written whole to a temporary file and renamed into place, for at most kMaxClips clips (the
// ones left longest ago are dropped). A file that is missing, unreadable or not what this
// writes is ignored, with one line on standard error, and replaced at the next write.

constexpr int kMaxClips = 1000;
// A clip resumes only from at least this far in, and more than this before its end.
constexpr double kResumeMarginSeconds = 10;

// $XDG_STATE_HOME/tamblin/positions, else ~/.local/state/tamblin/positions; empty without
// either.
std::string positionsFile(const char* xdgStateHome, const char* home);

class ResumeStore
{
  public:
    explicit ResumeStore(std::string file) : file_(std::move(file)) {}

    void load();

    // Where the clip starts: its saved position, or 0.
    double startAt(const std::string& clip) const;
    // The clip was left at position, of length: kept when it can resume, else forgotten.
    void left(const std::string& clip, double position, double length);
    // The clip played to its end.
    void finished(const std::string& clip);

  private:
    struct Entry
    {
        std::string clip;
        double position;
        double length;
    };
    void forget(const std::string& clip);
    void save();

    std::string file_;
    std::vector<Entry> entries_; // left longest ago first
};
