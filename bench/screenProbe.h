#pragma once

#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>

#include <cstdint>
#include <string>
#include <vector>

// Reads a rectangle of the screen as the X server holds it, through shared memory, to see when
// a picture changes.
class ScreenProbe
{
  public:
    ScreenProbe(Display* display, int x, int y, int width, int height);
    ~ScreenProbe();
    bool ok() const { return ok_; }

    std::vector<uint32_t> grab();
    // True when more than a few pixels differ clearly.
    static bool differ(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b);
    // Polls until the rectangle differs from before; the time it did, or -1 after timeoutMs.
    long long waitForChange(const std::vector<uint32_t>& before, int timeoutMs);
    // Polls until the rectangle has not changed for quietMs; false after timeoutMs.
    bool waitForStill(int quietMs, int timeoutMs);
    // Polls until the rectangle matches the picture; the time it did, or -1 after timeoutMs.
    long long waitForMatch(const std::vector<uint32_t>& picture, int timeoutMs);

  private:
    Display* display_;
    int x_, y_;
    XImage* image_ = nullptr;
    XShmSegmentInfo shm_{};
    bool ok_ = false;
};

// The strip of the screen that the player's menu crosses: its title and every entry's bar.
ScreenProbe* menuProbe(Display* display);

// The first viewable top-level window whose class name is name; 0 after timeoutMs.
Window waitForWindow(Display* display, const char* name, int timeoutMs);
// Focuses the window, then presses and releases the key through XTest.
void pressKey(Display* display, Window window, const char* keysym);
