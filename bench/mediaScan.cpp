// The adapter's start with a large media collection: 10,000 clips in 500 folders, scanned and
// written as the player's menu, beside the same start with an empty media folder. The player
// is a stand-in that notes when it starts and ends at once, so that the figures are the
// adapter's own: to the player's start (what the first picture waits for), and to the adapter's
// end. Each start is measured with nothing in the user's cache folder (the first start, or one
// after a change), and with what the start before kept there (the starts after). The window is
// 1920x1080, a folder in ten has a Japanese name and every clip a long one, so that the font is
// chosen for CJK and names are measured and cut. Then the font's share of it, in-process: its
// choice through fontconfig, the names' measures and MPlayer's menu definition, beside building
// the menus alone.
#include "benchUtil.h"
#include "mediaFolders.h"
#include "mediaMenu.h"
#include "mplayerMenu.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

std::string scratch;

struct Start
{
    long long player = 0, end = 0; // ns from the adapter's spawn
};

// One start on the media folder, with that cache folder; emptied first for a start without.
Start runAdapter(const std::string& media, const std::string& cache, bool cold)
{
    if (cold) {
        const std::string clear = "rm -rf '" + cache + "'";
        if (system(clear.c_str()) != 0)
            fprintf(stderr, "bench: cannot empty %s\n", cache.c_str());
    }
    setenv("TAMBLIN_MEDIA", media.c_str(), 1);
    setenv("XDG_CACHE_HOME", cache.c_str(), 1);
    const std::string mark = scratch + "/player-started";
    unlink(mark.c_str());
    int input, output;
    Start s;
    const long long start = monotonicNs();
    const pid_t pid = spawn({ADAPTER_BIN, "-slave", "-quiet", "clip.avi"}, &input, &output);
    close(input);
    char drop[4096];
    while (read(output, drop, sizeof drop) > 0) {
    }
    close(output);
    waitpid(pid, nullptr, 0);
    s.end = monotonicNs() - start;
    if (FILE* f = fopen(mark.c_str(), "r")) {
        long long at = 0;
        if (fscanf(f, "%lld", &at) == 1)
            s.player = at - start;
        fclose(f);
    }
    return s;
}

double medianMs(std::vector<long long> v)
{
    std::sort(v.begin(), v.end());
    return double(v[v.size() / 2]) / 1e6;
}

// A time long past: a folder changed in the last seconds is not kept, and a device's folders
// were made long before it starts.
void backdate(const std::string& path)
{
    const timeval past[2] = {{1700000000, 0}, {1700000000, 0}};
    utimes(path.c_str(), past);
}

struct Figures
{
    std::vector<long long> player, end;
    void add(const Start& s)
    {
        player.push_back(s.player);
        end.push_back(s.end);
    }
};

void printStarts(const char* cache, int runs, const Figures& big, const Figures& small)
{
    char a[96], b[96], diff[96];
    snprintf(a, sizeof a, "median %.1f ms (player started at %.1f ms)", medianMs(big.end),
             medianMs(big.player));
    snprintf(b, sizeof b, "median %.1f ms (player started at %.1f ms)", medianMs(small.end),
             medianMs(small.player));
    snprintf(diff, sizeof diff, "adds %.1f ms (player %.1f ms later)",
             medianMs(big.end) - medianMs(small.end),
             medianMs(big.player) - medianMs(small.player));
    printRow("Adapter start with 10,000 clips in 500 folders (scan, font, menu definition, " +
                 std::to_string(runs) + " starts " + cache +
                 ") vs. an empty media folder: to its end, and to the player's start",
             a, b, diff, "adds at most 30 ms");
}

} // namespace

int main(int argc, char** argv)
{
    // As the stand-in player: when it started, and nothing else.
    if (const char* mark = getenv("BENCH_PLAYER_MARK")) {
        if (FILE* f = fopen(mark, "w")) {
            fprintf(f, "%lld\n", monotonicNs());
            fclose(f);
        }
        return 0;
    }
    const int runs = argc > 1 ? atoi(argv[1]) : 10;
    keepTableApart();
    char dirTemplate[] = "/tmp/tamblin-bench.XXXXXX";
    scratch = mkdtemp(dirTemplate);
    const std::string tree = scratch + "/tree", empty = scratch + "/empty";
    mkdir(tree.c_str(), 0755);
    mkdir(empty.c_str(), 0755);
    for (int folder = 0; folder < 500; ++folder) {
        const std::string dir =
            tree + (folder % 10 ? "/Series " : "/映画 シリーズ ") + std::to_string(folder);
        mkdir(dir.c_str(), 0755);
        for (int clip = 0; clip < 20; ++clip) {
            const std::string path = dir + "/Episode " + std::to_string(clip) +
                                     " - The One Where Everybody Finds Out About Everything.mkv";
            if (FILE* f = fopen(path.c_str(), "w"))
                fclose(f);
        }
        backdate(dir);
    }
    backdate(tree);
    backdate(empty);
    char self[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    self[length > 0 ? length : 0] = '\0';
    setenv("TAMBLIN_PLAYER", self, 1);
    setenv("BENCH_PLAYER_MARK", (scratch + "/player-started").c_str(), 1);
    setenv("TMPDIR", scratch.c_str(), 1);
    setenv("XDG_STATE_HOME", scratch.c_str(), 1);
    setenv("TAMBLIN_WINDOW_SIZE", "1920x1080", 1);

    const std::string bigCache = scratch + "/cache-big", smallCache = scratch + "/cache-empty";
    Figures bigCold, smallCold, bigWarm, smallWarm;
    runAdapter(tree, bigCache,
               true); // the file system's caches warm, as on a device that has run before
    runAdapter(empty, smallCache, true);
    for (int i = 0; i < runs; ++i) {
        bigCold.add(runAdapter(tree, bigCache, true));
        smallCold.add(runAdapter(empty, smallCache, true));
        bigWarm.add(runAdapter(tree, bigCache, false));
        smallWarm.add(runAdapter(empty, smallCache, false));
    }
    printStarts("with an empty cache", runs, bigCold, smallCold);
    printStarts("with the cache the start before kept", runs, bigWarm, smallWarm);

    const MediaScan scan = scanMediaFolders({tree});
    std::vector<long long> look, menus;
    char a[64], b[64];
    for (int i = 0; i < runs; ++i) {
        long long start = monotonicNs();
        const std::vector<Menu> built = buildMenus(scan);
        menus.push_back(monotonicNs() - start);
        start = monotonicNs();
        const MPlayerMenuLook l = mplayerMenuLook(built, {1920, 1080});
        look.push_back(monotonicNs() - start);
        if (l.font.empty())
            fprintf(stderr, "bench: no font found\n");
    }
    snprintf(a, sizeof a, "median %.1f ms", medianMs(look));
    snprintf(b, sizeof b, "median %.1f ms", medianMs(menus));
    printRow("Of that: the menu's font chosen through fontconfig, and 10,000 names measured and "
             "cut with FreeType into MPlayer's menu definition, vs. building the menus",
             a, b, "", "");
    const std::string cleanup = "rm -rf " + scratch;
    return system(cleanup.c_str()) == 0 ? 0 : 1;
}
