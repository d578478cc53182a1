#pragma once

#include <string>
#include <vector>

// Whether the player is paused, followed command by command, and the pause that the adapter
// holds on the player's behalf. The player reads its input once per video frame while it plays,
// but at once while it is paused, so a menu over a paused picture answers keys within a
// refresh or two; and a paused player can be stopped outright at rest.
//
// Two holds: the start menu's background is a still picture (held from its first frame until
// the user sets it going), and a menu opened over a playing clip pauses it until the menu
// closes. While a hold is on, playback commands keep the pause; a pause toggle of the user's
// own ends the hold, and from then on the user's choice stands.
class PauseHold
{
  public:
    enum Hold { None, Menu, Still };

    // A file has started playing; still: it is the start menu's background, starting afresh.
    // Returns what to send the player.
    std::vector<std::string> fileStarted(bool still);

    // A command on its way to the player, with the menu's visibility before and after it.
    // Returns the lines to send in its place.
    std::vector<std::string> linesFor(const std::string& command, bool wasVisible, bool visible);

    // A command that the player runs by itself for a menu entry.
    void ranByMenu(const std::string& command);

    // What the player answered when asked.
    void answered(bool paused);

    bool paused() const { return paused_; }
    Hold hold() const { return hold_; }

  private:
    // Follows a command's effect on the pause; true when it was accounted for.
    bool followPauseCommand(const std::string& prefix, const std::string& verb);

    bool paused_ = false;
    Hold hold_ = None;
};
