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
        return false;
    }
    if (!autoRepeat || !down_) {
        since_ = now;
        down_ = true;
        done_ = false;
        return false;
    }
    return completes(now);
}

bool KeyHold::released(int key, bool autoRepeat, long long now)
{
    if (key != key_ || autoRepeat)
        return false;
    const bool held = completes(now);
    down_ = false;
    return held;
}
