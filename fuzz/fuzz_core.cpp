// The adapter's core with MPlayer's driver, or mpv's, driven directly: the window's commands,
// the player's output and errors, its end, the window's end, a termination signal, and the
// passing of time are all part of the input. No descriptor, no clock, no process.
//
// Input: lines. "<TEXT" is a line of player output, "~TEXT" player output without its line
// end, "?TEXT" a line of its standard error, "!N" lets N ms pass (else 1000) and runs what is
// due, "$" the player ends, "%" the window goes, "^" a termination signal; "#hidden" / "#media"
// / "#mpv" in the first line start with the menu hidden / without a background clip / with
// mpv's driver (then the player's output is JSON); "#sticks" adds the menus of sticks and power,
// and then "&A B" says that sticks A and B are mounted (under /media), "*A" that A has been read
// (a clip, and one in a folder), "=0" / "=1" how a request to sleep was answered; any other line
// is a command from the window.

#include "controller.h"
#include "lineSplitter.h"
#include "mediaMenu.h"
#include "mplayerDriver.h"
#include "mpvDriver.h"

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

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
    fprintf(stderr, "fuzz_core: %s %s\n", what, detail.c_str());
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

// What the loop would do with the actions, checked: nothing is written to a stopped player,
// it is never stopped twice, and each of our answers is a line of its own in the window's
// stream.
struct World
{
    bool stopped = false;
    bool trace = false;
    char lastToWindow = '\n';
    int answers = 0;

