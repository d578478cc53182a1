#include "sideSources.h"

#include "monotonicClock.h"
#include "positionsFile.h"

#include <cstdio>
#include <poll.h>

SideSources::SideSources(Controller& core, EventLoop& loop,
                         const std::vector<std::string>& removable, std::string speechFile)
    : core_(core), speechFile_(std::move(speechFile)), mounts_(removable)
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
    loop.watch({[this] { return speech_.fd(); }, POLLIN,
                [this](long long now) { speechHeard(speech_.speaking(), now); }});
    // Connected before the first words, so that they are not held up by it.
    if (core_.speechOn())
        speech_.open();
    loop.setSideActions([this](const Action& a) { carryOut(a); });
}

void SideSources::speechHeard(bool speaking, long long now)
{
    if (speaking == speaking_)
        return;
    speaking_ = speaking;
    core_.speaking(speaking, now);
}

void SideSources::carryOut(const Action& a)
{
    if (a.kind == Action::ScanStick)
        scanner_.scan(a.path);
    else if (a.kind == Action::ForgetStick)
        scanner_.forget(a.path);
    else if (a.kind == Action::AskLogind && !logind_.busy() && !logind_.start(a.text))
        fprintf(stderr, "tamblin-adapter: cannot ask the system to sleep\n");
    else if (a.kind == Action::Say) {
        speech_.say(a.text, a.signal);
        // A service that failed says no more: the sound comes back up.
        if (speech_.fd() < 0)
            speechHeard(false, monotonicMs());
    } else if (a.kind == Action::SaveSpeech) {
        std::string why;
        if (!speechFile_.empty() && !writePositions(speechFile_, a.text + "\n", &why))
            fprintf(stderr, "tamblin-adapter: %s\n", why.c_str());
    }
}
