// tamblin: starts the player, then loads the window (the module tamblin-window.so in the
// application directory) and runs it. Qt is not loaded here: the player starts while it is.

#include "platform/toolkitOptions.h"
#include "player/commandLine.h"
#include "player/playerLaunch.h"
#include "startTrace.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace {

using WindowMain = int (*)(int, char**, PlayerLaunch*);

// The module beside the program's application directory, wherever the program is.
std::string windowModule()
{
    return installedApplicationDirectory() + "tamblin-window.so";
}

} // namespace

int main(int argc, char** argv)
{
    traceStart("window", "exec");
    // A player that closed its end of the FIFO shows up as a failed write, not as a signal
    // that ends the program before it can give the display back.
    signal(SIGPIPE, SIG_IGN);
    // The log is read line by line as it comes, also through a pipe.
    setvbuf(stdout, nullptr, _IOLBF, 0);

    // The player can only draw into an X window: in a Wayland session with XWayland, the window
    // is an X window too. Should XWayland refuse us, Wayland itself is the fallback, and the
    // launch says why no player starts. (Before any thread exists, the environment may still
    // change.)
    if (getenv("WAYLAND_DISPLAY") && getenv("DISPLAY") && !getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "xcb;wayland", 1);

    // The player starts now where Qt will take nothing from the arguments and will draw on X:
    // it is told of the window once the window exists.
    const char* platform = getenv("QT_QPA_PLATFORM");
    static PlayerLaunch early;
    PlayerLaunch* launched = nullptr;
    if (getenv("DISPLAY") && (!platform || strcmp(platform, "xcb") == 0) &&
        toolkitTakesNoArgument(argc, argv)) {
        early = startLaunch(std::vector<std::string>(argv, argv + argc), true);
        launched = &early;
    }

    const std::string module = windowModule();
    void* window = dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
    const auto windowMain =
        window ? reinterpret_cast<WindowMain>(dlsym(window, "tamblinWindowMain")) : nullptr;
    if (!windowMain) {
        fprintf(stderr, "tamblin: cannot load the window: %s\n", dlerror());
        // Nothing of the run may stay behind.
        if (launched && launched->output) {
            kill(-launched->pid, SIGKILL);
            waitpid(launched->pid, nullptr, 0);
        }
        return 1;
    }
    return windowMain(argc, argv, launched);
}
