#pragma once

#include <string>
#include <sys/types.h>

// udiskie, Debian's udisks2 automounter, for the run of the session: a box has no desktop to
// mount a USB stick as it is plugged in. Started only where it is installed and nothing else
// mounts removable media already (a desktop's own, or one the user started).
class Automounter
{
  public:
    Automounter() = default;
    ~Automounter() { stop(); }
    Automounter(const Automounter&) = delete;
    Automounter& operator=(const Automounter&) = delete;

    // Starts it if it is to be; one line for the log either way. Its pid, or 0.
    pid_t start(std::string* line);
    // Ends it (SIGTERM, then SIGKILL after a grace), within a few seconds at most.
    void stop();

  private:
    pid_t pid_ = 0;
    int watch_ = -1; // a pidfd: readable once it has ended
};
