// Stick to menu: from a USB stick's mount appearing below a removable root (TAMBLIN_REMOVABLE)
// until its entry changes the menu of media on the screen, and from its unmount until the entry
// has gone, through the real window and adapter, for MPlayer and for mpv. Beside it, with the
// same player and the same menu showing, a key (Down, then Up) to the picture: what a mount
// costs over a key.
//
// One stick is plugged in before the run, so that "Play a clip" opens the menu of media (the
// media folder and the sticks); the rounds plug and pull a second one while that menu shows. A
// stick is a tmpfs, filled where the adapter does not look and moved whole below the root, as an
// automounter mounts one; pulling it out is a lazy unmount. The mounts are made in a mount
// namespace of the benchmark's own, which the window, the adapter and the player inherit: so the
// benchmark needs root, and says so otherwise.
#include "benchUtil.h"
#include "menuBench.h"
#include "screenProbe.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <sched.h>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// Why the mounts cannot be made here; empty once the process has a mount namespace of its own,
// private, so that nothing mounted reaches the machine's. Called before any thread starts: a
// thread started before would stay in the machine's namespace.
std::string privateMounts()
{
    if (geteuid() != 0)
        return "mounting needs root (in a private mount namespace, as unshare -m makes one)";
    if (unshare(CLONE_NEWNS) != 0)
        return std::string("no mount namespace of our own: ") + strerror(errno);
    if (mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return std::string("the mounts cannot be made private: ") + strerror(errno);
    return {};
}

// A user's pace, and the player at rest before each change.
const int kBetweenMs = 400;
// Longer than the one second the mount watch is allowed, so that a slow one is measured too.
const int kChangeTimeoutMs = 3000;

struct Sticks
{
    std::string removable, staging, clip;

    // A tmpfs holding the clip, mounted where the adapter does not look; plug() moves it whole
    // below the removable root, where the adapter sees it appear with its files.
    bool fill(const std::string& name) const
    {
        const std::string dir = staging + name;
        mkdir(dir.c_str(), 0755);
        mkdir((removable + name).c_str(), 0755);
        if (mount("stick", dir.c_str(), "tmpfs", 0, "size=16m") != 0)
            return false;
        std::error_code error;
        return std::filesystem::copy_file(clip, dir + "/clip.avi", error);
    }
    bool plug(const std::string& name) const
    {
        return mount((staging + name).c_str(), (removable + name).c_str(), nullptr, MS_MOVE,
                     nullptr) == 0;
    }
    bool pull(const std::string& name) const
    {
        return umount2((removable + name).c_str(), MNT_DETACH) == 0;
    }
};

struct Change
{
    long long first = -1, last = -1; // from the act, ns
    int pictures = 0;                // distinct pictures on the way, the last one included
};

// Polls from the first change until the pixels have been still for quietMs: when the last
// change came, and how many pictures there were, so that one drawn in two steps (a menu closed
// and opened again) shows as such.
Change settle(ScreenProbe& probe, std::vector<uint32_t> picture, long long start, long long first,
              int quietMs)
{
    Change change{first - start, first - start, 1};
    long long since = first;
    while (monotonicNs() - since < quietMs * 1000000LL) {
        usleep(500);
        std::vector<uint32_t> now = probe.grab();
        if (ScreenProbe::differ(now, picture)) {
            picture = std::move(now);
            since = monotonicNs();
            change.last = since - start;
            ++change.pictures;
        }
    }
    return change;
}

struct Series
{
    std::vector<long long> first, last;
    int drawnInSteps = 0; // changes that showed more than one picture
};

// The time to the picture that stays, and to the first change where that came before.
std::string format(const Series& s)
{
    const Percentiles last = percentiles(s.last), first = percentiles(s.first);
    char text[160];
    int n = snprintf(text, sizeof text, "p50 %.1f / p90 %.1f / max %.1f ms (%zu)", last.p50,
                     last.p90, last.max, s.last.size());
    if (s.drawnInSteps > 0)
        snprintf(text + n, sizeof text - size_t(n),
                 "; %d drawn in steps, first change p50 %.1f / p90 %.1f ms", s.drawnInSteps,
                 first.p50, first.p90);
    return text;
}

struct Samples
{
    Series mount, unmount, key;
};

// Does what changes the menu, and measures until the probed pixels change and until they are
// still again.
bool timeChange(ScreenProbe& probe, const char* what, const std::function<bool()>& act,
                Series* series)
{
    usleep(kBetweenMs * 1000);
    const std::vector<uint32_t> before = probe.grab();
    const long long start = monotonicNs();
    if (!act()) {
        fprintf(stderr, "bench: %s failed: %s\n", what, strerror(errno));
        return false;
    }
    const long long changed = probe.waitForChange(before, kChangeTimeoutMs);
    if (changed < 0) {
        fprintf(stderr, "bench: %s did not change the picture\n", what);
        return false;
    }
    const Change change = settle(probe, probe.grab(), start, changed, 200);
    series->first.push_back(change.first);
    series->last.push_back(change.last);
    series->drawnInSteps += change.pictures > 1;
    return true;
}

// The rounds on one player: the menu of media opened with the first stick plugged in; then in
// each round a key down and back up, and the second stick plugged in and pulled out.
Samples measurePlayer(MenuBench& bench, const Sticks& sticks, ScreenProbe& probe, int rounds)
{
    Samples samples;
    if (!sticks.fill("FIRST") || !sticks.plug("FIRST")) {
        fprintf(stderr, "bench: the first stick could not be mounted: %s\n", strerror(errno));
        return samples;
    }
    const pid_t tamblin = bench.startTamblin();
    const Window window = waitForWindow(bench.display, "tamblin", 20000);
    pid_t adapter = 0, player = 0;
    if (!window || !bench.tracedPids(&adapter, &player, 20000) || !probe.waitForStill(500, 20000))
        fprintf(stderr, "bench: the start menu did not show on %s\n", playerName(bench.player()));
    pressKey(bench.display, window, "Return"); // Play a clip: the media folder and the sticks
    probe.waitForStill(500, 20000);

    auto key = [&](const char* name) {
        return [&bench, window, name] {
            pressKey(bench.display, window, name);
            return true;
        };
    };
    for (int i = 0; i < rounds; ++i) {
        timeChange(probe, "Down", key("Down"), &samples.key);
        timeChange(probe, "Up", key("Up"), &samples.key);
        if (!sticks.fill("SECOND")) {
            fprintf(stderr, "bench: the second stick could not be filled\n");
            break;
        }
        const std::vector<uint32_t> without = probe.grab();
        if (!timeChange(
                probe, "the mount", [&] { return sticks.plug("SECOND"); }, &samples.mount) ||
            !timeChange(
                probe, "the unmount", [&] { return sticks.pull("SECOND"); }, &samples.unmount))
            break;
        if (ScreenProbe::differ(probe.grab(), without))
            fprintf(stderr, "bench: %s: the menu did not come back as it was after the unmount\n",
                    playerName(bench.player()));
    }
    endProcess(tamblin);
    sticks.pull("FIRST");
    return samples;
}

void printPlayer(Player player, const Samples& s)
{
    const Percentiles key = percentiles(s.key.last);
    const std::string name = playerName(player);
    const std::string vsKey = " vs. a key (Down, Up) to picture on the same menu";
    auto ratio = [&](const Series& series) {
        const Percentiles p = percentiles(series.last);
        char text[64];
        snprintf(text, sizeof text, "p50 %.3g, p90 %.3g", p.p50 / key.p50, p.p90 / key.p90);
        return std::string(text);
    };
    printRow(name +
                 ": USB stick mounted below the removable root to its entry on screen, in the "
                 "menu of media" +
                 vsKey,
             format(s.mount), format(s.key), ratio(s.mount), "within 1 s");
    printRow(name + ": USB stick unmounted to its entry gone from the screen" + vsKey,
             format(s.unmount), format(s.key), ratio(s.unmount), "");
}

} // namespace

