#pragma once

#include <time.h>

// The monotonic clock, for the bounds on waits and for measurements: it never jumps.
inline long long monotonicNs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

inline long long monotonicMs()
{
    return monotonicNs() / 1000000;
}
