#pragma once

// What the end-to-end tests run the real program on: a virtual X server, a private session
// bus with a stand-in screen saver, and a stand-in player in an application directory of its
// own.

#include "monotonicClock.h"

#include <QMap>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <sys/types.h>

struct Received
{
    long long ms;
    QString line;
};

class Xvfb
{
  public:
    Xvfb(int width = 640, int height = 480);
    // Stands for an X server that a test started itself (an Xorg), for its tools and runs.
    Xvfb(const QString& display, int width, int height);
    ~Xvfb();
    QString display() const { return display_; }
    int width() const { return width_; }
    int height() const { return height_; }
    // Runs a tool such as xdotool or xwininfo on this display and returns its output.
    QString run(const QString& program, const QStringList& args, int* exitCode = nullptr) const;

    QString rootWindow() const;
    void focus(qulonglong wid) const;
    // The error dialog's window once it shows up, or an empty string.
    QString waitForDialog() const;
    // Waits for the error dialog and closes it with the key; false when none shows up.
    bool answerDialog(const QString& key) const;

    // Xvfb's keymap has no F26 to F29: binds F26, F28 and F29 to spare keycodes.
    bool bindDeviceKeys() const;

  private:
    QProcess server_;
    QString display_;
    int width_, height_;
};

class PrivateBus
{
  public:
    PrivateBus();
    ~PrivateBus();
    QString address() const { return address_; }
    QString saverLog() const;
    void startScreenSaver();
    void stopScreenSaver();

  private:
    QTemporaryDir dir_;
    QProcess daemon_;
    QProcess saver_;
    QString address_;
};

class TamblinRun
{
  public:
    TamblinRun(const Xvfb* x, const PrivateBus* bus);
    ~TamblinRun();

    QString root() const { return dir_.path(); }
    QString appDir() const { return dir_.path() + "/app/"; }
    QString standinDir() const { return dir_.path() + "/standin"; }
    QString fifo() const { return fifo_; }
    // Runs another build of the program (an installed one, say) instead.
    void setProgram(const QString& path) { program_ = path; }
    // Puts another program in the application directory as "mplayer".
    void usePlayer(const QString& path);
    // An empty path leaves TAMBLIN_FIFO unset: the program picks its own.
    void setFifo(const QString& path) { fifo_ = path; }
    QProcessEnvironment& env() { return env_; }
    // What the stand-in prints for each query, in its control language.
    void setControl(const QString& text);

    void start(const QStringList& args = {});
    // Starts with arguments and environment entries as raw bytes, whatever the locale makes of
    // them. env: "NAME=value" entries put over the run's environment.
    void startRaw(const QList<QByteArray>& args, const QList<QByteArray>& env = {});
    // Starts with a regular file where the FIFO belongs and dismisses the error dialog with
    // Escape, so that the run goes on without a command FIFO. False when no dialog showed up.
    bool startWithoutCommandFifo();
    bool waitForExit(int ms = 15000);
    int exitCode() const { return process_.exitCode(); }
    bool crashed() const { return process_.exitStatus() != QProcess::NormalExit; }
    QString out() const { return out_; }
    // What the program has printed so far, while it runs.
    QString outSoFar();
    QString errSoFar();
    QString err() const { return err_; }
    pid_t pid() const { return pid_t(process_.processId()); }

    // What the stand-in wrote: the lines it read, its arguments, TAMBLIN_WID, its pid.
    QList<Received> receivedTimed() const;
    QStringList received() const;
    bool waitForReceived(const QString& line, int count = 1, int ms = 10000) const;
    QStringList standinArgs() const;
    QString standinWid() const;
    pid_t standinPid() const;

    // The native window of the run, once it is mapped; 0 when it does not show up.
    qulonglong waitForWindow(int ms = 10000) const;
    // Gives the window the focus and waits until the program has taken it in: a key that
    // does nothing (Shift) follows the focus in the server's order, and the program logs it
    // once it has handled both.
    bool focusTakenIn(qulonglong wid);

  private:
    void setFifoVariable();
    const Xvfb* x_;
    QTemporaryDir dir_;
    QString fifo_;
    QProcessEnvironment env_;
    QString program_;
    QProcess process_;
    QString out_, err_;
};

// Every file below a folder with what identifies its content: type, inode, size, times.
QMap<QString, QString> snapshot(const QString& dir);
// The processes that hold a file below the folder open.
QStringList openersOf(const QString& dir);

QString tamblinBinary();
QString standinBinary();
bool processGone(pid_t pid);
// Waits until cond() holds, up to ms.
bool waitUntil(const std::function<bool()>& cond, int ms);
