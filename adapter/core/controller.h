#pragma once

#include "actions.h"
#include "clipFlow.h"
#include "menuModel.h"
#include "mountTable.h"
#include "playerDriver.h"
#include "removables.h"
#include "resumeStore.h"
#include "speech.h"
#include "whatsOn.h"

#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>

// The adapter's core, between the window and one player. It answers the window's menu query
// from the menu model, hands the window's commands to the player's driver, says what plays
// after what, keeps where clips were left, and decides when the run is ending.
//
// It owns no descriptor and reads no clock: events come in, each with the time it happened,
// and what is to be done comes out as actions; deadline() says when tick() is next due.
class Controller
{
  public:
    Controller(MenuModel& model, ClipFlow& flow, ResumeStore& store, PlayerDriver& driver,
               Actions& out);

    // A line from the window's command FIFO.
    void windowLine(const std::string& line, long long now);
    // A line of the player's output, and of its standard error, each with its end.
    void playerOutput(const std::string& line, long long now);
    void playerErrors(const std::string& line, long long now);
    // The player has ended.
    void playerEnded(long long now);
    // The window has gone: its end of the FIFO, or of our output, closed.
    void windowGone(long long now);
    // We were asked to end (SIGTERM, SIGINT, SIGHUP).
    void terminate(long long now);

    // When tick() is next due; -1 for never.
    long long deadline() const;
    void tick(long long now);

    // A session that runs us ends, rather than starting another run, when the menu's Quit is
    // chosen: this file is its mark.
    void setSessionEnd(std::string file) { sessionEnd_ = std::move(file); }
    // The viewer's languages, most wanted first: a clip starts in them.
    void setLanguages(std::vector<std::string> languages)
    {
        whatsOn_.setLanguages(std::move(languages));
    }
    // The subtitle files beside each clip (by its path), for the player to add as it plays it.
    void setSidecars(std::map<std::string, std::vector<std::string>> sidecars)
    {
        sidecars_ = std::move(sidecars);
    }
    // The removable mounts there are now, and a stick's tree once read.
    void mountsChanged(const std::vector<Mount>& mounts, long long now);
    void stickRead(const std::string& mountPoint, const MediaScan& scan, long long now);
    // What the system said when asked to sleep (Action::AskLogind).
    void sleepAnswered(bool done, long long now);
    // A message menu to show over the start menu as soon as it is up (a refusal that ended the
    // run before this one).
    void setNotice(std::string menu) { notice_ = std::move(menu); }

    // Speech as the run starts (TAMBLIN_SPEECH, or as the viewer left it).
    void setSpeech(bool on) { speech_.setOn(on); }
    bool speechOn() const { return speech_.on(); }
    // The speech service began or stopped speaking.
    void speaking(bool speaking, long long now) { speech_.speaking(speaking, now); }

    // The player was ended because it could not do its work: the run did not end well, however
    // the player itself ended.
    bool playerFailed() const { return playerFailed_; }

  private:
    // What the driver said during a call, taken once the call has returned.
    void takeEvents();
    void fileStarted(const std::string& file, long long now);
    void fileFailed(const std::string& file, long long now);
    void positionKnown(double at, double length, long long now);
    void playerUnusable(long long now);
    void nothingToPlay(long long now);
    void tracksKnown(const ClipTracks& tracks, long long now);

    // The window's command as the core carries it out: F1 over a clip opens its main menu, and
    // a listed menu gets its entries before it opens.
    std::string shaped(const std::string& line, long long now);
    // An entry of a listed menu was chosen: its command is the core's own.
    void ownCommand(const std::string& command, long long now);
    // The menu's choice of clips: played, or, for one clip left partway, first a question.
    void play(const std::vector<std::string>& files, long long now);
    bool asksWhereToStart(const std::vector<std::string>& chosen) const;

    // A command through the menu model to the driver.
    void command(const std::string& line, long long now);
    // What the viewer hears of the command: the menu as it now stands, or where the clip is.
    void spoken(const std::string& text, const MenuStep& step, long long now);
    // The command as the core carries it out for the menus of media and sticks: choosing in a
    // listed menu opens the entry's menu, and "Play a clip" lists the sticks while there are.
    std::string placesShaped(const std::string& text) const;
    // The entries of a listed menu of media or sticks, opened from the menu on top now.
    std::vector<MenuEntry> placesEntries(const std::string& menu) const;
    // The same for the menu open at that level (0: the bottom one), from the one below it.
    std::vector<MenuEntry> placesAt(size_t level) const;
    // The open menus of media and sticks get their entries anew: the one on screen is opened
    // again at once, the others as they come back on top.
    void refreshPlaces(long long now);
    void reopenStale(long long now);
    void reopenTop(long long now);
    // The clip playing came from a stick that has gone.
    void stickPulled(long long now);
    void powerCommand(const std::string& verb, long long now);
    // What goes to the driver waits while a clip is being left.
    void toDriver(std::function<void(long long)> request, long long now);
    // Asks where the clip playing now is, before anything else goes to the player.
    void leaveClip(long long now);
    void endLeaving(long long now);
    // The one place where the run starts to end, whatever ends it.
    void beginQuitting(long long now);
    // Ends the run now: the player is terminated, and killed if it does not end in time.
    void terminatePlayer(long long now);
    void endPlayer(int signal, long long now);
    void save();

    MenuModel& model_;
    ClipFlow& flow_;
    ResumeStore& store_;
    PlayerDriver& driver_;
    Actions& out_;
    PlayerEvents events_;

    bool quitting_ = false;
    bool windowOpen_ = true;
    bool playerEnded_ = false;
    bool playerFailed_ = false;
    std::string sessionEnd_;
    long long termAt_ = -1; // when to terminate a player that was told to quit
    long long killAt_ = -1; // when to kill one that was terminated

    std::string leaving_; // the clip being left, until the player says where it is
    long long leaveUntil_ = -1;
    std::deque<std::function<void(long long)>> waiting_; // for the driver, while leaving

    WhatsOn whatsOn_;
    std::map<std::string, std::vector<std::string>> sidecars_;
    std::string asking_; // the clip whose start is being asked

    Removables removables_;
    std::set<std::string> stale_; // open menus of media and sticks with entries out of date
    std::string notice_;
    std::string clipsMenu_;  // what "Play a clip" opens without sticks
    bool reopening_ = false; // the next command is the cancel of a menu opened again
    Speech speech_;
};
