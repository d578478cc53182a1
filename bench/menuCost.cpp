// What the start menu and a clip cost: CPU at rest under the start menu, CPU while a clip plays,
// and the time from exec to the start menu on screen; for MPlayer and for mpv, each beside the
// same player alone.
#include "benchUtil.h"
#include "cpuShares.h"
#include "menuBench.h"
#include "screenProbe.h"
#include "startToMenu.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

const int kSettleMs = 3000;
const int kMeasureSeconds = 10;
// Playback costs vary from one start of the player to the next, and with what else the machine
// runs, by more than the difference sought: many shorter rounds, interleaved, and their
// medians.
const int kPlayingSeconds = 6;
const int kPlayingRounds = 10;

// The program's processes at rest or playing, measured once the picture has settled.
std::vector<Share> tamblinCpu(MenuBench& bench, const std::vector<std::string>& args,
                              int seconds = kMeasureSeconds)
{
    const pid_t tamblin = bench.startTamblin(args);
    pid_t adapter = 0, player = 0;
    std::vector<Share> shares;
    if (bench.tracedPids(&adapter, &player, 20000)) {
        usleep(kSettleMs * 1000);
        shares = measureCpu(
            withServer({{"window", tamblin}, {"adapter", adapter}, {"player", player}}), seconds);
    } else {
        fprintf(stderr, "bench: the player did not start\n");
    }
    endProcess(tamblin);
    return shares;
}

std::vector<Share> playerAloneCpu(MenuBench& bench, const std::string& file, bool background,
                                  int seconds = kMeasureSeconds)
{
    int input;
    const pid_t player = bench.startPlayerAlone(file, background, &input);
    usleep(kSettleMs * 1000);
    const std::vector<Share> shares = measureCpu(withServer({{"player", player}}), seconds);
    endProcess(player);
    close(input);
    return shares;
}

// A ratio, unless the baseline costs next to nothing: then what the program adds.
std::string ratioOrAdded(double ours, double theirs)
{
    if (theirs >= 0.01)
        return formatRatio(ours / theirs);
    const double added = ours - theirs;
    char text[64];
    snprintf(text, sizeof text, "adds %.2f%% of a core",
             added > -0.005 && added < 0.005 ? 0 : added);
    return text;
}

std::string figure(Player player, const std::string& text)
{
    return std::string(playerName(player)) + ": " + text;
}

void cpuAtRest(MenuBench& bench, Player player, const std::string& background)
{
    bench.use(player);
    const std::vector<Share> rest = tamblinCpu(bench, {});
    const std::vector<Share> alone = playerAloneCpu(bench, background, true);
    printRow(figure(player, "CPU at rest under the start menu, " + std::to_string(kMeasureSeconds) +
                                " s, vs. the player alone showing the same clip"),
             formatShares(rest), formatShares(alone),
             ratioOrAdded(programTotal(rest), programTotal(alone)),
             "the program at most 2% of a core");
}

struct Clip
{
    std::string size; // "1280x720"
    std::string file;
};

// Rounds of one clip on one player: through the program and alone, one right after the other.
struct PlayingRounds
{
    std::vector<std::vector<Share>> ours, alone;
    std::vector<double> ratios; // of each round's pair
};

// Each clip on each player, through the program and alone, in interleaved rounds; which of the
// two goes first alternates, so that neither always finds the machine in the same state.
void cpuPlaying(MenuBench& bench, const std::vector<Clip>& clips, int rounds)
{
    const size_t players = sizeof kPlayers / sizeof kPlayers[0];
    std::vector<PlayingRounds> of(clips.size() * players);
    double lowest = loadAverage(), highest = lowest;
    for (int round = 0; round < rounds; ++round) {
        for (size_t c = 0; c < clips.size(); ++c) {
            for (size_t p = 0; p < players; ++p) {
                bench.use(kPlayers[p]);
                PlayingRounds& r = of[c * players + p];
                std::vector<Share> ours, alone;
                if (round % 2 == 0)
                    ours = tamblinCpu(bench, {clips[c].file}, kPlayingSeconds);
                alone = playerAloneCpu(bench, clips[c].file, false, kPlayingSeconds);
                if (round % 2 == 1)
                    ours = tamblinCpu(bench, {clips[c].file}, kPlayingSeconds);
                r.ours.push_back(ours);
                r.alone.push_back(alone);
                if (!ours.empty() && programTotal(alone) > 0)
                    r.ratios.push_back(programTotal(ours) / programTotal(alone));
                const double load = loadAverage();
                lowest = std::min(lowest, load);
                highest = std::max(highest, load);
            }
        }
    }
    fprintf(stderr, "bench: load average %.2f to %.2f while the playing rounds ran\n", lowest,
            highest);
    for (size_t c = 0; c < clips.size(); ++c) {
        for (size_t p = 0; p < players; ++p) {
            const PlayingRounds& r = of[c * players + p];
            printRow(figure(kPlayers[p], "CPU playing a " + clips[c].size +
                                             " H.264 clip at 25 fps, medians of " +
                                             std::to_string(rounds) + " rounds of " +
                                             std::to_string(kPlayingSeconds) +
                                             " s (the ratio: of the rounds' ratios), vs. the "
                                             "player alone playing it"),
                     formatShares(medianShares(r.ours)), formatShares(medianShares(r.alone)),
                     formatRatio(median(r.ratios)), "at most 1.05");
        }
    }
}

} // namespace

// Arguments: starts to the start menu (10); "start" or "playing" for those figures alone, or
// "trace" for the start and where its time goes; rounds of playing (10).
int main(int argc, char** argv)
{
    const int starts = argc > 1 ? atoi(argv[1]) : 10;
    const std::string only = argc > 2 ? argv[2] : "";
    const bool traced = only == "trace";
    const bool onlyStart = traced || only == "start", onlyPlaying = only == "playing";
    const int rounds = argc > 3 ? std::max(1, atoi(argv[3])) : kPlayingRounds;
    keepTableApart();
    MenuBench bench;
    if (!bench.prepare())
        return 1;
    const std::string background = std::string(APP_DIR) + "/background.avi";

    if (!onlyStart) {
        for (const Player player : kPlayers) {
            if (!onlyPlaying)
                cpuAtRest(bench, player, background);
        }

        // A user's clips: moving pictures in H.264 at 25 frames a second.
        std::vector<Clip> clips;
        for (const char* size : {"1280x720", "1920x1080"}) {
            const std::string file = bench.scratch + "/playing-" + size + ".mp4";
            const std::string make = std::string("ffmpeg -loglevel error -y -f lavfi -i "
                                                 "testsrc=size=") +
                                     size +
                                     ":rate=25:duration=30 -c:v libx264 -preset veryfast "
                                     "-pix_fmt yuv420p " +
                                     file;
            if (system(make.c_str()) != 0)
                return 1;
            clips.push_back({size, file});
        }
        cpuPlaying(bench, clips, rounds);
    }

    // Time to the start menu: the settled picture of the menu's strip is the mark.
    if (onlyPlaying) {
        bench.cleanUp();
        return 0;
    }
    std::unique_ptr<ScreenProbe> probe(menuProbe(bench.display));
    if (!probe->ok())
        fprintf(stderr, "bench: no shared memory with the X server\n");
    else if (traced) {
        StartStages stages(bench.scratch + "/start-trace");
        timeToStartMenu(bench, *probe, background, starts, &stages);
    } else {
        timeToStartMenu(bench, *probe, background, starts, nullptr);
    }
    probe.reset();
    bench.cleanUp();
    return 0;
}
