// The adapter's relay, driven with the window's commands and the player's output.
//
// Input: lines. "<TEXT" is a line of player output, "~TEXT" player output without its line
// end, "!" lets time pass ("!N": N ms, else 1000) and runs what is due, "#hidden" / "#media"
// as the first line start with the menu hidden / without a background clip; any other line is
// a command from the window.

#include "mediaMenu.h"
#include "menuModel.h"
#include "pauseHold.h"
#include "relay.h"
#include "slaveCommand.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <optional>
#include <string>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace {

// The relay's deadlines run on the monotonic clock: here it stands still but for "!", so that
// every deadline can be reached and a run does the same each time.
bool fakeClock = false;
long long fakeNowMs = 0;

pid_t player = -1;
int playerInput = -1;
int capturedOutput = -1;
std::string positionsDir, positions;

const char kBackground[] = "/app/background.avi";
const char kAnswer[] = "ANS_MENU_VISIBILITY=";

MediaScan fixedScan()
{
    MediaFolder series{"/media/videos/series", "series", {}, {}, false};
    series.clips = {"/media/videos/series/ep 2.mkv", "/media/videos/series/ep 10.mkv"};
    MediaFolder videos{"/media/videos", "videos", {series}, {}, true};
    videos.clips = {"/media/videos/a.avi", "/media/videos/b.mp4"};
    MediaFolder app{"/app", "app", {}, {kBackground, "/app/clip.avi"}, false};
    MediaScan scan;
    scan.folders = {videos, app};
    return scan;
}

void fail(const char* what, const std::string& detail = {})
{
    fprintf(stderr, "fuzz_relay: %s %s\n", what, detail.c_str());
    abort();
}

bool hasMenu(const MenuModel& model, const std::string& name)
{
    for (const Menu& m : model.menus()) {
        if (m.name == name)
            return true;
    }
    return false;
}

void checkModel(const MenuModel& model)
{
    if (model.depth() < 1)
        fail("empty menu stack");
    if (!hasMenu(model, model.current()))
        fail("current menu unknown:", model.current());
    const int count = model.entryCount();
    if (count == 0 ? model.selection() != 0 : model.selection() < 0 || model.selection() >= count)
        fail("selection out of range in", model.current());
    const std::vector<MenuModel::Step> open = model.openMenus();
    if (open.size() != model.depth() || open.back().menu != model.current())
        fail("open menus disagree with the top");
    for (const MenuModel::Step& step : open) {
        if (!hasMenu(model, step.menu))
            fail("open menu unknown:", step.menu);
    }
}

bool sameState(const MenuModel& a, const MenuModel& b)
{
    const std::vector<MenuModel::Step> x = a.openMenus(), y = b.openMenus();
    if (x.size() != y.size())
        return false;
    for (size_t i = 0; i < x.size(); ++i) {
        if (x[i].menu != y[i].menu || x[i].selection != y[i].selection)
            return false;
    }
    return a.visible() == b.visible() && a.chosenFiles() == b.chosenFiles() &&
           a.ranCommand() == b.ranCommand();
}

// Our answers, each a line of its own: after a line feed or a carriage return.
int answersIn(const std::string& out)
{
    int n = 0;
    for (size_t at = out.find(kAnswer); at != std::string::npos; at = out.find(kAnswer, at + 1)) {
        const size_t value = at + sizeof kAnswer - 1;
        const bool starts = at == 0 || out[at - 1] == '\n' || out[at - 1] == '\r';
        if (starts && value + 1 < out.size() && (out[value] == '0' || out[value] == '1') &&
            out[value + 1] == '\n')
            ++n;
    }
    return n;
}

std::string takeOutput()
{
    std::string out;
    char buf[65536];
    lseek(capturedOutput, 0, SEEK_SET);
    ssize_t n;
    while ((n = read(capturedOutput, buf, sizeof buf)) > 0)
        out.append(buf, size_t(n));
    if (ftruncate(capturedOutput, 0) != 0 || lseek(capturedOutput, 0, SEEK_SET) != 0)
        fail("cannot reset the captured output");
    return out;
}

// The lowest free descriptor: the one the relay's constructor takes for its pidfd.
int nextDescriptor()
{
    const int fd = dup(STDIN_FILENO);
    close(fd);
    return fd;
}

} // namespace

