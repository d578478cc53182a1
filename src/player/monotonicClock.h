#pragma once

#include <time.h>

// Milliseconds on the monotonic clock, for the bounds on waits.
inline long long monotonicMs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000LL + ts.tv_nsec / 1000000;
}
