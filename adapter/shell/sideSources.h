#pragma once

#include "controller.h"
#include "eventLoop.h"
#include "logindRequest.h"
#include "mountWatch.h"
#include "speechClient.h"
#include "stickScanner.h"

#include <string>
#include <vector>

// What the loop watches besides the player and the window: the mount table, the sticks being
// read, a request to the system's login manager, and the speech service.
class SideSources
{
  public:
    // speechFile: where the viewer's choice of speech is kept (speechFile()).
    SideSources(Controller& core, EventLoop& loop, const std::vector<std::string>& removable,
                std::string speechFile);

  private:
    void carryOut(const Action& a);
    // Tells the core whether the service speaks, when that changed.
    void speechHeard(bool speaking, long long now);

    Controller& core_;
    SpeechClient speech_;
    std::string speechFile_;
    bool speaking_ = false;
    MountWatch mounts_;
    StickScanner scanner_;
    LogindRequest logind_;
};
