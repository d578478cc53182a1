#include "driverParts.h"

#include "lineSplitter.h"
#include "mediaSuffixes.h"
#include "menuText.h"
#include "paths.h"

namespace {

// What both players print when they cannot reach their X display.
const char kNoDisplay[] = "couldn't open the X11 display";

} // namespace

std::string songTitle(const std::string& file)
{
    return menuLabel(std::string(withoutMediaSuffix(baseName(file))));
}

void PositionQuery::ask()
{
    asking_ = true;
    values_[At] = values_[Length] = kWaiting;
}

void PositionQuery::answered(Part part, std::optional<double> value, PlayerEvents& events,
                             long long now)
{
    if (!asking_)
        return;
    values_[part] = value && *value >= 0 ? *value : kRefused;
    if (values_[At] == kWaiting || values_[Length] == kWaiting)
        return;
    asking_ = false;
    if (values_[At] >= 0 && values_[Length] >= 0)
        events.positionKnown(values_[At], values_[Length], now);
}

void NoDisplayWatch::read(const std::string& line, Actions& out, PlayerEvents& events,
                          long long now)
{
    if (seen_ || line.find(kNoDisplay) == std::string::npos)
        return;
    seen_ = true;
    out.add(Action::ToLog, "tamblin-adapter: the player cannot open its X display (\"" +
                               trimmedLine(line) + "\"); ending it\n");
    events.playerUnusable(now);
}
