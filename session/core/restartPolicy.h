#pragma once

// What the session does when a run ends: start the next one at once after a run that lasted,
// after a pause that grows with each quick run in a row, and not at all after too many quick
// runs in a row. A setup that cannot run (no player, no display) must end, not spin.
class RestartPolicy
{
  public:
    // A run shorter than this counts as quick: it did not get as far as being used.
    static constexpr long long kQuickRunMs = 5000;
    static constexpr int kQuickRunsToStop = 5;
    // The pause after the first quick run; it grows by as much after each one that follows.
    static constexpr long long kPauseStepMs = 1000;

    struct Decision
    {
        bool stop;
        long long pauseMs; // before the next run
    };

    Decision runEnded(long long lastedMs);
    int quickRunsInARow() const { return quick_; }

  private:
    int quick_ = 0;
};
