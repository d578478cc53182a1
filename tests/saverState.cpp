// Prints what the X server's screen saver and DPMS are doing, for the tests of the display hold:
// "saver on|off|disabled IDLE-MS dpms enabled|disabled|none".
#include <X11/Xlib.h>
#include <X11/extensions/dpms.h>
#include <X11/extensions/scrnsaver.h>

#include <cstdio>

int main()
{
    Display* display = XOpenDisplay(nullptr);
    int event, error;
    if (!display || !XScreenSaverQueryExtension(display, &event, &error)) {
        fprintf(stderr, "saver-state: no display, or no screen saver extension\n");
        return 1;
    }
    XScreenSaverInfo* info = XScreenSaverAllocInfo();
    XScreenSaverQueryInfo(display, DefaultRootWindow(display), info);
    const char* state = info->state == ScreenSaverOn    ? "on"
                        : info->state == ScreenSaverOff ? "off"
                                                        : "disabled";
    const char* dpms = "none";
    CARD16 level;
    BOOL enabled;
    if (DPMSQueryExtension(display, &event, &error) && DPMSCapable(display) &&
        DPMSInfo(display, &level, &enabled))
        dpms = enabled ? "enabled" : "disabled";
    printf("saver %s %lu dpms %s\n", state, info->idle, dpms);
    XFree(info);
    XCloseDisplay(display);
    return 0;
}
