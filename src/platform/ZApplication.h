#pragma once

#include <QApplication>

// The platform's application object: a QApplication with the platform's constructor shape.
class ZApplication : public QApplication
{
    Q_OBJECT
  public:
    enum Type { Tty = 0, GuiClient = 1, GuiServer = 2 };

    ZApplication(int& argc, char** argv, Type type = GuiClient);

    void setMainWidget(QWidget* widget) { mainWidget_ = widget; }

    // The program's arguments as the bytes they came as, after Qt has taken out the options it
    // handles itself (it takes them out of argv in place). Any other application object gives
    // its decoded arguments, encoded back.
    static QList<QByteArray> rawArguments();
    QWidget* mainWidget() const { return mainWidget_; }

    // Runs the event loop, unless a quit was requested before it started.
    static int exec();

    // Ends the event loop, also when asked before it runs. quit() would first ask the windows
    // to close, and the main window refuses. exit() before exec() is lost, and a queued one
    // would end the loop of the next modal dialog instead, so the request is kept until then.
    static void requestQuit();

  private:
    int& argc_;
    char** argv_;
    QWidget* mainWidget_ = nullptr;
    static bool quitRequested_;
    static bool running_;
};
