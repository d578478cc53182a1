// Key to picture: from an XTest key press until the menu's pixels change on the screen, on the
// start menu, on a menu opened over a playing clip, and for the key that opens the menu while
// the clip plays; beside the same player and menu driven directly (the same command written to
// its slave input), and the display's refresh floor.
#include "benchUtil.h"
#include "menuBench.h"
#include "screenProbe.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <unistd.h>

namespace {

enum Kind { OnStartMenu, OnMenuOverClip, OpeningOverPlayingClip };

struct Step
{
    const char* key;
    const char* command;
    Kind kind;
};

// Every step changes the menu on screen, and each round ends where it began. The player shows
// a menu below again when the one over it goes, so a round never goes back to a menu that
// looks the same as the one it leaves.
const Step kStartMenu[] = {{"Down", "menu down", OnStartMenu}, {"Up", "menu up", OnStartMenu},
                           {"Return", "menu ok", OnStartMenu}, {"F2", "menu cancel", OnStartMenu},
                           {"F2", "menu cancel", OnStartMenu}, {"F1", "set_menu main", OnStartMenu},
                           {"Down", "menu down", OnStartMenu}, {"F2", "menu cancel", OnStartMenu}};
// Once the clip chosen from the clip list plays, the menus below are the clip list and the
// main menu.
const Step kOverClipFirst[] = {{"F1", "set_menu main", OpeningOverPlayingClip},
                               {"F2", "menu cancel", OnMenuOverClip},
                               {"F2", "menu cancel", OnMenuOverClip},
                               {"F2", "menu cancel", OnMenuOverClip}};
const Step kOverClip[] = {
    {"F1", "set_menu main", OpeningOverPlayingClip}, {"Return", "menu ok", OnMenuOverClip},
    {"F2", "menu cancel", OnMenuOverClip},           {"Down", "menu down", OnMenuOverClip},
    {"F2", "menu cancel", OnMenuOverClip},           {"F2", "menu cancel", OnMenuOverClip}};

// A user's pace: the player has come to rest before the next key.
const int kBetweenKeysMs = 400;

struct Samples
{
    std::vector<long long> of[3];
};

struct Percentiles
{
    double p50, p90, max;
};

Percentiles percentiles(std::vector<long long> ns)
{
    if (ns.empty())
        return {0, 0, 0};
    std::sort(ns.begin(), ns.end());
    auto at = [&](double q) { return double(ns[size_t(q * double(ns.size() - 1))]) / 1e6; };
    return {at(0.5), at(0.9), double(ns.back()) / 1e6};
}

std::string format(const Percentiles& p)
{
    char text[96];
    snprintf(text, sizeof text, "p50 %.1f / p90 %.1f / max %.1f ms", p.p50, p.p90, p.max);
    return text;
}

// Sends the steps in turn, by key or by command, and measures until the strip changes.
template <size_t N>
void measure(const Step (&steps)[N], int presses, ScreenProbe& probe,
             const std::function<void(const Step&)>& send, Samples* samples)
{
    for (int i = 0; i < presses; ++i) {
        const Step& step = steps[size_t(i) % N];
        usleep(kBetweenKeysMs * 1000);
        const std::vector<uint32_t> before = probe.grab();
        const long long start = monotonicNs();
        send(step);
        const long long changed = probe.waitForChange(before, 2000);
        if (changed < 0)
            fprintf(stderr, "bench: %s did not change the picture\n", step.key);
        else
            samples->of[step.kind].push_back(changed - start);
    }
}

void printComparison(const std::string& figure, const std::vector<long long>& ours,
                     const std::vector<long long>& direct, const std::string& target)
{
    const Percentiles o = percentiles(ours), d = percentiles(direct);
    char ratio[64];
    snprintf(ratio, sizeof ratio, "p50 %.2f, p90 %.2f", o.p50 / d.p50, o.p90 / d.p90);
    printRow(figure + " (" + std::to_string(ours.size()) +
                 " keys) vs. the player driven directly; refresh floor 16.7 ms",
             format(o), format(d), ratio, target);
}

} // namespace

int main(int argc, char** argv)
{
    const int presses = argc > 1 ? atoi(argv[1]) : 100;
    keepTableApart();
    MenuBench bench;
    if (!bench.prepare())
        return 1;
    std::unique_ptr<ScreenProbe> probe(menuProbe(bench.display));
    if (!probe->ok()) {
        fprintf(stderr, "bench: no shared memory with the X server\n");
        return 1;
    }
    // Whole rounds, so that each part ends where it began: half on the start menu, half over
    // the clip.
    const int startPresses = std::max(8, presses / 2 / 8 * 8);
    const int clipPresses = std::max(6, (presses - startPresses - 4) / 6 * 6);
    Samples ours, direct;
    auto run = [&](const std::function<void(const Step&)>& send,
                   const std::function<void()>& clipPlaying, Samples* samples) {
        measure(kStartMenu, startPresses, *probe, send, samples);
        usleep(kBetweenKeysMs * 1000);
        send({"Return", "menu ok", OnStartMenu}); // Play a clip
        usleep(kBetweenKeysMs * 1000);
        send({"Return", "menu ok", OnStartMenu}); // the clip
        clipPlaying();
        measure(kOverClipFirst, 4, *probe, send, samples);
        measure(kOverClip, clipPresses, *probe, send, samples);
    };

    // Through the window, the adapter and the player.
    const pid_t tamblin = bench.startTamblin();
    const Window window = waitForWindow(bench.display, "tamblin", 20000);
    pid_t adapter = 0, player = 0;
    if (!window || !bench.tracedPids(&adapter, &player, 20000) || !probe->waitForStill(500, 20000))
        fprintf(stderr, "bench: the start menu did not show\n");
    run([&](const Step& s) { pressKey(bench.display, window, s.key); },
        [&] {
            // The adapter closes the menu once the clip plays.
            while (bench.traceCount("> menu hide") < 1)
                usleep(1000);
            usleep(1000000);
        },
        &ours);
    endProcess(tamblin);

    // The same player, menu and clips, with the commands written to its slave input.
    int input = -1;
    const pid_t player2 = bench.startPlayerDirectly(
        false, &input, {"-menu-startup", std::string(APP_DIR) + "/background.avi"});
    while (bench.playingLines() < 1)
        usleep(1000);
    writeLine(input, "pause"); // the still background, as the adapter holds it
    probe->waitForStill(500, 20000);
    run([&](const Step& s) { writeLine(input, s.command); },
        [&] {
            while (bench.playingLines() < 2)
                usleep(1000);
            writeLine(input, "menu hide");
            usleep(1000000);
        },
        &direct);
    endProcess(player2);

    const std::string target = "p50 at most 33, p90 at most 50 ms";
    printComparison("Key to picture on the start menu (Down, Up, Return into a submenu, F2 back, "
                    "F2 hide, F1 open)",
                    ours.of[OnStartMenu], direct.of[OnStartMenu], target);
    printComparison("Key to picture on a menu opened over a playing clip (Return into a submenu, "
                    "F2 back, Down, F2 hide)",
                    ours.of[OnMenuOverClip], direct.of[OnMenuOverClip], target);
    printComparison("F1 opening the menu while a 25 fps clip plays: the player reads its input "
                    "once a frame",
                    ours.of[OpeningOverPlayingClip], direct.of[OpeningOverPlayingClip],
                    "one to two frames (40 to 80 ms)");
    probe.reset();
    bench.cleanUp();
    return 0;
}
