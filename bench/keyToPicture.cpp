// Key to picture: from an XTest key press until the menu's pixels change on the screen, on the
// start menu, on a menu opened over a playing clip, and for the key that opens the menu while
// the clip plays; for MPlayer and for mpv, each beside the same player and menu driven
// directly (MPlayer: the same command written to its slave input; mpv: the same menu drawn as
// the adapter draws it), and the display's refresh floor.
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

// Waits for what a step needs, but not for ever: a player that does not get there is said.
void waitUntil(const std::function<bool()>& done, const char* what)
{
    const long long start = monotonicNs();
    while (!done()) {
        if (msSince(start) > 20000) {
            fprintf(stderr, "bench: %s did not happen\n", what);
            return;
        }
        usleep(1000);
    }
}

struct Figures
{
    Samples ours, direct;
};

// The rounds on one player: through the window and the adapter, then the player driven
// directly.
Figures measurePlayer(MenuBench& bench, ScreenProbe& probe, int startPresses, int clipPresses)
{
    Figures figures;
    auto run = [&](const std::function<void(const Step&)>& send,
                   const std::function<void()>& clipPlaying, Samples* samples) {
        measure(kStartMenu, startPresses, probe, send, samples);
        usleep(kBetweenKeysMs * 1000);
        send({"Return", "menu ok", OnStartMenu}); // Play a clip
        usleep(kBetweenKeysMs * 1000);
        send({"Return", "menu ok", OnStartMenu}); // the clip
        clipPlaying();
        measure(kOverClipFirst, 4, probe, send, samples);
        measure(kOverClip, clipPresses, probe, send, samples);
    };

    // Through the window, the adapter and the player.
    const pid_t tamblin = bench.startTamblin();
    const Window window = waitForWindow(bench.display, "tamblin", 20000);
    pid_t adapter = 0, player = 0;
    if (!window || !bench.tracedPids(&adapter, &player, 20000) || !probe.waitForStill(500, 20000))
        fprintf(stderr, "bench: the start menu did not show on %s\n", playerName(bench.player()));
    run([&](const Step& s) { pressKey(bench.display, window, s.key); },
        [&] {
            // The adapter closes the menu once the clip plays.
            waitUntil([&] { return bench.traceCount("> menu hide") >= 1; }, "the clip's start");
            usleep(1000000);
        },
        &figures.ours);
    endProcess(tamblin);

    // The same player, menu and clips, driven directly with the same commands.
    bench.startPlayerDirectly(false, {"-menu-startup", std::string(APP_DIR) + "/background.avi"});
    waitUntil([&] { return bench.filesStarted() >= 1; }, "the background's start");
    bench.holdStillDirectly();
    probe.waitForStill(500, 20000);
    run([&](const Step& s) { bench.sendDirectly(s.command); },
        [&] {
            waitUntil([&] { return bench.filesStarted() >= 2; }, "the clip's start");
            bench.sendDirectly("menu hide");
            usleep(1000000);
        },
        &figures.direct);
    bench.stopDirectly();
    return figures;
}

void printComparison(Player player, const std::string& figure, const std::vector<long long>& ours,
                     const std::vector<long long>& direct, const std::string& target)
{
    const Percentiles o = percentiles(ours), d = percentiles(direct);
    char ratio[64];
    snprintf(ratio, sizeof ratio, "p50 %.2f, p90 %.2f", o.p50 / d.p50, o.p90 / d.p90);
    printRow(std::string(playerName(player)) + ": " + figure + " (" + std::to_string(ours.size()) +
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
    std::vector<Figures> of;
    for (const Player player : kPlayers) {
        bench.use(player);
        of.push_back(measurePlayer(bench, *probe, startPresses, clipPresses));
    }

    // MPlayer redraws a new menu with its next pass of 20 ms while paused; a paused mpv draws
    // the overlay at once.
    auto paused = [](Player p) {
        return p == Player::Mpv ? std::string("within one refresh (16.7 ms)")
                                : std::string("p50 at most 33, p90 at most 50 ms");
    };
    for (size_t i = 0; i < of.size(); ++i)
        printComparison(kPlayers[i],
                        "Key to picture on the start menu (Down, Up, Return into a submenu, F2 "
                        "back, F2 hide, F1 open)",
                        of[i].ours.of[OnStartMenu], of[i].direct.of[OnStartMenu],
                        paused(kPlayers[i]));
    for (size_t i = 0; i < of.size(); ++i)
        printComparison(kPlayers[i],
                        "Key to picture on a menu opened over a playing clip (Return into a "
                        "submenu, F2 back, Down, F2 hide)",
                        of[i].ours.of[OnMenuOverClip], of[i].direct.of[OnMenuOverClip],
                        paused(kPlayers[i]));
    for (size_t i = 0; i < of.size(); ++i)
        printComparison(kPlayers[i],
                        std::string("F1 opening the menu while a 25 fps clip plays: ") +
                            (kPlayers[i] == Player::Mpv
                                 ? "the player draws the change with a frame"
                                 : "the player reads its input once a frame"),
                        of[i].ours.of[OpeningOverPlayingClip],
                        of[i].direct.of[OpeningOverPlayingClip], "one to two frames (40 to 80 ms)");
    probe.reset();
    bench.cleanUp();
    return 0;
}
