// tamblin-adapter: installed as "mplayer" in tamblin's application directory, it puts the
// distribution's MPlayer behind the window and answers the menu query that MPlayer lacks.
//
// Environment: TAMBLIN_PLAYER (the real player), TAMBLIN_MEDIA (folders for the clip list),
// TAMBLIN_WINDOW_FD (a descriptor on which the window says where to draw, "WID WxH", once it
// exists), or TAMBLIN_WID and TAMBLIN_WINDOW_SIZE (the window to draw into, and its size "WxH"),
// TAMBLIN_ADAPTER_TRACE (a file that receives every command sent to the player ">", every
// answer of the player "<", every answer of ours "=", the process ids of the adapter and the
// player "# pids", and "# stopped" and "# continued" as the player rests and wakes),
// TAMBLIN_REMOVABLE (where sticks are mounted), and from a session TAMBLIN_SESSION_END (the mark
// that ends it), TAMBLIN_POWER (the ways to power the system allows) and TAMBLIN_NOTICE (a
// refusal to show as the run starts), TAMBLIN_SPEECH ("1": the menu speaks) and SPEECHD_ADDRESS
// (the speech service).

#include "controller.h"
#include "eventLoop.h"
#include "mediaFolders.h"
#include "mediaMenu.h"
#include "menuFile.h"
#include "menuFont.h"
#include "menuModel.h"
#include "monotonicClock.h"
#include "mountTable.h"
#include "mplayerArguments.h"
#include "mplayerDriver.h"
#include "mplayerMenu.h"
#include "mpvArguments.h"
#include "mpvDriver.h"
#include "optionFile.h"
#include "paths.h"
#include "playerChoice.h"
#include "playerStart.h"
#include "positionsFile.h"
#include "powerChoices.h"
#include "privateFolder.h"
#include "sideSources.h"
#include "speechClient.h"
#include "startCache.h"
#include "trackNames.h"
#include "translate.h"
#include "viewerLanguages.h"
#include "windowLine.h"

#include "descriptors.h"
#include "spawn.h"
#include "startTrace.h"
#include "terminationPipe.h"
#include "threadOrNone.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <map>
#include <memory>
#include <pwd.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// The wait status of a player that exited with 1: what a run that failed reports.
const int kFailedStatus = 1 << 8;
// The menu's frame over mpv when the window gives no size: mpv scales it to the window.
const WindowSize kOverlayFrame{1280, 720};

int exitCodeOf(int status)
{
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return 1;
}

ResumeStore loadPositions(const std::string& file)
{
    ResumeStore store;
    std::string text, why;
    if (file.empty())
        return store;
    if (!readPositions(file, &text, &why))
        fprintf(stderr, "tamblin-adapter: %s; clips start from the beginning\n", why.c_str());
    else if (!store.load(text))
        fprintf(stderr, "tamblin-adapter: %s is not a positions file; ignoring it\n", file.c_str());
    return store;
}

// Shown in listed menus besides the names there: what their font must have too.
std::string listedTexts()
{
    return std::string("> _") + tr("Reading…") + " " + tr("Nothing to play") +
           shownInListedMenus(viewerLanguages());
}

// What the menus have besides the media: the sticks' way in while removable media are watched,
// and in a session the ways to power that the system allows.
MenuOptions menuOptions(const std::vector<std::string>& removable)
{
    MenuOptions options;
    if (getenv("TAMBLIN_SESSION_END"))
        options = powerChoices(getenv("TAMBLIN_POWER"));
    options.removable = !removable.empty();
    return options;
}

// The window's descriptor as TAMBLIN_WINDOW_FD names it, kept from the player; -1 when none.
int windowDescriptor(const char* text)
{
    char* end = nullptr;
    const long fd = text && *text ? strtol(text, &end, 10) : -1;
    if (fd < 0 || fd > INT_MAX || *end != '\0' || fcntl(int(fd), F_SETFD, FD_CLOEXEC) != 0)
        return -1;
    return int(fd);
}

std::string userName()
{
    const passwd* pw = getpwuid(getuid());
    return pw ? pw->pw_name : "";
}

