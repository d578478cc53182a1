#include "startToMenu.h"

#include "benchUtil.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// The median, how many starts, and where the middle half of them lies: a wide middle half or
// one far from the median says the figure would move from run to run.
std::string startFigure(std::vector<long long> ns)
{
    std::sort(ns.begin(), ns.end());
    char text[96];
    if (ns.empty())
        return "no start";
    snprintf(text, sizeof text, "median %.0f ms (%zu starts; middle half %.0f-%.0f)",
             double(ns[ns.size() / 2]) / 1e6, ns.size(), double(ns[ns.size() / 4]) / 1e6,
             double(ns[ns.size() * 3 / 4]) / 1e6);
    return text;
}

// Every start on the log in the order taken, for a look at how they spread and drift.
void logStarts(const char* player, const char* which, const std::vector<long long>& ns)
{
    std::string line;
    for (long long n : ns)
        line += " " + std::to_string(n / 100000 / 10.0).substr(0, 5);
    fprintf(stderr, "starts %s %s:%s\n", player, which, line.c_str());
}

struct StartTimes
{
    std::vector<uint32_t> menu;         // the strip across the settled start menu
    std::vector<long long> ours, alone; // the starts of the rounds where both showed the menu
    std::vector<double> ratios;         // each round's, ours over the player alone's
};

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// One start, from exec until the strip matches the settled start menu: through the program, or
// the player alone; the time, or -1 when the menu did not show.
long long timeOneStart(MenuBench& bench, ScreenProbe& probe, const std::vector<uint32_t>& menu,
                       const std::string& background, bool alone, StartStages* stages)
{
    if (stages && !alone)
        stages->clear();
    const long long start = monotonicNs();
    const pid_t tamblin = alone ? -1 : bench.startTamblin();
    if (alone)
        bench.startPlayerDirectly(true, {"-menu-startup", background});
    const long long at = probe.waitForMatch(menu, 20000);
    if (alone)
        bench.stopDirectly();
    else
        endProcess(tamblin);
    if (at <= 0)
        return -1;
    if (stages && !alone)
        stages->collect(playerName(bench.player()), start, at);
    if (stages && alone)
        stages->collectAlone(playerName(bench.player()), at - start);
    return at - start;
}

// From exec until the strip matches the settled start menu, through the program and for the
// player alone with the same clip, menu and screen size; both players in each round, and which
// of the two goes first alternates from round to round, so that neither always finds the other's
// leftovers (caches warm, the X server busy freeing the last windows). The ratio is the median of
// each round's: the two starts of a round meet the same load of a shared machine, where the
// medians of the two sides taken apart may meet different loads, and move from run to run by
// more than the figure's precision.
} // namespace

void timeToStartMenu(MenuBench& bench, ScreenProbe& probe, const std::string& background,
                     int starts, StartStages* stages)
{
    std::vector<StartTimes> of;
    for (const Player player : kPlayers) {
        bench.use(player);
        const pid_t first = bench.startTamblin();
        if (!waitForWindow(bench.display, "tamblin", 20000) || !probe.waitForStill(1000, 20000))
            fprintf(stderr, "bench: the start menu did not show on %s\n", playerName(player));
        of.push_back({probe.grab(), {}, {}, {}});
        endProcess(first);
    }
    const std::vector<uint32_t>* shown = &of.back().menu;
    for (int i = 0; i < starts; ++i) {
        for (size_t p = 0; p < of.size(); ++p) {
            bench.use(kPlayers[p]);
            StartTimes& t = of[p];
            long long took[2] = {-1, -1}; // through the program, alone
            for (const bool alone : {i % 2 == 1, i % 2 == 0}) {
                probe.waitForChange(*shown, 2000); // what the last run showed is gone
                took[alone] = timeOneStart(bench, probe, t.menu, background, alone, stages);
                shown = &t.menu;
            }
            if (took[0] > 0 && took[1] > 0) {
                t.ours.push_back(took[0]);
                t.alone.push_back(took[1]);
                t.ratios.push_back(double(took[0]) / double(took[1]));
            }
        }
    }
    for (size_t p = 0; p < of.size(); ++p) {
        const StartTimes& t = of[p];
        logStarts(playerName(kPlayers[p]), "through the program", t.ours);
        logStarts(playerName(kPlayers[p]), "alone", t.alone);
        printRow(std::string(playerName(kPlayers[p])) +
                     ": Time from exec to the start menu on screen vs. the player "
                     "alone with the same clip, menu and screen size",
                 startFigure(t.ours), startFigure(t.alone), formatRatio(median(t.ratios)),
                 "at most 1.1");
    }
    if (stages)
        stages->print();
}
