// The adapter's start with a large media collection: 10,000 clips in 500 folders, scanned and
// written as the player's menu, beside the same start with an empty media folder. The player
// is a stand-in that ends at once, so that the figure is the adapter's own. The window is
// 1920x1080, a folder in ten has a Japanese name and every clip a long one, so that the font is
// chosen for CJK and names are measured and cut. Then the font's share of it, in-process: its
// choice through fontconfig and the names' measures, beside building the menus alone.
#include "benchUtil.h"
#include "mediaFolders.h"
#include "mediaMenu.h"
#include "mplayerMenu.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

long long runAdapter(const std::string& media)
{
    setenv("TAMBLIN_MEDIA", media.c_str(), 1);
    int input, output;
    const long long start = monotonicNs();
    const pid_t pid = spawn({ADAPTER_BIN, "-slave", "-quiet", "clip.avi"}, &input, &output);
    close(input);
    char drop[4096];
    while (read(output, drop, sizeof drop) > 0) {
    }
    close(output);
    waitpid(pid, nullptr, 0);
    return monotonicNs() - start;
}

double medianMs(std::vector<long long> v)
{
    std::sort(v.begin(), v.end());
    return double(v[v.size() / 2]) / 1e6;
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? atoi(argv[1]) : 10;
    keepTableApart();
    char dirTemplate[] = "/tmp/tamblin-bench.XXXXXX";
    const std::string scratch = mkdtemp(dirTemplate);
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
    }
    const std::string player = scratch + "/player";
    if (FILE* f = fopen(player.c_str(), "w")) {
        fputs("#!/bin/sh\nexit 0\n", f);
        fclose(f);
    }
    chmod(player.c_str(), 0755);
    setenv("TAMBLIN_PLAYER", player.c_str(), 1);
    setenv("TMPDIR", scratch.c_str(), 1);
    setenv("XDG_STATE_HOME", scratch.c_str(), 1);
    setenv("TAMBLIN_WINDOW_SIZE", "1920x1080", 1);

    std::vector<long long> big, small;
    runAdapter(tree); // the file system's caches warm, as on a device that has run before
    for (int i = 0; i < runs; ++i) {
        big.push_back(runAdapter(tree));
        small.push_back(runAdapter(empty));
    }
    char a[64], b[64], diff[64];
    snprintf(a, sizeof a, "median %.1f ms", medianMs(big));
    snprintf(b, sizeof b, "median %.1f ms", medianMs(small));
    snprintf(diff, sizeof diff, "adds %.1f ms", medianMs(big) - medianMs(small));
    printRow("Adapter start with 10,000 clips in 500 folders (scan, font, menu definition, " +
                 std::to_string(runs) + " starts) vs. an empty media folder",
             a, b, diff, "adds at most 100 ms");

    const MediaScan scan = scanMediaFolders({tree});
    std::vector<long long> look, menus;
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
             "cut with FreeType, vs. building the menus",
             a, b, "", "");
    const std::string cleanup = "rm -rf " + scratch;
    return system(cleanup.c_str()) == 0 ? 0 : 1;
}
