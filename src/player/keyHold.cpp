#include "keyHold.h"

bool KeyHold::completes(long long now)
{
    if (!down_ || done_ || now - since_ < holdMs_)
        return false;
    done_ = true;
    return true;
}

bool KeyHold::pressed(int key, bool autoRepeat, long long now)
{
    if (key != key_) {
        down_ = false; // another key between: not a hold
        releasedAt_ = -1;
        return false;
    }
    // X's auto-repeat is a release and a press at the same time; Qt does not always mark them.
    const bool repeat = down_ ? autoRepeat || now == releasedAt_ : now == releasedAt_;
    if (!repeat) {
        since_ = now;
        done_ = false;
    }
    down_ = true;
    return completes(now);
}

bool KeyHold::released(int key, bool autoRepeat, long long now)
{
    if (key != key_ || autoRepeat)
        return false;
    const bool held = completes(now);
    down_ = false;
    releasedAt_ = now;
    return held;
}