extern "C" int clock_gettime(clockid_t clock, timespec* ts)
{
    using Real = int (*)(clockid_t, timespec*);
    static const Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "clock_gettime"));
    if (fakeClock && clock == CLOCK_MONOTONIC) {
        ts->tv_sec = time_t(fakeNowMs / 1000);
        ts->tv_nsec = long(fakeNowMs % 1000) * 1000000;
        return 0;
    }
    return real(clock, ts);
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // One player for all runs, that takes the relay's signals; it is never reaped, so its pid
    // stays its own, and it ends with the fuzzer.
    player = fork();
    if (player == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        signal(SIGTERM, SIG_IGN);
        for (;;)
            pause();
    }
    if (player < 0)
        fail("fork:", strerror(errno));
    signal(SIGPIPE, SIG_IGN);
    playerInput = open("/dev/null", O_WRONLY | O_CLOEXEC);
    capturedOutput = memfd_create("relay-output", MFD_CLOEXEC);
    if (playerInput < 0 || capturedOutput < 0 || dup2(capturedOutput, STDOUT_FILENO) < 0)
        fail("cannot set up descriptors");
    char dir[] = "/tmp/fuzz_relay.XXXXXX";
    if (!mkdtemp(dir))
        fail("mkdtemp:", strerror(errno));
    positionsDir = dir;
    positions = positionsDir + "/positions";
    atexit([] {
        unlink(positions.c_str());
        rmdir(positionsDir.c_str());
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<std::string> pieces;
    const std::string input(reinterpret_cast<const char*>(data), size);
    for (size_t start = 0; start <= input.size();) {
        size_t end = input.find('\n', start);
        if (end == std::string::npos)
            end = input.size();
        pieces.push_back(input.substr(start, end - start));
        start = end + 1;
    }
    bool shown = true;
    std::string background = kBackground;
    if (!pieces.empty() && !pieces.front().empty() && pieces.front()[0] == '#') {
        shown = pieces.front().find("hidden") == std::string::npos;
        if (pieces.front().find("media") != std::string::npos)
            background.clear();
        pieces.erase(pieces.begin());
    }

    unlink(positions.c_str());
    takeOutput();
    fakeNowMs = 1000000;
    fakeClock = true;
    {
        MenuModel model(buildMenus(fixedScan()), "main", shown);
        PauseHold hold;
        ResumeStore store(positions);
        ClipFlow flow(background, &store);
        // FUZZ_RELAY_TRACE=1: the relay's trace on standard error, to follow a failing input.
        FILE* trace = getenv("FUZZ_RELAY_TRACE") ? stderr : nullptr;
        const int pidfd = nextDescriptor();
        std::optional<Relay> relay;
        relay.emplace(Relay::Channels{-1, playerInput, -1, -1, -1, player}, model, hold, flow,
                      store, trace);
        int queries = 0;
        for (const std::string& piece : pieces) {
            if (!piece.empty() && piece[0] == '<') {
                const std::string line = piece.substr(1) + "\n";
                relay->playerOutputBytes(line.data(), line.size());
            } else if (!piece.empty() && piece[0] == '~') {
                relay->playerOutputBytes(piece.data() + 1, piece.size() - 1);
            } else if (!piece.empty() && piece[0] == '!') {
                const long long step = piece.size() > 1 ? atoll(piece.c_str() + 1) : 1000;
                fakeNowMs += step > 0 && step < 100000 ? step : 1000;
                relay->checkDeadlines();
            } else {
                const std::string command = trimmedLine(piece);
                // A copy of a copy that outlives its source must still be whole.
                std::optional<MenuModel> between(model);
                MenuModel copy(*between);
                between.reset();
                const std::string line = piece + "\n";
                relay->commandBytes(line.data(), line.size());
                if (command == "get_menu_visibility")
                    ++queries;
                else if (!command.empty())
                    copy.apply(command);
                if (!sameState(copy, model))
                    fail("the relay's model and a copy of it part at", command);
            }
            checkModel(model);
        }
        // Long enough for everything held back to go out, one settling command at a time.
        for (size_t i = 0; i < pieces.size() + 4; ++i) {
            fakeNowMs += 1000;
            relay->checkDeadlines();
        }
        const int answers = answersIn(takeOutput());
        if (answers < queries)
            fail("menu queries went unanswered:",
                 std::to_string(queries) + " asked, " + std::to_string(answers) + " answered");
        relay.reset();
        // The relay closes its pidfd only at the end of run(), which the fuzzer never calls.
        char link[64] = {};
        const std::string fdPath = "/proc/self/fd/" + std::to_string(pidfd);
        if (readlink(fdPath.c_str(), link, sizeof link - 1) > 0 && strstr(link, "pidfd"))
            close(pidfd);
    }
    fakeClock = false;
    return 0;
}
