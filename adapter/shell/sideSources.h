#pragma once

#include "controller.h"
#include "eventLoop.h"
#include "logindRequest.h"
#include "mountWatch.h"
#include "stickScanner.h"

#include <string>
#include <vector>

// What the loop watches besides the player and the window: the mount table, the sticks being
// read, and a request to the system's login manager.
class SideSources
{
  public:
    SideSources(Controller& core, EventLoop& loop, const std::vector<std::string>& removable);

  private:
    void carryOut(const Action& a);

    Controller& core_;
    MountWatch mounts_;
    StickScanner scanner_;
    LogindRequest logind_;
};
