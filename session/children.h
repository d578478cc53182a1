#pragma once

#include "sessionCore.h"

#include <sys/types.h>
#include <vector>

struct SpawnRequest;

// The session's children: the run it started, and, as their subreaper, what runs leave
// behind. Children it had before the first run are not a run's, and are left alone.
class Children
{
  public:
    Children();
    ~Children();
    Children(const Children&) = delete;
    Children& operator=(const Children&) = delete;

    // A child of the session's own (the automounter): never a run's leftover.
    void keep(pid_t pid) { inherited_.push_back(pid); }
    // Starts a run; false with errno set when it could not.
    bool startRun(const SpawnRequest& request);
    pid_t runPid() const { return runPid_; }
    // A descriptor that becomes readable when the run ends; -1 on an old kernel, or no run.
    int runWatch() const { return runWatch_; }
    void signalRun(int sig);
    // The run is over for the session, ended or given up on; what is left of it is a leftover.
    void forgetRun();

    // Reaps whatever has ended; true, with its end, when the run was among them.
    bool reap(RunEnd* runEnd);
    // The children that were not inherited, each with its name: once the run is forgotten,
    // what runs left.
    std::vector<LeftProcess> leftovers() const;

  private:
    std::vector<pid_t> inherited_;
    pid_t runPid_ = 0;
    int runWatch_ = -1;
};
