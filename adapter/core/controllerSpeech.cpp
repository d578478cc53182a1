// The controller's part in what the viewer hears: the menu after each command, and where the
// clip is on the display key.
#include "controller.h"

#include "slaveCommand.h"

void Controller::spoken(const std::string& text, const MenuStep& step, long long now)
{
    speech_.menuChanged(model_);
    // The display key over a clip: where it is, as the chapters' menu asks it.
    const bool osd =
        parseSlaveCommand(text).verb == "osd" ||
        (step.outcome == MenuModel::CommandRun && parseSlaveCommand(step.ran).verb == "osd");
    if (osd && speech_.on() && !flow_.clip().empty() && leaving_.empty()) {
        speech_.askPosition();
        driver_.askPosition(now);
    }
}
