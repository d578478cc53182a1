/* For the tests of the display hold: an Xorg module that gives the screens of Debian's dummy
 * video driver DPMS, which the driver lacks (without it Xorg has no DPMS extension at all). Listed
 * under Load before the driver, it wraps the driver's probe, and through it each screen's
 * ScreenInit, to add the server's own DPMS handling of a screen's outputs. The power levels and
 * the DPMS requests are then the server's, as on a real display. */
#include <xorg-server.h>

#include <xf86.h>
#include <xf86Crtc.h>
#include <xf86Module.h>
#include <xf86Priv.h>

#include <string.h>

static Bool (*driverProbe)(DriverPtr, int);
static ScreenInitProcPtr driverScreenInit;

static Bool screenInitWithDpms(ScreenPtr screen, int argc, char** argv)
{
    return driverScreenInit(screen, argc, argv) && xf86DPMSInit(screen, xf86DPMSSet, 0);
}

static Bool probeWithDpms(DriverPtr driver, int flags)
{
    if (!driverProbe(driver, flags))
        return FALSE;
    for (int i = 0; i < xf86NumScreens; ++i) {
        ScrnInfoPtr screen = xf86Screens[i];
        if (screen->drv == driver && screen->ScreenInit != screenInitWithDpms) {
            driverScreenInit = screen->ScreenInit;
            screen->ScreenInit = screenInitWithDpms;
        }
    }
    return TRUE;
}

/* Called before any driver probes, once every module is loaded. */
static void identify(int flags)
{
    (void)flags;
    for (int i = 0; i < xf86NumDrivers; ++i) {
        DriverPtr d = xf86DriverList[i];
        if (d && d->driverName && strcmp(d->driverName, "dummy") == 0 && d->Probe &&
            d->Probe != probeWithDpms) {
            driverProbe = d->Probe;
            d->Probe = probeWithDpms;
        }
    }
}

/* It has no screen of its own, but stays loaded: the dummy's screens call into it. */
static Bool noProbe(DriverPtr driver, int flags)
{
    (void)flags;
    driver->refCount = 1;
    return FALSE;
}

/* No hardware, and no console: as the dummy driver itself says. */
static Bool driverFunc(ScrnInfoPtr screen, xorgDriverFuncOp op, void* data)
{
    (void)screen;
    if (op != GET_REQUIRED_HW_INTERFACES)
        return FALSE;
    *(xorgHWFlags*)data = HW_SKIP_CONSOLE;
    return TRUE;
}

static DriverRec driver = {
    .driverVersion = 1,
    .driverName = "dpmsdummy",
    .Identify = identify,
    .Probe = noProbe,
    .driverFunc = driverFunc,
};

static void* setup(void* module, void* options, int* major, int* minor)
{
    (void)options;
    (void)major;
    (void)minor;
    xf86AddDriver(&driver, module, HaveDriverFuncs);
    return module;
}

static XF86ModuleVersionInfo version = {"dpmsdummy",
                                        "tamblin tests",
                                        MODINFOSTRING1,
                                        MODINFOSTRING2,
                                        XORG_VERSION_CURRENT,
                                        1,
                                        0,
                                        0,
                                        ABI_CLASS_VIDEODRV,
                                        ABI_VIDEODRV_VERSION,
                                        MOD_CLASS_VIDEODRV,
                                        {0, 0, 0, 0}};

_X_EXPORT XF86ModuleData dpmsdummyModuleData = {&version, setup, NULL};
