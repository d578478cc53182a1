#include "restartPolicy.h"

RestartPolicy::Decision RestartPolicy::runEnded(long long lastedMs)
{
    if (lastedMs >= kQuickRunMs) {
        quick_ = 0;
        return {false, 0};
    }
    ++quick_;
    if (quick_ >= kQuickRunsToStop)
        return {true, 0};
    return {false, kPauseStepMs * quick_};
}
