#include "pauseHold.h"

#include "slaveCommand.h"

std::vector<std::string> PauseHold::fileStarted(bool still)
{
    // A new file plays, whatever held the one before.
    paused_ = still;
    hold_ = still ? Still : None;
    if (!still)
        return {};
    return {"pause"};
}

bool PauseHold::followPauseCommand(const std::string& prefix, const std::string& verb)
{
    if (prefix == "pausing") {
        paused_ = true;
    } else if (prefix == "pausing_toggle" || (prefix.empty() && verb == "pause")) {
        paused_ = !paused_;
        hold_ = None;
    } else if (prefix.empty() && verb == "frame_step") {
        paused_ = true;
        hold_ = None;
    } else if (prefix.empty()) {
        return false;
    }
    return true; // pausing_keep and pausing_keep_force leave the pause as it is
}

std::vector<std::string> PauseHold::linesFor(const std::string& command, bool wasVisible,
                                             bool visible)
{
    const SlaveCommand c = parseSlaveCommand(command);
    if (followPauseCommand(c.prefix, c.verb))
        return {command};
    if (c.verb == "menu" || c.verb == "set_menu") {
        // Menu commands keep the pause, and the player takes no pausing prefix on them. Opening
        // the menu over a playing clip pauses it within the same input pass; closing a menu
        // that holds the pause lets the clip go on.
        if (!wasVisible && visible && !paused_) {
            paused_ = true;
            hold_ = Menu;
            return {command, "pause"};
        }
        if (wasVisible && !visible && hold_ == Menu) {
            paused_ = false;
            hold_ = None;
            return {command, "pause"};
        }
        return {command};
    }
    if (c.verb == "quit" || c.verb == "loadfile")
        return {command};
    if (hold_ != None)
        return {"pausing_keep " + command};
    paused_ = false; // any other command ends a pause
    return {command};
}

void PauseHold::ranByMenu(const std::string& command)
{
    const SlaveCommand c = parseSlaveCommand(command);
    if (followPauseCommand(c.prefix, c.verb) || c.verb == "set_menu" || c.verb == "menu" ||
        c.verb == "quit" || c.verb == "loadfile")
        return;
    paused_ = false;
    hold_ = None;
}

void PauseHold::answered(bool paused)
{
    if (!paused)
        hold_ = None;
    paused_ = paused;
}
