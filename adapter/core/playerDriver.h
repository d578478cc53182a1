#pragma once

#include "menuModel.h"

#include <string>
#include <vector>

// A file for the player to play, and where in it to start (0: at its beginning).
struct PlayItem
{
    std::string path;
    double startAt = 0;
};

// What a command did to the menu, as the menu model followed it.
struct MenuStep
{
    bool wasVisible = false;
    bool visible = false;
    size_t depthBefore = 0;
    size_t depth = 0;
    MenuModel::Outcome outcome = MenuModel::Nothing;
    std::string ran; // CommandRun: the entry's command
};

// What a player driver tells the core about its player.
class PlayerEvents
{
  public:
    virtual ~PlayerEvents() = default;
    virtual void fileStarted(const std::string& file, long long now) = 0;
    // The file could not be played; the player goes on with the next one.
    virtual void fileFailed(const std::string& file, long long now) = 0;
    // Where the clip playing now is, as askPosition() asked.
    virtual void positionKnown(double at, double length, long long now) = 0;
    // The player cannot do its work and will not get better (no display, say): end it.
    virtual void playerUnusable(long long now) = 0;
};

// One kind of player behind the core. It turns the core's requests into the player's own
// protocol, and the player's output into events. Like the core, it owns no descriptor and reads
// no clock: what it does comes out as actions, and time comes in as `now`.
class PlayerDriver
{
  public:
    virtual ~PlayerDriver() = default;
    void attach(PlayerEvents* events) { events_ = events; }

    // The window's command, or one of the core's own, once the menu model has followed it.
    virtual void command(const std::string& line, const MenuStep& step, long long now) = 0;
    // Plays the files in turn: in place of what plays now (replace), or after it.
    virtual void play(const std::vector<PlayItem>& files, bool replace, long long now) = 0;
    // The file that has just started is the start menu's background: hold it still.
    virtual void holdStill(long long now) = 0;
    // Asks where the clip playing now is; the answer comes as positionKnown().
    virtual void askPosition(long long now) = 0;
    // The run is ending: nothing more of the driver's own goes to the player.
    virtual void runEnding(long long now) = 0;
    // A signal is about to go to the player: make sure that it can take it.
    virtual void wake(long long now) = 0;

    // A line of the player's output (with its end, as it came) and of its standard error.
    virtual void outputLine(const std::string& line, long long now) = 0;
    virtual void errorLine(const std::string& line, long long now) = 0;

    // When tick() is next due; -1 for never.
    virtual long long deadline() const = 0;
    virtual void tick(long long now) = 0;

  protected:
    PlayerEvents* events_ = nullptr;
};

// The earlier of two deadlines, -1 standing for never.
inline long long earlier(long long a, long long b)
{
    return a < 0 ? b : b < 0 ? a : a < b ? a : b;
}
