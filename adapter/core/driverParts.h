#pragma once

#include "actions.h"
#include "playerDriver.h"

#include <optional>
#include <string>

// What both player drivers do alike, once.

// The quiet time after a command, or after a new file's first picture, before the player is
// taken to be at rest: MPlayer is then asked whether it is paused (and stopped when it is), and
// mpv's trace says "at rest".
constexpr long long kQuietMs = 150;

// How long a song's title shows over the picture as the song starts.
constexpr long long kSongTitleMs = 4000;
// The title a song shows: its name as the menu shows it, without its suffix.
std::string songTitle(const std::string& file);

// Where the clip playing now is, asked of the player as two values, its time and its length.
// It is known once both are answered; a refusal, or a value that is no position, ends the
// question without an answer (the core then waits out its own bound).
class PositionQuery
{
  public:
    enum Part { At, Length };
    void ask();
    // One part answered: its value, or nothing when the player refused it. Once both are
    // known, positionKnown() goes to `events`.
    void answered(Part part, std::optional<double> value, PlayerEvents& events, long long now);
    bool asking() const { return asking_; }

  private:
    static constexpr double kWaiting = -1, kRefused = -2;
    bool asking_ = false;
    double values_[2] = {kWaiting, kWaiting};
};

// A player that cannot reach its X display says so many times a second and goes on for ever:
// the first time it says so, it is logged and reported unusable.
class NoDisplayWatch
{
  public:
    // A line of what the player says about itself (MPlayer's standard error, mpv's log).
    void read(const std::string& line, Actions& out, PlayerEvents& events, long long now);

  private:
    bool seen_ = false;
};
