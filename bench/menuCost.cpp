// What the start menu and a clip cost: CPU at rest under the start menu, CPU while a clip plays,
// and the time from exec to the start menu on screen; for MPlayer and for mpv, each beside the
// same player alone.
#include "benchUtil.h"
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

std::vector<Share> playerAloneCpu(MenuBench& bench, const std::string& file, bool background)
{
    int input;
    const pid_t player = bench.startPlayerAlone(file, background, &input);
    usleep(kSettleMs * 1000);
    const std::vector<Share> shares = measureCpu(withServer({{"player", player}}));
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
    double ours, theirs;
    const std::string rest = format(tamblinCpu(bench, {}), &ours);
    const std::string alone = format(playerAloneCpu(bench, background, true), &theirs);
    printRow(figure(player, "CPU at rest under the start menu, " + std::to_string(kMeasureSeconds) +
                                " s, vs. the player alone showing the same clip"),
             rest, alone, ratioOrAdded(ours, theirs), "the program at most 2% of a core");
}

struct Clip
{
    std::string size; // "1280x720"
    std::string file;
};

// Each clip on each player, through the program and alone, in interleaved rounds.
void cpuPlaying(MenuBench& bench, const std::vector<Clip>& clips, int rounds)
{
    const size_t players = sizeof kPlayers / sizeof kPlayers[0];
    std::vector<std::vector<Share>> ours(clips.size() * players), alone(ours.size());
    for (int round = 0; round < rounds; ++round) {
        for (size_t c = 0; c < clips.size(); ++c) {
            for (size_t p = 0; p < players; ++p) {
                bench.use(kPlayers[p]);
                accumulate(&ours[c * players + p], tamblinCpu(bench, {clips[c].file}));
                accumulate(&alone[c * players + p], playerAloneCpu(bench, clips[c].file, false));
            }
        }
    }
    for (size_t c = 0; c < clips.size(); ++c) {
        for (size_t p = 0; p < players; ++p) {
            std::vector<Share>& o = ours[c * players + p];
            std::vector<Share>& a = alone[c * players + p];
            divide(&o, rounds);
            divide(&a, rounds);
            double oursTotal, aloneTotal;
            const std::string playing = format(o, &oursTotal);
            const std::string playingAlone = format(a, &aloneTotal);
            printRow(figure(kPlayers[p], "CPU playing a " + clips[c].size +
                                             " H.264 clip at 25 fps, " + std::to_string(rounds) +
                                             (rounds == 1 ? " round of " : " rounds of ") +
                                             std::to_string(kMeasureSeconds) +
                                             " s, vs. the player alone playing it"),
                     playing, playingAlone, formatRatio(oursTotal / aloneTotal), "at most 1.1");
        }
    }
}

} // namespace

// Arguments: starts to the start menu (10), "start" for that figure alone or "trace" for that
// figure and where its time goes, rounds of playing (3).
int main(int argc, char** argv)
{
    const int starts = argc > 1 ? atoi(argv[1]) : 10;
    const bool traced = argc > 2 && std::string(argv[2]) == "trace";
    const bool onlyStart = traced || (argc > 2 && std::string(argv[2]) == "start");
    const int rounds = argc > 3 ? std::max(1, atoi(argv[3])) : kPlayingRounds;
    keepTableApart();
    MenuBench bench;
    if (!bench.prepare())
        return 1;
    const std::string background = std::string(APP_DIR) + "/background.avi";

    if (!onlyStart) {
        for (const Player player : kPlayers)
            cpuAtRest(bench, player, background);

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
