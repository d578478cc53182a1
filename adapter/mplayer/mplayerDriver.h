#pragma once

#include "actions.h"
#include "driverParts.h"
#include "mplayerFiles.h"
#include "mplayerTrackFlow.h"
#include "pauseHold.h"
#include "playerDriver.h"
#include "playerRest.h"

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// Debian's MPlayer in slave mode: commands as text lines on its standard input, answers
// ("ANS_name=value") and what it plays ("Playing FILE.") on its standard output, which goes
// on to the window. It draws the menu itself (vf_menu), following the same menu commands as
// the menu model. What is MPlayer's own here:
// - it takes keys at once only while paused: the pause hold keeps the picture still under the
//   menu, and playback commands under the hold get "pausing_keep";
// - a paused player is stopped at rest (PlayerRest);
// - some menu commands take effect only when it next draws: what follows them waits (settling);
// - a file that never got to "Starting playback..." could not be played;
// - files reach it through private aliases (mplayerFiles.h), and songs get a picture;
// - a clip's tracks are asked of it (mplayerTrackFlow.h);
// - menus listed while the run goes are folders that its menu lists (listMenu()).
class MPlayerDriver : public PlayerDriver
{
  public:
    // files: a private folder of the adapter's for aliases; songPicture: a long still clip to
    // show under songs (empty: songs play without a picture); cwd: the player's working folder.
    MPlayerDriver(Actions& out, const std::string& files, const std::string& songPicture,
                  const std::string& cwd)
        : out_(out), files_(files, songPicture, cwd)
    {
    }

    void command(const std::string& line, const MenuStep& step, long long now) override;
    void play(const std::vector<PlayItem>& files, bool replace, long long now) override;
    void startPlaying(bool still, long long now) override;
    void startDone(long long now) override;
    void askPosition(long long now) override;
    // Listed menus: the folder that the player's menu lists (its -menu-chroot), and how an
    // entry's label is fitted to the menu's width (none: as it is).
    void setMenuLists(std::string folder, std::function<std::string(const std::string&)> fit)
    {
        listFolder_ = std::move(folder);
        fit_ = std::move(fit);
    }

    void selectTracks(const TrackChoice& choice, long long now) override;
    void seekTo(double seconds, long long now) override;
    void listMenu(const Menu& menu, long long now) override;
    void duck(bool down, long long now) override;
    void runEnding(long long now) override;
    void wake(long long now) override;
    void outputLine(const std::string& line, long long now) override;
    void errorLine(const std::string& line, long long now) override;
    long long deadline() const override;
    void tick(long long now) override;

  private:
    enum class Send {
        Plain,
        Ours,       // a question of the driver's own, whose answer is kept back from the window
        OursInTurn, // ... asked after the commands before it, held back or not
        Settling,   // the player acts on it at its next frame: what follows waits
        Listing,    // not a command: the names for the listed menus' folder, in turn
    };
    void send(const std::string& command, Send kind, long long now);
    void sendHeldBack(long long now);
    // An answer to a question of ours or of the window's; nothing when the player refused it.
    void answered(const std::string& property, const std::optional<std::string>& value, bool ours,
                  long long now);
    // An answer line; true when it answered a question of ours.
    bool answerLine(const std::string& text, long long now);
    // What the tracks' flow says to send and report.
    void follow(const MPlayerTrackFlow::Step& step, long long now);
    void tracksOf(const PlayItem& item, MPlayerFiles::Role role);
    void started(const std::string& file, long long now);
    // The song being looked at is this long: on to its picture.
    void songLength(double seconds, long long now);
    void make(const MPlayerFiles::Made& made);
    void playInstead(const std::vector<std::string>& aliases, long long now);
    // Shows a song's title for a while (kSongTitleMs), as the player's own display does.
    void showTitle(const std::string& text, long long now);

    Actions& out_;
    PauseHold hold_;
    PlayerRest rest_;
    bool ending_ = false;
    NoDisplayWatch noDisplay_;

    struct Question
    {
        std::string property;
        bool ours;
    };
    std::deque<Question> questions_; // unanswered get_property queries, in order
    PositionQuery position_;         // where the clip is, for the core

    // Commands held back until the player has drawn a frame.
    struct Held
    {
        std::string command;
        Send kind;
    };
    std::deque<Held> heldBack_;
    long long settleUntil_ = -1;

    MPlayerFiles files_;
    std::vector<PlayItem> queued_; // handed to the player, not started yet
    std::string current_;          // the file that started last
    bool currentShown_ = false;    // ... and whether it got as far as playing
    PlayItem song_;                // the song being looked at, before its picture
    // What the driver does for each file that started, once the core is done with its start
    // (startDone()), oldest first.
    struct AfterStart
    {
        std::string title; // a song's, shown under its picture
        double seekTo = 0; // where a clip left earlier resumes
    };
    std::deque<AfterStart> afterStarts_;

    MPlayerTrackFlow tracks_;
    std::string listFolder_;
    std::function<std::string(const std::string&)> fit_;
};
