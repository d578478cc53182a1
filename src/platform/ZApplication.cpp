#include "platform/ZApplication.h"

ZApplication::ZApplication(int& argc, char** argv, Type type)
    : QApplication(argc, argv), argc_(argc), argv_(argv)
{
    Q_UNUSED(type);
    // The run ends only through the main window: a closed error dialog must not end it.
    setQuitOnLastWindowClosed(false);
}

QList<QByteArray> ZApplication::rawArguments()
{
    QList<QByteArray> args;
    if (auto* app = qobject_cast<ZApplication*>(QCoreApplication::instance())) {
        for (int i = 0; i < app->argc_; ++i)
            args << QByteArray(app->argv_[i]);
        return args;
    }
    for (const QString& a : QCoreApplication::arguments())
        args << a.toLocal8Bit();
    return args;
}

bool ZApplication::quitRequested_ = false;
bool ZApplication::running_ = false;

int ZApplication::exec()
{
    if (quitRequested_)
        return 0;
    running_ = true;
    const int result = QApplication::exec();
    running_ = false;
    return result;
}

void ZApplication::requestQuit()
{
    quitRequested_ = true;
    if (running_)
        QCoreApplication::exit(0);
}
