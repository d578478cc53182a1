#include "menuBench.h"

#include "benchUtil.h"
#include "spawn.h"

#include "mediaMenu.h"
#include "mplayerMenu.h"
#include "playerArguments.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

std::atomic<int> playing{0};
Window ourWindow = 0;

pid_t startQuietly(const std::vector<std::string>& argv)
{
    const int null = open("/dev/null", O_RDWR | O_CLOEXEC);
    SpawnRequest request;
    request.path = argv.front();
    request.arguments = argv;
    request.input = request.output = null;
    const pid_t pid = spawnProcess(request);
    close(null);
    return pid;
}

// Reads the player's output as it comes, counting the files it starts.
void drainInBackground(int output)
{
    playing = 0;
    std::thread([output] {
        FILE* in = fdopen(output, "r");
        char line[4096];
        while (fgets(line, sizeof line, in)) {
            if (strncmp(line, "Playing ", 8) == 0)
                ++playing;
        }
        fclose(in);
    }).detach();
}

} // namespace

bool MenuBench::prepare()
{
    display = XOpenDisplay(nullptr);
    if (!display) {
        fprintf(stderr, "bench: no X display\n");
        return false;
    }
    width = DisplayWidth(display, DefaultScreen(display));
    height = DisplayHeight(display, DefaultScreen(display));
    char dirTemplate[] = "/tmp/tamblin-bench.XXXXXX";
    scratch = mkdtemp(dirTemplate);
    app = scratch + "/app/";
    media = scratch + "/media/";
    trace = scratch + "/trace";
    mkdir(app.c_str(), 0755);
    mkdir(media.c_str(), 0755);
    if (symlink(ADAPTER_BIN, (app + "mplayer").c_str()) < 0 ||
        symlink(APP_DIR "/background.avi", (app + "background.avi").c_str()) < 0)
        return false;
    // A minute of one colour at 25 frames a second, as a user's clip would play.
    const std::string clip =
        "ffmpeg -loglevel error -y -f lavfi -i "
        "color=c=0x203860:size=640x360:rate=25:duration=60 -c:v mpeg4 -q:v 5 " +
        media + "clip.avi";
    if (system(clip.c_str()) != 0)
        return false;

    setenv("MYPATH", app.c_str(), 1);
    setenv("TAMBLIN_FIFO", (scratch + "/pipe").c_str(), 1);
    setenv("TAMBLIN_PLAYER", "/usr/bin/mplayer", 1);
    setenv("TAMBLIN_MEDIA", media.c_str(), 1);
    setenv("TAMBLIN_ADAPTER_TRACE", trace.c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent", 1);
    signal(SIGPIPE, SIG_IGN);
    return true;
}

void MenuBench::cleanUp()
{
    if (display)
        XCloseDisplay(display);
    const std::string command = "rm -rf " + scratch;
    if (system(command.c_str()) != 0)
        fprintf(stderr, "bench: could not remove %s\n", scratch.c_str());
}

pid_t MenuBench::startTamblin(const std::vector<std::string>& extraArgs)
{
    unlink(trace.c_str());
    std::vector<std::string> argv{TAMBLIN_BIN, "-ao null"};
    argv.insert(argv.end(), extraArgs.begin(), extraArgs.end());
    return startQuietly(argv);
}

bool MenuBench::tracedPids(pid_t* adapter, pid_t* player, int timeoutMs)
{
    const long long start = monotonicNs();
    while (msSince(start) < timeoutMs) {
        std::ifstream in(trace);
        std::string line;
        while (std::getline(in, line)) {
            int a = 0, p = 0;
            if (sscanf(line.c_str(), "# pids %d %d", &a, &p) == 2) {
                *adapter = a;
                *player = p;
                return true;
            }
        }
        usleep(5000);
    }
    return false;
}

int MenuBench::traceCount(const std::string& wanted) const
{
    std::ifstream in(trace);
    std::string line;
    int count = 0;
    while (std::getline(in, line))
        count += line == wanted;
    return count;
}

pid_t MenuBench::startPlayerDirectly(bool ownWindow, int* input,
                                     const std::vector<std::string>& mediaArgs)
{
    const std::string menuFile = scratch + "/menu.conf";
    std::ofstream(menuFile) << menuDefinition(buildMenus(scanMedia({media})));
    std::string wid;
    if (!ownWindow) {
        if (!ourWindow) {
            XSetWindowAttributes attrs{};
            attrs.override_redirect = True;
            attrs.background_pixel = BlackPixel(display, DefaultScreen(display));
            ourWindow = XCreateWindow(display, DefaultRootWindow(display), 0, 0, unsigned(width),
                                      unsigned(height), 0, CopyFromParent, InputOutput,
                                      CopyFromParent, CWOverrideRedirect | CWBackPixel, &attrs);
        }
        XMapRaised(display, ourWindow);
        XSync(display, False);
        wid = std::to_string(ourWindow);
    }
    std::vector<std::string> args{"-slave", "-quiet", "-nortc", "-nocache", "-ao", "null"};
    args.insert(args.end(), mediaArgs.begin(), mediaArgs.end());
    const PlayerArguments p = playerArguments(args, menuFile, ownWindow ? nullptr : wid.c_str(),
                                              WindowSize{width, height});
    std::vector<std::string> argv{"/usr/bin/mplayer"};
    if (ownWindow) // a window of its own, full screen, as the player draws when started alone
        argv.insert(argv.end(), {"-fs", "-zoom"});
    argv.insert(argv.end(), p.options.begin(), p.options.end());
    int output;
    const pid_t pid = spawn(argv, input, &output);
    drainInBackground(output);
    return pid;
}

pid_t MenuBench::startPlayerAlone(const std::vector<std::string>& args, int* input)
{
    std::vector<std::string> argv{"/usr/bin/mplayer", "-slave", "-quiet"};
    argv.insert(argv.end(), args.begin(), args.end());
    int output;
    const pid_t pid = spawn(argv, input, &output);
    drainInBackground(output);
    return pid;
}

int MenuBench::playingLines() const
{
    return playing;
}

void endProcess(pid_t pid)
{
    kill(pid, SIGTERM);
    for (int i = 0; i < 500; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid)
            return;
        usleep(10000);
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

bool writeLine(int fd, const std::string& line)
{
    const std::string text = line + "\n";
    return write(fd, text.data(), text.size()) == ssize_t(text.size());
}

long long msSince(long long startNs)
{
    return (monotonicNs() - startNs) / 1000000;
}

double cpuSeconds(pid_t pid)
{
    // Each thread's time on a CPU in nanoseconds: finer than the clock ticks of /proc/PID/stat.
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    DIR* dir = opendir(tasks.c_str());
    if (!dir)
        return 0;
    long long ns = 0;
    while (const dirent* task = readdir(dir)) {
        if (task->d_name[0] == '.')
            continue;
        std::ifstream stat(tasks + "/" + task->d_name + "/schedstat");
        long long onCpu = 0;
        if (stat >> onCpu)
            ns += onCpu;
    }
    closedir(dir);
    return double(ns) / 1e9;
}

pid_t xServerPid()
{
    const char* pid = getenv("BENCH_XVFB_PID");
    return pid ? pid_t(atoi(pid)) : 0;
}
