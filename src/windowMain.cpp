#include "mainWindow.h"
#include "platform/ZApplication.h"
#include "player/playerLaunch.h"
#include "startTrace.h"
#include "translate.h"

#include <clocale>

// The window's own main, which the program calls once it has loaded this module. early: the
// launch the program made before Qt was loaded, or nullptr when the window is to make it.
extern "C" int tamblinWindowMain(int argc, char** argv, PlayerLaunch* early)
{
    traceStart("window", "qt-loaded");
    setEarlyLaunch(early);
    ZApplication a(argc, argv, ZApplication::GuiClient);
    traceStart("window", "qt-ready");
    // Qt took the whole locale from the environment; numbers in the log and in commands keep
    // their dot whatever the viewer's language.
    setlocale(LC_NUMERIC, "C");
    startTranslations(argv[0]);
    mainWindow w(nullptr, "Tamblin");
    a.setMainWidget(&w);
    w.show();
    w.applyFullScreen();
    traceStart("window", "shown");
    a.exec();
    return 0;
}
