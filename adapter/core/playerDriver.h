#pragma once

#include "clipTracks.h"
#include "menuModel.h"

#include <string>
#include <utility>
#include <vector>

// A file for the player to play, and where in it to start (0: at its beginning).
struct PlayItem
{
    std::string path;
    double startAt = 0;
    std::vector<std::string> subtitles; // subtitle files beside it, for the player to add
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
    // A cancel that the same menu's opening follows at once, to show it anew: the player may
    // take both in one pass, and the menu below need not be drawn in between.
    bool reopens = false;
};

// What a player driver tells the core about its player. The driver only puts it here; the core
// takes it, in order, once the call into the driver that brought it has returned. So a driver
// never finds the core in the middle of a call, and what the core does about an event reaches
// the driver as calls of its own, after the event (startPlaying(), startDone()).
class PlayerEvents
{
  public:
    struct Event
    {
        enum Kind {
            FileStarted,
            FileFailed,
            PositionKnown,
            PlayerUnusable,
            NothingToPlay,
            TracksKnown
        };
        Kind kind = FileStarted;
        std::string file;          // FileStarted, FileFailed
        double at = 0, length = 0; // PositionKnown
        long long now = 0;
        ClipTracks tracks; // TracksKnown
    };

    void fileStarted(const std::string& file, long long now)
    {
        push(Event::FileStarted, file, 0, 0, now);
    }
    // The file could not be played; the player goes on with the next one.
    void fileFailed(const std::string& file, long long now)
    {
        push(Event::FileFailed, file, 0, 0, now);
    }
    // Where the clip playing now is, as askPosition() asked.
    void positionKnown(double at, double length, long long now)
    {
        push(Event::PositionKnown, {}, at, length, now);
    }
    // The player cannot do its work and will not get better (no display, say): end it.
    void playerUnusable(long long now) { push(Event::PlayerUnusable, {}, 0, 0, now); }
    // The player has played all it was given and waits for more (mpv idle; MPlayer ends instead).
    void nothingToPlay(long long now) { push(Event::NothingToPlay, {}, 0, 0, now); }
    // The tracks and chapters of the file that started last, once the player has opened it,
    // and again whenever they change (a subtitle file added, another track on).
    void tracksKnown(const ClipTracks& tracks, long long now)
    {
        push(Event::TracksKnown, {}, 0, 0, now);
        events_.back().tracks = tracks;
    }

    // Hands over what has come, oldest first.
    std::vector<Event> take() { return std::exchange(events_, {}); }
    bool empty() const { return events_.empty(); }

  private:
    void push(Event::Kind kind, const std::string& file, double at, double length, long long now)
    {
        Event e;
        e.kind = kind;
        e.file = file;
        e.at = at;
        e.length = length;
        e.now = now;
        events_.push_back(std::move(e));
    }
    std::vector<Event> events_;
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
    // For each file that started (fileStarted()), in order with the core's other requests: how
    // it plays, before the core's own requests for it (still: held still, the start menu's
    // background; else playing) ...
    virtual void startPlaying(bool still, long long now) = 0;
    // ... and, after them, what the driver itself does as a file starts.
    virtual void startDone(long long now) = 0;
    // Asks where the clip playing now is; the answer comes as positionKnown().
    virtual void askPosition(long long now) = 0;
    // Plays this sound track and shows these subtitles of the file playing now (ids as
    // tracksKnown() gave them; TrackChoice::kKeep leaves one as it is, kOff hides subtitles).
    virtual void selectTracks(const TrackChoice& choice, long long now) = 0;
    // Goes to this place in the file playing now, in seconds from its start.
    virtual void seekTo(double seconds, long long now) = 0;
    // A menu whose entries are made while the run goes (Menu::listed) is about to open, with
    // these entries: a player that draws its own menu is given them first.
    virtual void listMenu(const Menu& menu, long long now) = 0;
    // Turns the player's sound down by a fixed amount while the viewer is spoken to, or back up
    // by as much.
    virtual void duck(bool down, long long now) = 0;
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
