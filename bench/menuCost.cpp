// What the start menu and a clip cost: CPU at rest under the start menu, CPU while a clip plays,
// and the time from exec to the start menu on screen; each beside Debian's MPlayer alone.
#include "benchUtil.h"
#include "menuBench.h"
#include "screenProbe.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

const int kSettleMs = 3000;
const int kMeasureSeconds = 10;
// Playback costs vary from run to run by more than the difference sought: rounds, interleaved.
const int kPlayingRounds = 3;

struct Share
{
    std::string name;
    pid_t pid;
    double before = 0, percent = 0;
};

// Adds the shares of another round of the same processes.
void accumulate(std::vector<Share>* total, const std::vector<Share>& round)
{
    if (total->empty()) {
        *total = round;
        return;
    }
    for (size_t i = 0; i < total->size() && i < round.size(); ++i)
        (*total)[i].percent += round[i].percent;
}

void divide(std::vector<Share>* shares, int by)
{
    for (Share& s : *shares)
        s.percent /= by;
}

// CPU of each process over the same seconds, in percent of one core.
std::vector<Share> measureCpu(std::vector<Share> shares)
{
    for (Share& s : shares)
        s.before = cpuSeconds(s.pid);
    sleep(kMeasureSeconds);
    for (Share& s : shares)
        s.percent = (cpuSeconds(s.pid) - s.before) * 100.0 / kMeasureSeconds;
    return shares;
}

// The processes of the program (all but the X server) together, and each on its own.
std::string format(const std::vector<Share>& shares, double* programTotal)
{
    std::string text;
    double total = 0;
    for (const Share& s : shares) {
        char part[64];
        snprintf(part, sizeof part, "%s%s %.2f%%", text.empty() ? "" : ", ", s.name.c_str(),
                 s.percent);
        text += part;
        if (s.name != "X server")
            total += s.percent;
    }
    char sum[64];
    snprintf(sum, sizeof sum, "; together %.2f%% of a core", total);
    *programTotal = total;
    return text + sum;
}

std::vector<Share> withServer(std::vector<Share> shares)
{
    if (const pid_t x = xServerPid())
        shares.push_back({"X server", x});
    return shares;
}

// The program's processes at rest or playing, measured once the picture has settled.
std::vector<Share> tamblinCpu(MenuBench& bench, const std::vector<std::string>& args)
{
    const pid_t tamblin = bench.startTamblin(args);
    pid_t adapter = 0, player = 0;
    std::vector<Share> shares;
    if (bench.tracedPids(&adapter, &player, 20000)) {
        usleep(kSettleMs * 1000);
        shares =
            measureCpu(withServer({{"window", tamblin}, {"adapter", adapter}, {"player", player}}));
    } else {
        fprintf(stderr, "bench: the player did not start\n");
    }
    endProcess(tamblin);
    return shares;
}

std::vector<Share> playerAloneCpu(MenuBench& bench, const std::vector<std::string>& argv)
{
    int input;
    const pid_t player = bench.startPlayerAlone(argv, &input);
    usleep(kSettleMs * 1000);
    const std::vector<Share> shares = measureCpu(withServer({{"player", player}}));
    endProcess(player);
    close(input);
    return shares;
}

double medianMs(std::vector<long long> ns)
{
    std::sort(ns.begin(), ns.end());
    return ns.empty() ? 0 : double(ns[ns.size() / 2]) / 1e6;
}

} // namespace

int main(int argc, char** argv)
{
    const int starts = argc > 1 ? atoi(argv[1]) : 10;
    // "start": only the time to the start menu.
    const bool onlyStart = argc > 2 && std::string(argv[2]) == "start";
    keepTableApart();
    MenuBench bench;
    if (!bench.prepare())
        return 1;
    const std::string background = std::string(APP_DIR) + "/background.avi";
    const std::string clip = bench.scratch + "/playing.mp4";
    // A user's clip: moving pictures in H.264, 1280x720 at 25 frames a second.
    const std::string make = "ffmpeg -loglevel error -y -f lavfi -i "
                             "testsrc=size=1280x720:rate=25:duration=30 -c:v libx264 "
                             "-preset veryfast -pix_fmt yuv420p " +
                             clip;
    if (system(make.c_str()) != 0)
        return 1;

    double ours, theirs;
    if (!onlyStart) {
        const std::string rest = format(tamblinCpu(bench, {}), &ours);
        const std::string alone = format(playerAloneCpu(bench, {"-fs", "-zoom", "-vo", "x11", "-ao",
                                                                "null", "-loop", "0", background}),
                                         &theirs);
        printRow("CPU at rest under the start menu, " + std::to_string(kMeasureSeconds) +
                     " s, vs. the player alone showing the same clip",
                 rest, alone, formatRatio(ours / theirs), "the program at most 2% of a core");

        std::vector<Share> playingCpu, playingAloneCpu;
        for (int round = 0; round < kPlayingRounds; ++round) {
            accumulate(&playingCpu, tamblinCpu(bench, {clip}));
            accumulate(&playingAloneCpu,
                       playerAloneCpu(bench, {"-fs", "-zoom", "-vo", "x11", "-ao", "null", clip}));
        }
        divide(&playingCpu, kPlayingRounds);
        divide(&playingAloneCpu, kPlayingRounds);
        const std::string playing = format(playingCpu, &ours);
        const std::string playingAlone = format(playingAloneCpu, &theirs);
        printRow("CPU playing a 1280x720 H.264 clip at 25 fps, " + std::to_string(kPlayingRounds) +
                     " rounds of " + std::to_string(kMeasureSeconds) +
                     " s, vs. the player alone playing it",
                 playing, playingAlone, formatRatio(ours / theirs), "at most 1.1");
    }

    // Time to the start menu: the settled picture of the menu's strip is the mark.
    std::unique_ptr<ScreenProbe> probe(menuProbe(bench.display));
    const pid_t first = bench.startTamblin();
    if (!probe->ok() || !waitForWindow(bench.display, "tamblin", 20000) ||
        !probe->waitForStill(1000, 20000))
        fprintf(stderr, "bench: the start menu did not show\n");
    const std::vector<uint32_t> menu = probe->grab();
    endProcess(first);
    std::vector<long long> oursNs, aloneNs;
    for (int i = 0; i < starts; ++i) {
        probe->waitForChange(menu, 2000); // the screen is black again
        long long start = monotonicNs();
        const pid_t tamblin = bench.startTamblin();
        long long shown = probe->waitForMatch(menu, 20000);
        if (shown > 0)
            oursNs.push_back(shown - start);
        endProcess(tamblin);

        probe->waitForChange(menu, 2000);
        int input;
        start = monotonicNs();
        const pid_t player = bench.startPlayerDirectly(true, &input, {"-menu-startup", background});
        shown = probe->waitForMatch(menu, 20000);
        if (shown > 0)
            aloneNs.push_back(shown - start);
        endProcess(player);
        close(input);
    }
    char a[64], b[64];
    snprintf(a, sizeof a, "median %.0f ms (%zu starts)", medianMs(oursNs), oursNs.size());
    snprintf(b, sizeof b, "median %.0f ms (%zu starts)", medianMs(aloneNs), aloneNs.size());
    printRow("Time from exec to the start menu on screen vs. the player alone with the same clip, "
             "menu and screen size",
             a, b, formatRatio(medianMs(oursNs) / medianMs(aloneNs)), "at most 1.2");
    probe.reset();
    bench.cleanUp();
    return 0;
}
