#include "mainWindow.h"
#include "platform/ZApplication.h"
#include "player/commandLine.h"
#include "player/fifoCreation.h"
#include "startTrace.h"
#include "translate.h"

#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>

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

    // The command FIFO is made while the toolkit starts; the launch waits for it.
    const QByteArray fifo = fifoPath(getenv("TAMBLIN_FIFO"));
    QByteArray why;
    if (fifoFolderUsable(fifo, &why))
        startFifoCreation(fifo);

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
