#include "sideSources.h"

#include "monotonicClock.h"

#include <cstdio>
#include <poll.h>

SideSources::SideSources(Controller& core, EventLoop& loop,
                         const std::vector<std::string>& removable)
    : core_(core), mounts_(removable)
{
    if (mounts_.fd() >= 0) {
        loop.watch({[this] { return mounts_.fd(); }, POLLPRI,
                    [this](long long now) {
                        if (mounts_.refresh())
                            core_.mountsChanged(mounts_.mounts(), now);
                    }});
        // Sticks already there when the run starts.
        mounts_.refresh();
        core_.mountsChanged(mounts_.mounts(), monotonicMs());
    }
    loop.watch({[this] { return scanner_.fd(); }, POLLIN,
                [this](long long now) {
                    for (const auto& [mountPoint, scan] : scanner_.done())
                        core_.stickRead(mountPoint, scan, now);
                }});
    loop.watch({[this] { return logind_.fd(); }, POLLIN,
                [this](long long now) {
                    std::string why;
                    const bool done = logind_.answer(&why);
                    if (!done)
                        fprintf(stderr, "tamblin-adapter: sleep refused: %s\n", why.c_str());
                    core_.sleepAnswered(done, now);
                }});
    loop.setSideActions([this](const Action& a) { carryOut(a); });
}

void SideSources::carryOut(const Action& a)
{
    if (a.kind == Action::ScanStick)
        scanner_.scan(a.path);
    else if (a.kind == Action::ForgetStick)
        scanner_.forget(a.path);
    else if (a.kind == Action::AskLogind && !logind_.busy() && !logind_.start(a.text))
        fprintf(stderr, "tamblin-adapter: cannot ask the system to sleep\n");
}
