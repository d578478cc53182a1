// Start and idle cost of the real program on the X server named by DISPLAY, beside a minimal
// Qt Widgets program on the same platform plugin:
// - start: from exec until the player reads the command of the first key press (for the
//   minimal program: until it handles that key press);
// - idle: CPU time and wake-ups over 10 s while the player plays and no key is pressed, and
//   the peak resident memory.
#include "benchUtil.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

std::string scratch;

pid_t start(const std::vector<std::string>& argv, int* output)
{
    int out[2];
    if (pipe(out) < 0)
        return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    close(out[1]);
    *output = out[0];
    return pid;
}

void stop(pid_t pid, int output)
{
    kill(pid, SIGTERM);
    char drop[4096];
    while (read(output, drop, sizeof drop) > 0) {
    }
    close(output);
    waitpid(pid, nullptr, 0);
}

// The first viewable top-level window of the program, polled every millisecond.
Window waitForWindow(Display* d, const char* name)
{
    for (int tries = 0; tries < 20000; ++tries) {
        Window root, parent, *kids = nullptr;
        unsigned count = 0;
        XQueryTree(d, DefaultRootWindow(d), &root, &parent, &kids, &count);
        for (unsigned i = 0; i < count; ++i) {
            XClassHint hint = {};
            XWindowAttributes attrs;
            if (XGetClassHint(d, kids[i], &hint)) {
                const bool match = hint.res_name && !strcmp(hint.res_name, name);
                XFree(hint.res_name);
                XFree(hint.res_class);
                if (match && XGetWindowAttributes(d, kids[i], &attrs) &&
                    attrs.map_state == IsViewable) {
                    const Window w = kids[i];
                    XFree(kids);
                    return w;
                }
            }
        }
        if (kids)
            XFree(kids);
        usleep(1000);
    }
    return 0;
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
    const long long begin = nowNs();
    const pid_t pid = start({TAMBLIN_BIN}, &output);
    const Window w = waitForWindow(d, "tamblin");
    pressRight(d, w);
    const long long read = readStamp(report);
    stop(pid, output);
    return read - begin;
}

long long startMinimal(Display* d)
{
    int output;
    const long long begin = nowNs();
    const pid_t pid = start({MINIMAL_BIN}, &output);
    const Window w = waitForWindow(d, "minimal-window");
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

struct Usage
{
    double cpuSeconds = 0;
    long long switches = 0;
    long long peakKiB = 0;
};

// CPU time and context switches of all the process's threads, and its peak memory.
Usage usage(pid_t pid)
{
    Usage u;
    const std::string base = "/proc/" + std::to_string(pid);
    std::ifstream stat(base + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string f;
    long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> f; ++i) {
        if (i == 14)
            utime = std::stoll(f);
        if (i == 15)
            stime = std::stoll(f);
    }
    u.cpuSeconds = double(utime + stime) / double(sysconf(_SC_CLK_TCK));
    // Threads: sum the switches of each.
    const std::string tasks = base + "/task";
    FILE* ls = popen(("ls " + tasks).c_str(), "r");
    char tid[32];
    while (ls && fgets(tid, sizeof tid, ls)) {
        tid[strcspn(tid, "\n")] = 0;
        std::ifstream status(tasks + "/" + tid + "/status");
        std::string line;
        while (std::getline(status, line)) {
            if (line.rfind("voluntary_ctxt_switches:", 0) == 0 ||
                line.rfind("nonvoluntary_ctxt_switches:", 0) == 0)
                u.switches += std::stoll(line.substr(line.find(':') + 1));
        }
    }
    if (ls)
        pclose(ls);
    std::ifstream status(base + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0)
            u.peakKiB = std::stoll(line.substr(6));
    }
    return u;
}

// Runs the program, lets it settle, then measures 10 s of doing nothing.
Usage idle(const std::vector<std::string>& argv)
{
    int output;
    const pid_t pid = start(argv, &output);
    sleep(3);
    const Usage before = usage(pid);
    sleep(10);
    Usage after = usage(pid);
    stop(pid, output);
    after.cpuSeconds -= before.cpuSeconds;
    after.switches -= before.switches;
    return after;
}

std::string formatUsage(const Usage& u)
{
    char text[128];
    snprintf(text, sizeof text, "CPU %.2f%% of a core, %.1f wake-ups/s, peak RSS %lld KiB",
             u.cpuSeconds * 10.0, double(u.switches) / 10.0, u.peakKiB);
    return text;
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

    // Idle, with the adapter and MPlayer playing the bundled clip under the start menu.
    unlink((app + "mplayer").c_str());
    if (symlink(ADAPTER_BIN, (app + "mplayer").c_str()) < 0 ||
        symlink(APP_DIR "/background.avi", (app + "background.avi").c_str()) < 0)
        perror("symlink");
    setenv("TAMBLIN_PLAYER", "/usr/bin/mplayer", 1);
    setenv("TAMBLIN_MEDIA", app.c_str(), 1);
    const Usage tamblin = idle({TAMBLIN_BIN, "-ao null"});
    const Usage minimal = idle({MINIMAL_BIN});
    printRow("Idle for 10 s while the player plays", formatUsage(tamblin), formatUsage(minimal),
             "RSS " + formatRatio(double(tamblin.peakKiB) / double(minimal.peakKiB)),
             "CPU under 1%");

    XCloseDisplay(d);
    std::string cleanup = "rm -rf " + scratch;
    return system(cleanup.c_str()) == 0 ? 0 : 1;
}
