#include "platform/xScreenSaverHold.h"

// Xlib's headers define names (Bool, Status, None...) that other headers use: kept in here.
#include <X11/Xlib.h>
#include <X11/extensions/dpms.h>
#include <X11/extensions/scrnsaver.h>

#include <cstdlib>

namespace {

Display* display = nullptr;
bool dpmsTurnedOff = false;
int lastError = 0;

int noteError(Display*, XErrorEvent* error)
{
    lastError = error->error_code;
    return 0;
}

// Runs the requests with errors noted rather than fatal (Xlib's default handler ends the
// program); false when the server refused one.
template <typename Requests> bool checked(Requests requests)
{
    lastError = 0;
    const auto previous = XSetErrorHandler(noteError);
    requests();
    XSync(display, False);
    XSetErrorHandler(previous);
    return lastError == 0;
}

} // namespace

bool holdXScreenSaver(std::string* what)
{
    if (display)
        return true;
    const char* name = getenv("DISPLAY");
    if (!name || !*name) {
        *what = "there is no X display";
        return false;
    }
    display = XOpenDisplay(nullptr);
    if (!display) {
        *what = std::string("cannot open the X display ") + name;
        return false;
    }
    int event, error, major = 0, minor = 0;
    // Suspending came with version 1.1 of the extension.
    if (!XScreenSaverQueryExtension(display, &event, &error) ||
        !XScreenSaverQueryVersion(display, &major, &minor) || major < 1 ||
        (major == 1 && minor < 1) || !checked([] { XScreenSaverSuspend(display, True); })) {
        XCloseDisplay(display);
        display = nullptr;
        *what = "the X server has no screen saver to hold (MIT-SCREEN-SAVER 1.1)";
        return false;
    }
    CARD16 level;
    BOOL on = False;
    const bool dpms = DPMSQueryExtension(display, &event, &error) && DPMSCapable(display);
    if (dpms && DPMSInfo(display, &level, &on) && on)
        dpmsTurnedOff = checked([] { DPMSDisable(display); });
    *what = dpms ? "X's screen saver and DPMS" : "X's screen saver (the X server has no DPMS)";
    return true;
}

void releaseXScreenSaver()
{
    if (!display)
        return;
    checked([] { XScreenSaverSuspend(display, False); });
    if (dpmsTurnedOff) {
        // Unless someone turned it on again meanwhile.
        CARD16 level;
        BOOL on = True;
        if (DPMSInfo(display, &level, &on) && !on)
            checked([] { DPMSEnable(display); });
        dpmsTurnedOff = false;
    }
    XCloseDisplay(display);
    display = nullptr;
}