// The player as started, and what the run needs of that.
struct StartedPlayer
{
    PlayerChannels channels;
    std::vector<Menu> menus;
    std::map<std::string, std::vector<std::string>> sidecars; // subtitle files beside clips
    std::string fifo, background, firstFile;
    bool startMenu = false;
    std::string font;          // the menu's font family, for the trace
    MenuFont menuFont;         // mpv: the menu's font, which the adapter draws it in ...
    std::u32string characters; // ... and the characters it is to show
    std::string lists;         // MPlayer: the folder its listed menus show ...
    LabelFit fit;              // ... and how their labels are fitted
};

// The window, where it starts after its player: it tells where to draw on a descriptor of ours
// (-1: the environment told). The player starts at once, with an option file in place of what
// follows from the window, which is filled in when the window is known.
struct LateWindow
{
    int fd = -1;
    OptionFile file;
    std::string path;
};

// fontconfig's configuration read on a thread of its own while the scope's work goes: the
// menu's font is then chosen without waiting for it.
class FontsReadMeanwhile
{
  public:
    // Without a thread, the font's choice reads the configuration itself.
    FontsReadMeanwhile() : thread_(threadOrNone(readFontConfiguration)) {}
    ~FontsReadMeanwhile()
    {
        if (thread_.joinable())
            thread_.join();
    }
    FontsReadMeanwhile(const FontsReadMeanwhile&) = delete;
    FontsReadMeanwhile& operator=(const FontsReadMeanwhile&) = delete;

  private:
    std::thread thread_;
};

// Waits for the window's line: a window that does not come in this long is not coming.
const int kWindowWaitMs = 10000;

// The window's id, from the environment or from the window's line once it is told.
std::string windowId(LateWindow& late, WindowSize* window)
{
    if (late.fd < 0) {
        const char* wid = getenv("TAMBLIN_WID");
        return wid ? wid : "";
    }
    const WindowInfo info = waitForWindow(late.fd, kWindowWaitMs);
    late.fd = -1;
    traceStart("adapter", "window-known");
    *window = info.size;
    return info.wid;
}

void serveOptions(LateWindow& late, const std::string& text)
{
    if (!late.path.empty() && !late.file.serve(text))
        fprintf(stderr, "tamblin-adapter: %s: %s\n", late.path.c_str(), strerror(errno));
}

