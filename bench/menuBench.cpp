#include "menuBench.h"

#include "benchUtil.h"
#include "spawn.h"

#include "mediaFolders.h"
#include "mediaMenu.h"
#include "menuFile.h"
#include "menuFont.h"
#include "menuModel.h"
#include "menuOverlay.h"
#include "mplayerArguments.h"
#include "mplayerMenu.h"
#include "mpvArguments.h"

#include <nlohmann/json.hpp>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using nlohmann::json;

namespace {

std::atomic<int> started{0};
Window ourWindow = 0;

const char kMPlayer[] = "/usr/bin/mplayer";
const char kMpv[] = "/usr/bin/mpv";

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

// Whether a line of the player's output says that a file has started: MPlayer's "Playing"
// line, or mpv's start-file event.
bool fileStartLine(const char* line)
{
    if (strncmp(line, "Playing ", 8) == 0)
        return true;
    if (line[0] != '{')
        return false;
    const json message = json::parse(line, nullptr, false);
    return message.is_object() && message.value("event", std::string()) == "start-file";
}

// What the window gives the player before the user's options and the media.
std::vector<std::string> windowArguments(const std::vector<std::string>& media)
{
    std::vector<std::string> args{"-slave", "-quiet", "-nortc", "-nocache", "-ao", "null"};
    args.insert(args.end(), media.begin(), media.end());
    return args;
}

} // namespace

const char* playerName(Player player)
{
    return player == Player::Mpv ? "mpv" : "MPlayer";
}

// What draws mpv's menu as the adapter does: the overlay, made once, and what it last sent.
struct MenuBench::Mpv
{
    std::unique_ptr<MenuOverlay> overlay;
    std::string drawn;
    long long nextId = 1;
};

MenuBench::MenuBench() = default;
MenuBench::~MenuBench() = default;

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
    setenv("TAMBLIN_MEDIA", media.c_str(), 1);
    setenv("TAMBLIN_ADAPTER_TRACE", trace.c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent", 1);
    signal(SIGPIPE, SIG_IGN);
    use(Player::MPlayer);
    return true;
}

