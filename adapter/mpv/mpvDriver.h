#pragma once

#include "actions.h"
#include "driverParts.h"
#include "menuOverlay.h"
#include "mpvFiles.h"
#include "mpvTracks.h"
#include "pauseHold.h"
#include "playerDriver.h"

#include <nlohmann/json.hpp>

#include <deque>
#include <map>
#include <string>
#include <vector>

// Debian's mpv behind the window: JSON requests and events, one object a line, over a socket
// pair that it takes as its descriptor 3 (--input-ipc-client=fd://3): nobody else can reach it,
// and mpv ends by itself when the adapter is gone. The window's slave commands are turned into
// mpv's (mpvCommands.h); the menu, which mpv has not, is drawn by the adapter from the menu
// model with osd-overlay (menuOverlay.h). What is mpv's own here:
// - the same pause hold as MPlayer's, so that both behave alike, with the pause set outright;
// - no rest by signal: a paused mpv draws nothing and costs nothing, and a stopped one would
//   not end with the adapter;
// - a file is known by the playlist entry id that mpv gives it; one that ends in error could
//   not be played;
// - with nothing more to play mpv stays idle, and says so: the core ends the run;
// - the tracks and chapters are watched, and told once the file is open and when they change;
//   subtitle files beside it are added then, so that mpv names them by what it was given.
// Requests and the menu are here (mpvDriver.cpp), mpv's replies and events in mpvMessages.cpp.
class MpvDriver : public PlayerDriver
{
  public:
    // files: a private folder for aliases of names that JSON cannot carry (not UTF-8);
    // firstFile: the file on mpv's command line, which it plays as playlist entry 1.
    MpvDriver(Actions& out, const MenuModel& model, MenuOverlay& overlay, std::string files,
              std::string firstFile);

    void command(const std::string& line, const MenuStep& step, long long now) override;
    void play(const std::vector<PlayItem>& files, bool replace, long long now) override;
    void startPlaying(bool still, long long now) override;
    void startDone(long long now) override;
    void askPosition(long long now) override;
    void selectTracks(const TrackChoice& choice, long long now) override;
    void seekTo(double seconds, long long now) override;
    void listMenu(const Menu&, long long) override {}
    void duck(bool down, long long now) override;
    void runEnding(long long now) override;
    void wake(long long) override {}
    void outputLine(const std::string& line, long long now) override;
    void errorLine(const std::string& line, long long now) override;
    long long deadline() const override { return earlier(restAt_, redrawAt_); }
    void tick(long long now) override;

    // The requests to make once, at the start: what to watch. firstSubtitles: the subtitle
    // files beside the file on mpv's command line.
    void start(long long now, const std::vector<std::string>& firstSubtitles = {});

  private:
    // The ids of the properties watched: the pause, what decodes, the frame rate, the tracks and
    // the chapters.
    enum Watch : long long {
        kPauseWatch = 1,
        kDecoderWatch,
        kFpsWatch,
        kTrackWatch,
        kChapterWatch
    };
    // What a request's reply is for.
    struct Pending
    {
        enum Kind { Ignore, Answer, Position, Load, Tracks } kind = Ignore;
        std::string name;                             // Answer: MPlayer's name for the value;
                                                      // Tracks: the property
        std::string format;                           // Answer: how to write it
        std::string path;                             // Load: the file
        PositionQuery::Part part = PositionQuery::At; // Position: which value
        std::vector<Sidecar> subtitles;               // Load: the files beside it
        long long entry = 0;                          // Tracks: the file's playlist entry

        static Pending of(Kind kind, std::string name = {})
        {
            Pending p;
            p.kind = kind;
            p.name = std::move(name);
            return p;
        }
    };
    void request(nlohmann::json command, Pending why, long long now);
    // A slave line, once the pause hold has shaped it, as mpv's request.
    void sendSlaveLine(const std::string& line, long long now);
    // A request that mpv takes only once the file is open: held until then.
    void fileRequest(nlohmann::json command, long long now);
    void setPause(bool paused, long long now);
    // Subtitle files as mpv is to be given them, their aliases made.
    std::vector<Sidecar> sidecars(const std::vector<std::string>& paths);
    // Sends the menu as the model has it now, when it changed (or again, to have it redrawn).
    void drawMenu(long long now, bool again = false);
    // Something went to the player: the quiet time before it is at rest starts again.
    void sent(long long now);

    // mpvMessages.cpp: what mpv says.
    void reply(const nlohmann::json& message, long long now);
    void event(const nlohmann::json& message, long long now);
    void fileEvent(const std::string& name, const nlohmann::json& message, long long now);
    void propertyChange(const nlohmann::json& message, long long now);
    // The file is open: its subtitle files are added, then its tracks asked for.
    void askTracks(long long now);
    // Tells the tracks, when they are known and not told as they are.
    void tellTracks(long long now);

    Actions& out_;
    const MenuModel& model_;
    MenuOverlay& overlay_;
    PauseHold hold_;
    MpvFiles files_;
    long long nextId_ = kChapterWatch + 1; // after the watches' ids
    std::map<long long, Pending> pending_;
    PositionQuery position_;
    NoDisplayWatch noDisplay_;
    std::string drawn_;           // the overlay as last sent
    bool overlayPending_ = false; // ... while the player played: on screen at its next frame
    bool nudged_ = false;         // ... with an empty block added, to be drawn again
    bool paused_ = false;
    bool ending_ = false;
    // Where the file that started stands: mpv seeks in it only once it is open, and the player
    // is at rest only once its first picture is shown.
    enum class FileStage { None, Started, Open, Shown };
    FileStage stage_ = FileStage::None;
    // What the driver does for each file that started, once the core is done with its start
    // (startDone()), oldest first: set it going unless it is held still, show a song's title.
    struct AfterStart
    {
        bool still = false;
        std::string title;
    };
    std::deque<AfterStart> afterStarts_;
    std::vector<nlohmann::json> waiting_; // seeks asked for before it is open, in order
    std::string hwdec_;                   // what decodes, as last said
    long long entry_ = 0;                 // the playlist entry that started last
    // The file's track-list and chapter-list as mpv said them last; the answers still awaited
    // before they are told (-1: the file is not open); the tracks as last told.
    nlohmann::json trackList_, chapterList_;
    int tracksAwaited_ = -1;
    bool told_ = false;
    ClipTracks tracks_;
    std::vector<Sidecar> sidecars_; // beside the file open now
    double fps_ = 0;          // the playing file's frame rate, as its container says (0: unknown)
    long long restAt_ = -1;   // when to say that the player is at rest
    long long redrawAt_ = -1; // when to send the overlay again, once paused
};