// MPlayer is given its menu's definition, and draws the menu itself: the menus are made before
// it reads them, which is after its window's options. mpv is given nothing of the kind, since
// the adapter draws the menu over it: the menus are made while it starts. False when it did not
// start.
bool startPlayer(const std::string& player, bool mpv, const std::vector<std::string>& args,
                 const std::string& dir, WindowSize* window, LateWindow& late,
                 const std::function<MenuOptions()>& optionsFound,
                 const std::function<MediaScan()>& mediaFound, StartCache& cache,
                 StartedPlayer* run)
{
    // Without its option file, a player started before its window would never learn it.
    if (late.fd >= 0) {
        late.path = dir + "/window.conf";
        if (!late.file.create(late.path)) {
            fprintf(stderr, "tamblin-adapter: %s: %s\n", late.path.c_str(), strerror(errno));
            return false;
        }
    }
    if (mpv) {
        const MpvArguments a =
            mpvArguments(args, getenv("TAMBLIN_WID"), getenv("TAMBLIN_HWDEC"), late.path);
        fprintf(stderr, "%stamblin-adapter: mpv, hardware decoding: %s\n", a.dropped.c_str(),
                a.hwdec.c_str());
        const bool started = startMpv(player, a.options, &run->channels);
        traceStart("adapter", "player-exec");
        serveOptions(late, mpvWindowFile(windowId(late, window).c_str()));
        const MenuOptions options = optionsFound();
        run->fifo = a.fifo;
        run->startMenu = a.startMenu;
        run->background = a.background;
        run->firstFile = a.firstFile;
        const MediaScan scan = mediaFound();
        traceStart("adapter", "scan-done");
        run->menus = buildMenus(scan, options);
        run->sidecars = scan.subtitles;
        run->characters = menuCharacters(run->menus, listedTexts());
        run->menuFont = cache.menuFont(run->characters);
        run->font = run->menuFont.family;
        traceStart("adapter", "font-done");
        return started;
    }
    const std::string menuFile = dir + "/menu.conf";
    // A player without our menu would not be the menu the answers are about: no start. Nor
    // without the folder of its listed menus, which would list another one.
    run->lists = dir + "/list";
    if (mkdir(run->lists.c_str(), 0700) != 0) {
        fprintf(stderr, "tamblin-adapter: %s: %s\n", run->lists.c_str(), strerror(errno));
        return false;
    }
    bool started = false;
    PlayerArguments a;
    if (!late.path.empty()) {
        a = playerArgumentsBeforeWindow(args, menuFile, late.path, run->lists);
        started = startMPlayer(player, a.options, &run->channels);
        traceStart("adapter", "player-exec");
    }
    const std::string wid = windowId(late, window);
    const MenuOptions options = optionsFound();
    const MediaScan scan = mediaFound();
    traceStart("adapter", "scan-done");
    run->sidecars = scan.subtitles;
    std::string definition;
    MPlayerMenuLook look;
    // The look kept by a start before: the menus are made once the player has its definition.
    const bool kept = cache.keptLook(options, *window, listedTexts(), &look, &definition);
    if (!kept) {
        {
            const FontsReadMeanwhile fonts;
            run->menus = buildMenus(scan, options);
        }
        look = cache.mplayerLook(run->menus, options, *window, listedTexts(), &definition);
    }
    traceStart("adapter", "font-done");
    if (!writeMenuFile(menuFile, definition)) {
        fprintf(stderr, "tamblin-adapter: %s: %s\n", menuFile.c_str(), strerror(errno));
        if (started) {
            kill(run->channels.pid, SIGKILL);
            waitpid(run->channels.pid, nullptr, 0);
        }
        return false;
    }
    traceStart("adapter", "menu-written");
    run->fit = look.fit;
    if (!late.path.empty()) {
        serveOptions(late, mplayerWindowFile(wid.c_str(), *window, look.options));
    } else {
        a = playerArguments(args, menuFile, wid.empty() ? nullptr : wid.c_str(), *window,
                            look.options, run->lists);
        started = startMPlayer(player, a.options, &run->channels);
        traceStart("adapter", "player-exec");
    }
    run->fifo = a.fifo;
    run->startMenu = a.startMenu;
    run->background = a.background;
    run->font = look.font;
    if (kept)
        run->menus = buildMenus(scan, options);
    return started;
}

// The core and its loop, with the player's driver, until the player has ended; the player's wait
// status.
int runCore(StartedPlayer& run, bool mpv, const std::string& appDir, const std::string& files,
            WindowSize window, const std::vector<std::string>& removable, int signals, FILE* trace)
{
    if (trace)
        fprintf(trace, "# pids %d %d\n# font %s\n", int(getpid()), int(run.channels.pid),
                run.font.c_str());
    // Opening the FIFO is what lets the window's own open go through.
    UniqueFd commands(run.fifo.empty() ? -1
                                       : open(run.fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!commands.valid() && !run.fifo.empty())
        fprintf(stderr, "tamblin-adapter: %s: %s\n", run.fifo.c_str(), strerror(errno));
    const std::string positions = positionsFile(getenv("XDG_STATE_HOME"), getenv("HOME"));
    ResumeStore store = loadPositions(positions);
    MenuModel model(std::move(run.menus), "main", run.startMenu);
    ClipFlow flow(run.background, &store);
    Actions actions;
    const std::string songPicture = appDir + "song-picture";
    char cwd[PATH_MAX];
    std::unique_ptr<MenuOverlay> overlay;
    std::unique_ptr<PlayerDriver> driver;
    if (mpv) {
        const WindowSize frame = window.valid() ? window : kOverlayFrame;
        // Measured now, before the loop: drawing on the loop's path reads no font file.
        overlay = std::make_unique<MenuOverlay>(
            OverlayMetrics(run.menuFont, run.characters, frame.width, frame.height));
        auto d = std::make_unique<MpvDriver>(actions, model, *overlay, files, run.firstFile);
        d->start(monotonicMs());
        driver = std::move(d);
    } else {
        auto d = std::make_unique<MPlayerDriver>(
            actions, files, access(songPicture.c_str(), R_OK) == 0 ? songPicture : "",
            getcwd(cwd, sizeof cwd) ? cwd : "/");
        d->setMenuLists(run.lists, run.fit);
        driver = std::move(d);
    }
    Controller core(model, flow, store, *driver, actions);
    core.setLanguages(viewerLanguages());
    core.setSidecars(std::move(run.sidecars));
    if (const char* end = getenv("TAMBLIN_SESSION_END"))
        core.setSessionEnd(end);
    if (const char* notice = getenv("TAMBLIN_NOTICE"))
        core.setNotice(notice);
    core.setSpeech(speechWanted(getenv("TAMBLIN_SPEECH"), speechFile(positions)));
    EventLoop loop(core, actions, std::move(run.channels), std::move(commands), signals, trace,
                   positions);
    SideSources side(core, loop, removable, speechFile(positions));
    const int status = loop.run();
    // Told to end, it may well end with 0: the window must still hear that it failed.
    return core.playerFailed() && exitCodeOf(status) == 0 ? kFailedStatus : status;
}

} // namespace

