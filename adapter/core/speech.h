#pragma once

#include "actions.h"
#include "menuModel.h"
#include "playerDriver.h"

#include <string>

// What the viewer hears: the menu as it opens and as its selection moves, the messages, the
// clip's name as it starts and, on the display key, where it is. While the speech service
// speaks, the player's sound is turned down by a fixed amount, and back up after it, whatever
// ends the run.
//
// Like the core that owns it, it reads no clock and owns no descriptor: what is to be said comes
// out as Action::Say, and the service's word that it speaks comes in as speaking().
class Speech
{
  public:
    Speech(Actions& out, PlayerDriver& driver) : out_(out), driver_(driver) {}

    // As the run starts (TAMBLIN_SPEECH, or the kept choice): nothing is said of it.
    void setOn(bool on) { on_ = on; }
    bool on() const { return on_; }
    // The viewer turned it on or off: said, and kept for the next run. What the menu shows is
    // said after "Speech on".
    void toggle(const MenuModel& model);

    // The menu as it stands after a command: what is new of it is said. Followed even while
    // speech is off, so that turning it on tells nothing stale.
    void menuChanged(const MenuModel& model);
    // A clip started: its name as the menu shows it.
    void clipStarted(const std::string& path);
    // The display key over a clip: where it is, once the player says (positionKnown()).
    void askPosition() { positionAsked_ = on_; }
    bool wantsPosition() const { return positionAsked_; }
    void positionKnown(double at, double length);

    // The speech service began or stopped speaking.
    void speaking(bool speaking, long long now);
    // The run ends: the sound goes back up now, and stays so.
    void ending(long long now);
    // The player has gone: there is no sound to bring back.
    void playerGone() { ducked_ = false, ended_ = true; }

  private:
    void say(const std::string& text, int priority);
    void sayMenu(const MenuModel& model, int priority);
    void duck(bool down, long long now);

    // What the viewer was last told of the menu.
    struct View
    {
        bool visible = false;
        std::string menu;
        size_t depth = 0;
        int selection = -1;
    };

    Actions& out_;
    PlayerDriver& driver_;
    bool on_ = false;
    View last_;
    bool positionAsked_ = false;
    bool ducked_ = false;
    bool ended_ = false;
};

// A time as it is said: "1 hour 35", "12 minutes", "40 seconds".
std::string spokenTime(double seconds);

// What the window sends for the key gesture that turns speech on or off (F1 held). A player
// without our adapter takes it for an unknown command and goes on.
constexpr char kSpeechToggle[] = "tamblin_speech";
// The main menu's entry for it runs the core's own command "@speech".
