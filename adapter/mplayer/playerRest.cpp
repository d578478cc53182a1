#include "playerRest.h"

#include "driverParts.h"
#include "playerDriver.h"

namespace {

// The time a paused player is left after it said so, before it is stopped: it redraws every 20
// to 40 ms.
const long long kLastRedrawMs = 60;

} // namespace

void PlayerRest::sent(long long now)
{
    ++sent_;
    askAt_ = now + kQuietMs;
    stopAt_ = -1;
}

bool PlayerRest::askNow(long long now)
{
    if (askAt_ < 0 || now < askAt_)
        return false;
    askAt_ = -1;
    askedAfter_ = sent_;
    return true;
}

void PlayerRest::answered(bool paused, long long now)
{
    if (paused && sent_ == askedAfter_)
        stopAt_ = now + kLastRedrawMs;
}

bool PlayerRest::stopNow(long long now)
{
    if (stopAt_ < 0 || now < stopAt_)
        return false;
    stopAt_ = -1;
    return !stopped_ && sent_ == askedAfter_;
}

bool PlayerRest::wake()
{
    const bool was = stopped_;
    stopped_ = false;
    return was;
}

long long PlayerRest::deadline() const
{
    return earlier(askAt_, stopAt_);
}