int main(int argc, char** argv)
{
    traceStart("adapter", "exec");
    startTranslations(argv[0]);
    std::string why;
    const std::string player =
        findRealPlayer(getenv("TAMBLIN_PLAYER"), getenv("PATH"), "/proc/self/exe", &why);
    if (player.empty()) {
        // Without a player nobody must open the FIFO: the window then reports its error.
        fprintf(stderr, "tamblin-adapter: cannot find the real player: %s\n", why.c_str());
        return 127;
    }
    const bool mpv = playerKind(player) == PlayerKind::Mpv;

    const std::vector<std::string> args(argv + 1, argv + argc);
    const std::string appDir = folderOf(argv[0]) + "/";
    WindowSize window = parseWindowSize(getenv("TAMBLIN_WINDOW_SIZE"));
    LateWindow late;
    late.fd = windowDescriptor(getenv("TAMBLIN_WINDOW_FD"));
    StartCache cache(StartCache::folderFrom(getenv("XDG_CACHE_HOME"), getenv("HOME")));
    const auto mediaFound = [&] {
        const std::vector<std::string> folders = mediaDirectories(getenv("TAMBLIN_MEDIA"), appDir);
        MediaScan scan;
        if (!cache.keptScan(folders, &scan))
            scan = cache.freshScan(folders);
        return scan;
    };

    const std::string dir = privateFolder();
    const std::string files = dir + "/files";
    if (dir.empty() || mkdir(files.c_str(), 0700) != 0) {
        perror("tamblin-adapter: temporary folder");
        if (!dir.empty())
            rmdir(dir.c_str());
        return 1;
    }
    FILE* trace = nullptr;
    if (const char* path = getenv("TAMBLIN_ADAPTER_TRACE")) {
        trace = fopen(path, "a");
        if (trace)
            setvbuf(trace, nullptr, _IOLBF, 0);
    }
    // A window or player gone shows up as a failed write, and at its end, not as our death,
    // which would leave the player running.
    signal(SIGPIPE, SIG_IGN);
    const int signals = openTerminationPipe();
    if (signals < 0)
        perror("tamblin-adapter: signal pipe");

    // Found once the player is on its way.
    std::vector<std::string> removable;
    const auto optionsFound = [&] {
        removable = removableRoots(getenv("TAMBLIN_REMOVABLE"), userName());
        return menuOptions(removable);
    };
    StartedPlayer run;
    const bool started =
        startPlayer(player, mpv, args, dir, &window, late, optionsFound, mediaFound, cache, &run);
    // What the start made anew is kept for the next while the player starts.
    cache.save();
    const int status = started ? runCore(run, mpv, appDir, files, window, removable, signals, trace)
                               : kFailedStatus;
    removeFolder(dir);
    if (trace)
        fclose(trace);
    return exitCodeOf(status);
}
