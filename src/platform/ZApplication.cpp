#include "platform/ZApplication.h"

ZApplication::ZApplication(int& argc, char** argv, Type type) : QApplication(argc, argv)
{
    Q_UNUSED(type);
    // The run ends only through the main window: a closed error dialog must not end it.
    setQuitOnLastWindowClosed(false);
}

void ZApplication::requestQuit()
{
    QMetaObject::invokeMethod(qApp, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
}