void MenuBench::use(Player player)
{
    player_ = player;
    setenv("TAMBLIN_PLAYER", player == Player::Mpv ? kMpv : kMPlayer, 1);
    // What the adapter makes before the player starts is made here once, before any clock
    // starts: the player started directly is timed alone.
    if (menus_.empty())
        menus_ = buildMenus(scanMediaFolders({media}));
    const WindowSize window{width, height};
    if (player == Player::MPlayer && menuFile_.empty()) {
        menuFile_ = scratch + "/menu.conf";
        const MPlayerMenuLook look = mplayerMenuLook(menus_, window);
        if (!writeMenuFile(menuFile_, look.definition))
            fprintf(stderr, "bench: cannot write %s\n", menuFile_.c_str());
        menuOptions_ = look.options;
    }
    if (player == Player::Mpv && !mpv_) {
        mpv_ = std::make_unique<Mpv>();
        const std::u32string characters = menuCharacters(menus_, "> _");
        mpv_->overlay = std::make_unique<MenuOverlay>(
            OverlayMetrics(chooseMenuFont(characters), characters, width, height));
        // Its labels cut once, as the adapter's first drawing cuts them.
        mpv_->overlay->events(MenuModel(menus_, "main", true));
    }
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

void MenuBench::startReading(int output)
{
    // Reads the player's output as it comes, counting the files it starts.
    started = 0;
    std::thread([output] {
        FILE* in = fdopen(output, "r");
        char line[4096];
        while (fgets(line, sizeof line, in)) {
            if (fileStartLine(line))
                ++started;
        }
        fclose(in);
    }).detach();
}

pid_t MenuBench::startPlayerDirectly(bool ownWindow, const std::vector<std::string>& mediaArgs)
{
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
    const WindowSize window{width, height};
    const std::vector<std::string> args = windowArguments(mediaArgs);
    model_ = std::make_unique<MenuModel>(menus_, "main",
                                         mediaArgs.size() >= 2 &&
                                             mediaArgs[mediaArgs.size() - 2] == "-menu-startup");

    if (player_ == Player::MPlayer) {
        const PlayerArguments p = playerArguments(
            args, menuFile_, ownWindow ? nullptr : wid.c_str(), window, menuOptions_);
        std::vector<std::string> argv{kMPlayer};
        if (ownWindow) // a window of its own, full screen, as the player draws when started alone
            argv.insert(argv.end(), {"-fs", "-zoom"});
        argv.insert(argv.end(), p.options.begin(), p.options.end());
        int output;
        direct_ = spawn(argv, &input_, &output);
        startReading(output);
        return direct_;
    }

    const MpvArguments a =
        mpvArguments(args, ownWindow ? nullptr : wid.c_str(), getenv("TAMBLIN_HWDEC"));
    mpv_->drawn.clear();
    std::vector<std::string> argv{kMpv};
    if (ownWindow)
        argv.push_back("--fs");
    argv.insert(argv.end(), a.options.begin(), a.options.end());
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
        return -1;
    const int null = open("/dev/null", O_RDWR | O_CLOEXEC);
    SpawnRequest request;
    request.path = argv.front();
    request.arguments = argv;
    request.input = request.output = null;
    request.control = pair[1];
    direct_ = spawnProcess(request);
    close(null);
    close(pair[1]);
    input_ = pair[0];
    // Its replies and events are read apart, so that writes never wait on them.
    startReading(fcntl(pair[0], F_DUPFD_CLOEXEC, 0));
    // At once, as the adapter does: mpv takes it as soon as its IPC is up.
    drawMenu();
    return direct_;
}

void MenuBench::sendToMpv(const std::string& line)
{
    if (write(input_, line.data(), line.size()) != ssize_t(line.size()))
        fprintf(stderr, "bench: could not write to mpv\n");
}

void MenuBench::drawMenu()
{
    // The adapter's overlay, sent when it changes, as the adapter sends it.
    const std::string events = mpv_->overlay->events(*model_);
    if (events == mpv_->drawn)
        return;
    mpv_->drawn = events;
    const json command = {{"name", "osd-overlay"},
                          {"id", 1},
                          {"format", "ass-events"},
                          {"data", events},
                          {"res_x", mpv_->overlay->width()},
                          {"res_y", mpv_->overlay->height()},
                          {"z", 0}};
    sendToMpv(json{{"command", command}, {"request_id", mpv_->nextId++}}.dump(
                  -1, ' ', false, json::error_handler_t::replace) +
              "\n");
}

void MenuBench::sendDirectly(const std::string& command)
{
    // The rounds choose menus and clips, never an entry that runs a command of the player's.
    const MenuModel::Outcome outcome = model_->apply(command);
    const std::vector<std::string>& files = model_->chosenFiles();
    if (player_ == Player::MPlayer) {
        // Its menu draws itself; a clip's entry carries no command, and the adapter loads
        // what it chose.
        writeLine(input_, command);
        if (outcome == MenuModel::FileChosen) {
            for (size_t i = 0; i < files.size(); ++i)
                writeLine(input_, "loadfile '" + files[i] + "'" + (i == 0 ? "" : " 1"));
        }
        return;
    }
    drawMenu();
    if (outcome != MenuModel::FileChosen)
        return;
    // A choice plays as the adapter plays it: its files in turn, the pause of the start menu's
    // background lifted.
    for (size_t i = 0; i < files.size(); ++i) {
        const json load = {{"name", "loadfile"},
                           {"url", files[i]},
                           {"flags", i == 0 ? "replace" : "append"},
                           {"options", json::object()}};
        sendToMpv(json{{"command", load}, {"request_id", mpv_->nextId++}}.dump() + "\n");
    }
    sendToMpv(
        json{{"command", {"set_property", "pause", false}}, {"request_id", mpv_->nextId++}}.dump() +
        "\n");
}

void MenuBench::holdStillDirectly()
{
    // mpv starts paused under the start menu (--pause=yes), as the adapter starts it.
    if (player_ == Player::MPlayer)
        writeLine(input_, "pause");
}

int MenuBench::filesStarted() const
{
    return started;
}

void MenuBench::stopDirectly()
{
    endProcess(direct_);
    close(input_);
    direct_ = input_ = -1;
}

pid_t MenuBench::startPlayerAlone(const std::string& file, bool background, int* input)
{
    std::vector<std::string> argv;
    if (player_ == Player::MPlayer) {
        argv = {kMPlayer, "-slave", "-quiet", "-fs", "-zoom", "-vo", "x11", "-ao", "null"};
        if (background)
            argv.insert(argv.end(), {"-loop", "0"});
        argv.push_back(file);
    } else {
        std::vector<std::string> media{file};
        if (background)
            media.insert(media.begin(), "-menu-startup");
        const MpvArguments a =
            mpvArguments(windowArguments(media), nullptr, getenv("TAMBLIN_HWDEC"));
        argv = {kMpv, "--fs"};
        for (const std::string& o : a.options) {
            if (o != "--input-ipc-client=fd://3") // alone: nobody to talk to, and it would end
                argv.push_back(o);
        }
    }
    int output;
    const pid_t pid = spawn(argv, input, &output);
    startReading(output);
    return pid;
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
