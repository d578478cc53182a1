// Key to picture: from an XTest key press until the menu's pixels change on the screen, on the
// start menu and on a menu opened over a playing clip; beside the same player and menu driven
// directly (the same command written to its slave input), and the display's refresh floor.
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

struct Step
{
    const char* key;
    const char* command;
};

// Every step changes the menu on screen: a move, into the clip list and back, hide and open,
// and back from a menu opened over the same menu (which the player shows again).
const Step kStartMenu[] = {{"Down", "menu down"}, {"Up", "menu up"},     {"Return", "menu ok"},
                           {"F2", "menu cancel"}, {"F2", "menu cancel"}, {"F1", "set_menu main"},
                           {"Down", "menu down"}, {"F2", "menu cancel"}};
// Over the clip, chosen from the clip list: the menus below are the clip list and the main menu.
const Step kOverClipFirst[] = {{"F1", "set_menu main"},
                               {"Down", "menu down"},
                               {"F2", "menu cancel"},
                               {"F2", "menu cancel"},
                               {"F2", "menu cancel"}};
const Step kOverClip[] = {
    {"F1", "set_menu main"}, {"Down", "menu down"}, {"F2", "menu cancel"}, {"F2", "menu cancel"}};

// A user's pace: the player has come to rest before the next key.
const int kBetweenKeysMs = 400;

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

// Sends each step in turn, by key or by command, and measures until the strip changes.
template <size_t N>
void measure(const Step (&steps)[N], int presses, ScreenProbe& probe,
             const std::function<void(const Step&)>& send, std::vector<long long>* samples)
{
    for (int i = 0; i < presses; ++i) {
        const Step& step = steps[size_t(i) % N];
        usleep(kBetweenKeysMs * 1000);
        const std::vector<uint32_t> before = probe.grab();
        const long long start = nowNs();
        send(step);
        const long long changed = probe.waitForChange(before, 2000);
        if (changed < 0)
            fprintf(stderr, "bench: %s did not change the picture\n", step.key);
        else
            samples->push_back(changed - start);
        if (getenv("BENCH_VERBOSE"))
            fprintf(stderr, "bench: %s %.1f ms\n", step.key, double(changed - start) / 1e6);
    }
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
    // Whole rounds on the start menu, so that it ends where it began; the rest over the clip.
    const int startPresses = std::max(8, presses * 2 / 3 / 8 * 8);
    const int clipPresses = std::max(5, presses - startPresses);
    std::vector<long long> oursStart, oursClip, directStart, directClip;
    auto run = [&](const std::function<void(const Step&)>& send,
                   const std::function<void()>& clipPlaying, std::vector<long long>* start,
                   std::vector<long long>* clip) {
        measure(kStartMenu, startPresses, *probe, send, start);
        usleep(kBetweenKeysMs * 1000);
        send({"Return", "menu ok"}); // Play a clip
        usleep(kBetweenKeysMs * 1000);
        send({"Return", "menu ok"}); // the clip
        clipPlaying();
        measure(kOverClipFirst, 5, *probe, send, clip);
        measure(kOverClip, clipPresses - 5, *probe, send, clip);
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
        &oursStart, &oursClip);
    endProcess(tamblin);

    // The same player, menu and clips, with the commands written to its slave input.
    int input = -1;
    const pid_t direct = bench.startPlayerDirectly(
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
        &directStart, &directClip);
    endProcess(direct);

    const Percentiles os = percentiles(oursStart), ds = percentiles(directStart);
    const Percentiles oc = percentiles(oursClip), dc = percentiles(directClip);
    char ratio[64];
    snprintf(ratio, sizeof ratio, "p50 %.2f, p90 %.2f", os.p50 / ds.p50, os.p90 / ds.p90);
    printRow(
        "Key to picture, start menu (" + std::to_string(oursStart.size()) +
            " keys: Down, Up, Return, F2 back, F2 hide, F1 open) vs. the player driven directly; "
            "refresh floor 16.7 ms",
        format(os), format(ds), ratio, "p50 at most 33, p90 at most 50 ms");
    snprintf(ratio, sizeof ratio, "p50 %.2f, p90 %.2f", oc.p50 / dc.p50, oc.p90 / dc.p90);
    printRow("Key to picture, menu over a playing clip (" + std::to_string(oursClip.size()) +
                 " keys: F1 open, Down, F2 back, F2 hide) vs. the player driven directly; refresh "
                 "floor 16.7 ms",
             format(oc), format(dc), ratio, "p50 at most 33, p90 at most 50 ms");
    probe.reset();
    bench.cleanUp();
    return 0;
}