    void take(Actions& actions)
    {
        for (const Action& a : actions.take()) {
            if (trace && a.kind != Action::ToWindow)
                fprintf(stderr, "  [%d] %s%s\n", int(a.kind), a.text.c_str(),
                        a.kind == Action::Signal ? std::to_string(a.signal).c_str() : "");
            if (a.kind == Action::ToPlayer && stopped)
                fail("written to a stopped player:", a.text);
            if (a.kind == Action::Signal && a.signal == SIGSTOP) {
                if (stopped)
                    fail("stopped twice");
                stopped = true;
            }
            if (a.kind == Action::Signal && a.signal == SIGCONT)
                stopped = false;
            if (a.kind == Action::ToWindow) {
                const size_t at = a.text.find(kAnswer);
                if (at != std::string::npos) {
                    const bool lineStart = at > 0 ? a.text[at - 1] == '\n'
                                                  : lastToWindow == '\n' || lastToWindow == '\r';
                    if (lineStart)
                        ++answers;
                }
                if (!a.text.empty())
                    lastToWindow = a.text.back();
            }
        }
    }
};

} // namespace

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
    bool shown = true, mpv = false, sticks = false;
    std::string background = kBackground;
    if (!pieces.empty() && !pieces.front().empty() && pieces.front()[0] == '#') {
        shown = pieces.front().find("hidden") == std::string::npos;
        if (pieces.front().find("media") != std::string::npos)
            background.clear();
        mpv = pieces.front().find("mpv") != std::string::npos;
        sticks = pieces.front().find("sticks") != std::string::npos;
        pieces.erase(pieces.begin());
    }

    MenuOptions options;
    options.removable = options.powerOff = options.restart = options.sleep = sticks;
    const std::vector<Menu> menus = buildMenus(fixedScan(), options);
    MenuModel model(menus, "main", shown);
    ResumeStore store;
    ClipFlow flow(background, &store);
    Actions actions;
    // Nothing is kept from one input to the next but what the menus' font measures, which no
    // input can change (const): the overlay, which keeps where each menu was scrolled, is made
    // anew.
    static const OverlayMetrics metrics = [&] {
        const std::u32string characters = menuCharacters(menus, "> _");
        return OverlayMetrics(chooseMenuFont(characters), characters, 640, 480);
    }();
    std::optional<MenuOverlay> overlay;
    std::unique_ptr<PlayerDriver> driver;
    if (mpv) {
        overlay.emplace(metrics);
        auto d = std::make_unique<MpvDriver>(actions, model, *overlay, "/private",
                                             background.empty() ? std::string("/media/videos/a.avi")
                                                                : background);
        d->start(0);
        driver = std::move(d);
    } else {
        driver = std::make_unique<MPlayerDriver>(actions, "/private", "/app/song.mkv", "/");
    }
    Controller core(model, flow, store, *driver, actions);
    if (sticks)
        core.setSessionEnd("/run/end");
    LineSplitter output("\r\n");
    World world;
    // FUZZ_CORE_TRACE=1: the actions on standard error, to follow a failing input.
    world.trace = getenv("FUZZ_CORE_TRACE") != nullptr;
    long long now = 1000000;
    int queries = 0;
    bool ended = false;

    // Every deadline up to `target` is met at its time, as the loop would. A tick that leaves a
    // deadline at or before its time would have the loop spin.
    const auto until = [&](long long target) {
        for (long long due = core.deadline(); due >= 0 && due <= target; due = core.deadline()) {
            now = std::max(now, due);
            core.tick(now);
            world.take(actions);
            const long long next = core.deadline();
            if (next >= 0 && next <= now)
                fail("livelock: due again at", std::to_string(next - now) + " ms from now");
        }
        now = std::max(now, target);
    };
    for (const std::string& piece : pieces) {
        const char kind = piece.empty() ? ' ' : piece[0];
        const std::string rest = piece.empty() ? std::string() : piece.substr(1);
        if (kind == '<' || kind == '~') {
            const std::string bytes = kind == '<' ? rest + "\n" : rest;
            output.append(bytes.data(), bytes.size());
            std::string line;
            while (output.next(&line))
                core.playerOutput(line, now);
        } else if (kind == '?') {
            core.playerErrors(rest + "\n", now);
        } else if (kind == '!') {
            const long long step = rest.empty() ? 1000 : atoll(rest.c_str());
            until(now + (step > 0 && step < 100000 ? step : 1000));
        } else if (kind == '$') {
            ended = true;
            core.playerEnded(now);
        } else if (kind == '%') {
            core.windowGone(now);
        } else if (kind == '^') {
            core.terminate(now);
        } else if (sticks && kind == '&') {
            std::vector<Mount> mounts;
            for (size_t at = 0; at < rest.size();) {
                size_t end = rest.find(' ', at);
                end = end == std::string::npos ? rest.size() : end;
                if (end > at)
                    mounts.push_back(
                        {"/media/" + rest.substr(at, end - at), rest.substr(at, end - at)});
                at = end + 1;
            }
            std::sort(mounts.begin(), mounts.end(),
                      [](const Mount& a, const Mount& b) { return a.mountPoint < b.mountPoint; });
            mounts.erase(std::unique(mounts.begin(), mounts.end(),
                                     [](const Mount& a, const Mount& b) {
                                         return a.mountPoint == b.mountPoint;
                                     }),
                         mounts.end());
            core.mountsChanged(mounts, now);
        } else if (sticks && kind == '*') {
            const std::string root = "/media/" + rest;
            MediaScan scan;
            scan.folders.push_back({root,
                                    rest,
                                    {{root + "/d", "d", {}, {root + "/d/b.avi"}, false}},
                                    {root + "/a.avi"},
                                    false});
            core.stickRead(root, scan, now);
        } else if (sticks && kind == '=') {
            core.sleepAnswered(rest == "1", now);
        } else {
            const std::string command = trimmedLine(piece);
            // A copy of a copy that outlives its source must still be whole.
            std::optional<MenuModel> between(model);
            MenuModel copy(*between);
            between.reset();
            core.windowLine(piece + "\n", now);
            if (command == "get_menu_visibility")
                ++queries;
            else if (!command.empty())
                copy.apply(command);
            // With sticks the core opens menus of its own for the viewer's keys.
            if (!sticks && !sameState(copy, model))
                fail("the core's model and a copy of it part at", command);
        }
        world.take(actions);
        checkModel(model);
    }
    // Long enough for everything held back to go out, one settling command at a time.
    for (size_t i = 0; i < pieces.size() + 4 && !ended; ++i) {
        until(now + 1000);
        world.take(actions);
    }
    if (world.answers < queries)
        fail("menu queries went unanswered:",
             std::to_string(queries) + " asked, " + std::to_string(world.answers) + " answered");
    return 0;
}
