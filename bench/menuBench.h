#pragma once

// What the benchmarks of the player's menu share: a scratch folder with the application
// directory (the adapter and the bundled clip) and a media folder, runs of the real program
// on the adapter and a player behind it, and the same player started directly with the options
// the adapter gives it, in a window of the benchmark's own. Each figure is taken for both
// players the adapter can drive: Debian's MPlayer and Debian's mpv.

#include "menuModel.h"

#include <X11/Xlib.h>

#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

enum class Player { MPlayer, Mpv };
const Player kPlayers[] = {Player::MPlayer, Player::Mpv};
const char* playerName(Player player);

struct MenuBench
{
    Display* display = nullptr;
    int width = 0, height = 0;
    std::string scratch, app, media, trace;

    MenuBench();
    ~MenuBench();

    // Opens the display and makes the scratch folder, with a clip of one flat colour (so that
    // only the menu changes the picture) in the media folder.
    bool prepare();
    void cleanUp();

    // The player behind the program and driven directly from now on.
    void use(Player player);
    Player player() const { return player_; }

    // The real program, started plainly ("-ao null") under the start menu.
    pid_t startTamblin(const std::vector<std::string>& extraArgs = {});
    // Pids of the adapter and the player, from the adapter's trace.
    bool tracedPids(pid_t* adapter, pid_t* player, int timeoutMs);
    int traceCount(const std::string& line) const;

    // The player with the options the adapter would give it for the start menu (media ends
    // with the file to play), drawing into a window of ours, or with ownWindow into a full
    // screen window of its own. It is driven as the adapter drives it: MPlayer through its
    // slave input; mpv through a socket pair, with its menu drawn from a menu model as the
    // adapter draws it.
    pid_t startPlayerDirectly(bool ownWindow, const std::vector<std::string>& media);
    // A command as the window sends it, followed by a menu model as the adapter follows it:
    // MPlayer takes it as it is, and mpv has the menu drawn anew. A clip chosen is loaded as
    // the adapter loads it.
    void sendDirectly(const std::string& command);
    // The start menu's background stands still, as the adapter holds it.
    void holdStillDirectly();
    // Files the player driven directly has started.
    int filesStarted() const;
    void stopDirectly();

    // The player alone, with nothing of ours: MPlayer as a user would start it on the file
    // (looping the start menu's background); mpv with the options the adapter gives it but no
    // IPC (the start menu's background then stands still). Full screen, in its own window.
    pid_t startPlayerAlone(const std::string& file, bool background, int* input);

  private:
    struct Mpv;
    void startReading(int output);
    void sendToMpv(const std::string& line);
    void drawMenu();

    Player player_ = Player::MPlayer;
    pid_t direct_ = -1;
    int input_ = -1;                       // MPlayer's slave input, or our end of mpv's socket pair
    std::vector<Menu> menus_;              // as the adapter builds them
    std::unique_ptr<MenuModel> model_;     // the menu of the player driven directly
    std::string menuFile_;                 // MPlayer's menu, as the adapter writes it
    std::vector<std::string> menuOptions_; // and its look
    std::unique_ptr<Mpv> mpv_;
};

void endProcess(pid_t pid);
bool writeLine(int fd, const std::string& line);
long long msSince(long long startNs);
// CPU seconds (user and system) that the process has used so far.
double cpuSeconds(pid_t pid);
// The X server's pid, from BENCH_XVFB_PID; 0 when not known.
pid_t xServerPid();
