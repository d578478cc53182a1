// Start of the real program on the X server named by DISPLAY, beside a minimal Qt Widgets
// program on the same platform plugin: from exec until the player reads the command of the
// first key press (for the minimal program: until it handles that key press).
#include "benchUtil.h"
#include "screenProbe.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

std::string scratch;

void stop(pid_t pid, int output)
{
    kill(pid, SIGTERM);
    char drop[4096];
    while (read(output, drop, sizeof drop) > 0) {
    }
    close(output);
    waitpid(pid, nullptr, 0);
}

void pressRight(Display* d, Window w)
{
    XSetInputFocus(d, w, RevertToParent, CurrentTime);
    const KeyCode right = XKeysymToKeycode(d, XK_Right);
    XTestFakeKeyEvent(d, right, True, 0);
    XTestFakeKeyEvent(d, right, False, 0);
    XFlush(d);
}

// One start of tamblin with the instant player: exec until the player reads "seek +40".
long long startTamblin(Display* d, int report)
{
    int output;
    const long long begin = monotonicNs();
    const pid_t pid = spawn({TAMBLIN_BIN}, nullptr, &output);
    const Window w = waitForWindow(d, "tamblin", 20000);
    pressRight(d, w);
    const long long read = readStamp(report);
    stop(pid, output);
    return read - begin;
}

long long startMinimal(Display* d)
{
    int output;
    const long long begin = monotonicNs();
    const pid_t pid = spawn({MINIMAL_BIN}, nullptr, &output);
    const Window w = waitForWindow(d, "minimal-window", 20000);
    pressRight(d, w);
    long long handled = 0;
    if (read(output, &handled, sizeof handled) != sizeof handled)
        handled = begin;
    stop(pid, output);
    return handled - begin;
}

long long median(std::vector<long long> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    const int starts = argc > 1 ? atoi(argv[1]) : 10;
    signal(SIGPIPE, SIG_IGN);
    keepTableApart();
    char dirTemplate[] = "/tmp/tamblin-bench.XXXXXX";
    scratch = mkdtemp(dirTemplate);
    Display* d = XOpenDisplay(nullptr);
    if (!d) {
        fprintf(stderr, "bench: no X display\n");
        return 1;
    }
    setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent", 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);

    // Start, with the instant player.
    const std::string app = scratch + "/app/";
    mkdir(app.c_str(), 0755);
    if (symlink(ECHO_BIN, (app + "mplayer").c_str()) < 0)
        perror("symlink");
    setenv("MYPATH", app.c_str(), 1);
    setenv("TAMBLIN_FIFO", (scratch + "/pipe").c_str(), 1);
    const int report = openReport(scratch);
    std::vector<long long> ours, theirs;
    for (int i = 0; i < starts; ++i) {
        ours.push_back(startTamblin(d, report));
        theirs.push_back(startMinimal(d));
    }
    const double oursMs = double(median(ours)) / 1e6, theirsMs = double(median(theirs)) / 1e6;
    char a[64], b[64];
    snprintf(a, sizeof a, "median %.1f ms", oursMs);
    snprintf(b, sizeof b, "median %.1f ms", theirsMs);
    printRow("Start, exec to the first key's command read by the player (" +
                 std::to_string(starts) + " starts) vs. minimal Qt window handling that key",
             a, b, formatRatio(oursMs / theirsMs), "");

    XCloseDisplay(d);
    std::string cleanup = "rm -rf " + scratch;
    return system(cleanup.c_str()) == 0 ? 0 : 1;
}
