#pragma once

// What the benchmarks of the player's menu share: a scratch folder with the application
// directory (the adapter and the bundled clip) and a media folder, runs of the real program
// on the adapter and Debian's MPlayer, and the same player started directly with the options
// the adapter gives it, in a window of the benchmark's own.

#include <X11/Xlib.h>

#include <string>
#include <sys/types.h>
#include <vector>

struct MenuBench
{
    Display* display = nullptr;
    int width = 0, height = 0;
    std::string scratch, app, media, trace;

    // Opens the display and makes the scratch folder, with a clip of one flat colour (so that
    // only the menu changes the picture) in the media folder.
    bool prepare();
    void cleanUp();

    // The real program, started plainly ("-ao null") under the start menu.
    pid_t startTamblin(const std::vector<std::string>& extraArgs = {});
    // Pids of the adapter and the player, from the adapter's trace.
    bool tracedPids(pid_t* adapter, pid_t* player, int timeoutMs);
    int traceCount(const std::string& line) const;

    // Debian's MPlayer with the options the adapter would give it for the start menu, drawing
    // into a window of ours (or its own window when ownWindow is false). Its standard input
    // takes commands; "Playing" lines are counted by a thread of ours.
    pid_t startPlayerDirectly(bool ownWindow, int* input, const std::vector<std::string>& media);
    int playingLines() const;
    // Debian's MPlayer with these arguments alone.
    pid_t startPlayerAlone(const std::vector<std::string>& args, int* input);
};

void endProcess(pid_t pid);
bool writeLine(int fd, const std::string& line);
long long msSince(long long startNs);
// CPU seconds (user and system) that the process has used so far.
double cpuSeconds(pid_t pid);
// The X server's pid, from BENCH_XVFB_PID; 0 when not known.
pid_t xServerPid();
