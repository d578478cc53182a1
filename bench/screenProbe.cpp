#include "screenProbe.h"
#include "benchUtil.h"

#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <cstdlib>
#include <cstring>
#include <sys/shm.h>
#include <unistd.h>

ScreenProbe::ScreenProbe(Display* display, int x, int y, int width, int height)
    : display_(display), x_(x), y_(y)
{
    const int screen = DefaultScreen(display);
    image_ = XShmCreateImage(display, DefaultVisual(display, screen),
                             unsigned(DefaultDepth(display, screen)), ZPixmap, nullptr, &shm_,
                             unsigned(width), unsigned(height));
    if (!image_)
        return;
    shm_.shmid =
        shmget(IPC_PRIVATE, size_t(image_->bytes_per_line * image_->height), IPC_CREAT | 0600);
    if (shm_.shmid < 0)
        return;
    shm_.shmaddr = image_->data = static_cast<char*>(shmat(shm_.shmid, nullptr, 0));
    shm_.readOnly = False;
    ok_ = XShmAttach(display, &shm_);
    XSync(display, False);
    // Gone once both sides have detached, whatever happens to this process.
    shmctl(shm_.shmid, IPC_RMID, nullptr);
}

ScreenProbe::~ScreenProbe()
{
    if (ok_)
        XShmDetach(display_, &shm_);
    if (shm_.shmaddr)
        shmdt(shm_.shmaddr);
    if (image_) {
        image_->data = nullptr;
        XDestroyImage(image_);
    }
}

std::vector<uint32_t> ScreenProbe::grab()
{
    XShmGetImage(display_, DefaultRootWindow(display_), image_, x_, y_, AllPlanes);
    std::vector<uint32_t> pixels(size_t(image_->width * image_->height));
    for (int row = 0; row < image_->height; ++row)
        memcpy(&pixels[size_t(row * image_->width)], image_->data + row * image_->bytes_per_line,
               size_t(image_->width) * 4);
    return pixels;
}

bool ScreenProbe::differ(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b)
{
    int count = 0;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
        int d = 0;
        for (int shift = 0; shift < 24; shift += 8)
            d = std::max(d, std::abs(int((a[i] >> shift) & 0xff) - int((b[i] >> shift) & 0xff)));
        if (d > 48 && ++count > 4)
            return true;
    }
    return false;
}

namespace {
void pollPause()
{
    usleep(500);
}
} // namespace

long long ScreenProbe::waitForChange(const std::vector<uint32_t>& before, int timeoutMs)
{
    const long long deadline = monotonicNs() + timeoutMs * 1000000LL;
    while (monotonicNs() < deadline) {
        if (differ(grab(), before))
            return monotonicNs();
        pollPause();
    }
    return -1;
}

bool ScreenProbe::waitForStill(int quietMs, int timeoutMs)
{
    const long long deadline = monotonicNs() + timeoutMs * 1000000LL;
    std::vector<uint32_t> last = grab();
    long long since = monotonicNs();
    while (monotonicNs() < deadline) {
        usleep(5000);
        std::vector<uint32_t> now = grab();
        if (differ(now, last)) {
            last = now;
            since = monotonicNs();
        } else if (monotonicNs() - since >= quietMs * 1000000LL) {
            return true;
        }
    }
    return false;
}

long long ScreenProbe::waitForMatch(const std::vector<uint32_t>& picture, int timeoutMs)
{
    const long long deadline = monotonicNs() + timeoutMs * 1000000LL;
    while (monotonicNs() < deadline) {
        if (!differ(grab(), picture))
            return monotonicNs();
        pollPause();
    }
    return -1;
}

ScreenProbe* menuProbe(Display* display)
{
    const int screen = DefaultScreen(display);
    const int width = DisplayWidth(display, screen), height = DisplayHeight(display, screen);
    // A narrow strip keeps each poll cheap for the X server the player is drawing on.
    return new ScreenProbe(display, width * 12 / 25, 0, 16, height / 2);
}

Window waitForWindow(Display* display, const char* name, int timeoutMs)
{
    const long long deadline = monotonicNs() + timeoutMs * 1000000LL;
    while (monotonicNs() < deadline) {
        Window root, parent, *kids = nullptr;
        unsigned count = 0;
        XQueryTree(display, DefaultRootWindow(display), &root, &parent, &kids, &count);
        Window found = 0;
        for (unsigned i = 0; i < count && !found; ++i) {
            XClassHint hint = {};
            XWindowAttributes attrs;
            if (!XGetClassHint(display, kids[i], &hint))
                continue;
            const bool match = hint.res_name && !strcmp(hint.res_name, name);
            XFree(hint.res_name);
            XFree(hint.res_class);
            if (match && XGetWindowAttributes(display, kids[i], &attrs) &&
                attrs.map_state == IsViewable)
                found = kids[i];
        }
        if (kids)
            XFree(kids);
        if (found)
            return found;
        usleep(1000);
    }
    return 0;
}

void pressKey(Display* display, Window window, const char* keysym)
{
    if (window)
        XSetInputFocus(display, window, RevertToParent, CurrentTime);
    const KeyCode code = XKeysymToKeycode(display, XStringToKeysym(keysym));
    XTestFakeKeyEvent(display, code, True, 0);
    XTestFakeKeyEvent(display, code, False, 0);
    XFlush(display);
}