int main(int argc, char** argv)
{
    const std::string notPrivate = privateMounts();
    const int rounds = std::max(1, argc > 1 ? atoi(argv[1]) : 20);
    if (!notPrivate.empty()) {
        fprintf(stderr, "bench: stick to menu skipped: %s\n", notPrivate.c_str());
        return 0;
    }
    keepTableApart();
    MenuBench bench;
    if (!bench.prepare())
        return 1;
    Sticks sticks{bench.scratch + "/removable/", bench.scratch + "/elsewhere/",
                  bench.media + "clip.avi"};
    mkdir(sticks.removable.c_str(), 0755);
    mkdir(sticks.staging.c_str(), 0755);
    setenv("TAMBLIN_REMOVABLE", sticks.removable.c_str(), 1);
    std::unique_ptr<ScreenProbe> probe(menuProbe(bench.display));
    if (!probe->ok()) {
        fprintf(stderr, "bench: no shared memory with the X server\n");
        return 1;
    }
    std::vector<Samples> of;
    for (const Player player : kPlayers) {
        bench.use(player);
        of.push_back(measurePlayer(bench, sticks, *probe, rounds));
    }
    for (size_t i = 0; i < of.size(); ++i)
        printPlayer(kPlayers[i], of[i]);
    probe.reset();
    bench.cleanUp();
    return 0;
}
