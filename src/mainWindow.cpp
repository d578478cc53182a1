#include "mainWindow.h"

#include "platform/ZApplication.h"
#include "platform/ZMessageDlg.h"
#include "platform/lcdSleepTime.h"
#include "player/commandChannel.h"
#include "player/fifoOpen.h"
#include "player/gestures.h"
#include "player/keyMap.h"
#include "player/playerLaunch.h"
#include "player/playerProcess.h"
#include "player/replyReader.h"
#include "startTrace.h"
#include "terminationSignals.h"
#include "translate.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QScreen>
#include <QSocketNotifier>
#include <QTimer>
#include <QTouchEvent>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <sys/wait.h>

namespace {

// Custom style, no border; Qt 6 has no "no erase on resize" flag (see WA_StaticContents).
const Qt::WindowFlags kWindowFlags = Qt::Window | Qt::CustomizeWindowHint | Qt::FramelessWindowHint;

const int kBacklightOnSeconds = 86400;
const int kBacklightNormalSeconds = 30;
// Bounds on waits the player could otherwise stretch without end.
const int kFifoOpenTimeoutMs = 10000;
const int kPlayerQuitGraceMs = 5000;
// The pointer shows while it moves, and goes after this long at rest.
const int kPointerIdleMs = 1000;

// The full second, also when a signal interrupts the sleep.
void pauseOneSecond()
{
    timespec left{1, 0};
    while (nanosleep(&left, &left) < 0 && errno == EINTR) {
    }
}

// A player that did not end well is worth a line; the run ends as any run does.
void reportPlayerEnd(int status)
{
    if (WIFSIGNALED(status)) {
        fprintf(stderr, "tamblin: the player was ended by signal %d (%s)\n", WTERMSIG(status),
                strsignal(WTERMSIG(status)));
    } else if (WIFEXITED(status) && WEXITSTATUS(status) > 128) {
        // The shell reports a command that a signal ended as 128 and the signal.
        const int signal = WEXITSTATUS(status) - 128;
        fprintf(stderr, "tamblin: the player was ended by signal %d (%s)\n", signal,
                strsignal(signal));
    } else if (WIFEXITED(status) && WEXITSTATUS(status) != 0) {
        fprintf(stderr, "tamblin: the player ended with status %d\n", WEXITSTATUS(status));
    }
}

// The program's arguments as the launch takes them: the bytes they came as, after Qt took its own.
std::vector<std::string> launchArguments()
{
    std::vector<std::string> args;
    for (const QByteArray& a : ZApplication::rawArguments())
        args.push_back(a.toStdString());
    return args;
}

bool showError(QWidget* parent, const char* text)
{
    ZMessageDlg dialog(QString::fromUtf8(::tr("Error")), QString::fromUtf8(text),
                       ZMessageDlg::TypeError, 0, parent, "pipe", true, 1);
    return dialog.exec() != 0;
}

} // namespace

mainWindow::mainWindow(QWidget* parent, const char* name) : QWidget(parent, kWindowFlags)
{
    setObjectName(QString::fromLatin1(name));
    setAttribute(Qt::WA_StaticContents);
    // A top-level widget gets focus events only when it takes focus.
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_AcceptTouchEvents);
    setMouseTracking(true);
    setCursor(Qt::BlankCursor);
    menuVisible = false;

    gestures = new GestureTracker(this);
    connect(gestures, &GestureTracker::key, this, &mainWindow::handleKey);
    // The long press comes while the finger is still down: when its time has come on the
    // events' clock, measured from the event that armed it.
    gestureTick = new QTimer(this);
    gestureTick->setSingleShot(true);
    connect(gestureTick, &QTimer::timeout, this, [this] { gestures->tick(gestures->deadline()); });
    pointerIdle = new QTimer(this);
    pointerIdle->setSingleShot(true);
    pointerIdle->setInterval(kPointerIdleMs);
    connect(pointerIdle, &QTimer::timeout, this, [this] { setCursor(Qt::BlankCursor); });

    auto* stopSignals = new TerminationSignals(this);
    connect(stopSignals, &TerminationSignals::received, this, [this] {
        // An error dialog of the launch must not keep the run from ending.
        if (QWidget* dialog = QApplication::activeModalWidget())
            dialog->close();
        closeOnce();
    });

    // The launch says "Controlling Backlight state..." first, in the log's order; the hold
    // itself is taken once the player is on its way: a call on the session bus need not hold
    // up its start.
    setBackgroundColor(Qt::black);
    launchPlayer();
}

mainWindow::~mainWindow()
{
    delete outputNotifier;
    const bool toldToQuit = commandFifo != nullptr;
    if (commandFifo) {
        writeCommand(commandFifo, "quit 0\n");
        flushCommands(commandFifo);
        pauseOneSecond();
        fclose(commandFifo);
        commandFifo = nullptr;
    }
    if (playerOutput) {
        // A player that was never told to quit is ended at once.
        const int status =
            closePlayer(playerOutput, playerPid, toldToQuit ? kPlayerQuitGraceMs : 0);
        reportPlayerEnd(status);
        playerOutput = nullptr;
    }
    delete reader;
    puts("Setting Backlight State to 30s...  ");
    PM_setupLcdSleepTime(kBacklightNormalSeconds);
}

void mainWindow::setBackgroundColor(const QColor& color)
{
    QPalette p = palette();
    p.setColor(QPalette::Window, color);
    setPalette(p);
    setAutoFillBackground(true);
}

QSize mainWindow::screenSize()
{
    const QRect desktop = QGuiApplication::primaryScreen()->geometry();
    return QSize(desktop.right() - desktop.left() + 1, desktop.bottom() - desktop.top() + 1);
}

void mainWindow::applyFullScreen()
{
    setBackgroundColor(Qt::black);
    setFixedSize(screenSize());
    gestures->setScreenSize(screenSize());
    showNormal();
    // Only flags that are set already: different flags would recreate the native window.
    setWindowFlags(windowFlags() | kWindowFlags);
    showFullScreen();
}

void mainWindow::launchPlayer()
{
    // Made before the toolkit started, where it could be; else made now.
    PlayerLaunch* early = takeEarlyLaunch();
    // On a Wayland display without X, the window has no X window id: a player told to draw
    // into it fails in its own way. Say so, and take the path of a player that did not start.
    const bool drawable = !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
    PlayerLaunch launch = early ? *early : startLaunch(launchArguments(), drawable);
    // The player finds our window here, and the size it will have.
    const WId window = winId();
    traceStart("window", "window-created");
    const QSize size = screenSize();
    tellWindow(&launch, qulonglong(window), size.width(), size.height());
    playerOutput = launch.output;
    playerPid = launch.pid;

    if (!launch.fifoUsable) {
        fprintf(stderr, "tamblin: not using %s: %s\n", launch.fifo.c_str(), launch.fifoWhy.c_str());
        PM_setupLcdSleepTime(kBacklightOnSeconds);
        if (showError(this, ::tr("Fifo Pipe error.")))
            ZApplication::requestQuit();
        return;
    }
    if (!drawable)
        fprintf(stderr, "tamblin: this is a Wayland display without X (no DISPLAY): the player "
                        "can only draw into an X window, so it is not started\n");
    PM_setupLcdSleepTime(kBacklightOnSeconds);
    errno = launch.startError; // for perror, whatever the hold met
    if (!playerOutput) {
        perror("Problems with pipe");
        // Translators: the window could not make the pipe to the player; a dialog's text.
        if (showError(this, ::tr("Pipe error.")))
            ZApplication::requestQuit();
    } else {
        reader = new ReplyReader(playerOutput);
    }

    commandFifo = openCommandFifo(launch.fifo.c_str(), reader, kFifoOpenTimeoutMs);
    if (!commandFifo) {
        if (showError(this, ::tr("Fifo Pipe error.")))
            ZApplication::requestQuit();
        return;
    }

    if (reader) {
        // Between key presses the player's output is read as it comes and dropped, so that a
        // talkative player never blocks on a full pipe.
        outputNotifier = new QSocketNotifier(reader->fd(), QSocketNotifier::Read, this);
        connect(outputNotifier, &QSocketNotifier::activated, this, &mainWindow::playerOutputReady);
    }
}

void mainWindow::playerOutputReady()
{
    if (reader->drain())
        return;
    // The player has ended by itself: nothing more to play, so the run ends too.
    outputNotifier->setEnabled(false);
    closeOnce();
}

void mainWindow::closeOnce()
{
    if (!closing)
        close();
}

void mainWindow::keyPressEvent(QKeyEvent* e)
{
    handleKey(e->key());
    if (speechHold.pressed(e->key(), e->isAutoRepeat(), qint64(e->timestamp())))
        toggleSpeech();
}

void mainWindow::keyReleaseEvent(QKeyEvent* e)
{
    if (speechHold.released(e->key(), e->isAutoRepeat(), qint64(e->timestamp())))
        toggleSpeech();
}

void mainWindow::toggleSpeech()
{
    if (commandFifo &&
        (!writeCommand(commandFifo, kSpeechToggleCommand) || !flushCommands(commandFifo)))
        closeOnce();
}

void mainWindow::handleKey(int key)
{
    bool playerGone = false;
    if (commandFifo && reader) {
        const MenuState state = queryMenuVisibility(commandFifo, *reader);
        menuVisible = state.visible;
        playerGone = state.playerGone;
    } else {
        menuVisible = false;
    }

    if (applyKey(key, menuVisible, commandFifo))
        close();

    if (commandFifo && !flushCommands(commandFifo))
        playerGone = true;
    fflush(stdout);
    if (playerGone) {
        if (outputNotifier)
            outputNotifier->setEnabled(false);
        closeOnce();
    }
}

void mainWindow::focusInEvent(QFocusEvent* e)
{
    Q_UNUSED(e);
    applyFullScreen();
}

void mainWindow::focusOutEvent(QFocusEvent* e)
{
    Q_UNUSED(e);
    close();
}

void mainWindow::closeEvent(QCloseEvent* e)
{
    if (commandFifo)
        writeCommand(commandFifo, "quit 0\n");
    closing = true;
    // An accepted close would hide the window; the run ends when the event loop returns.
    e->ignore();
    ZApplication::requestQuit();
}

void mainWindow::showPointerAWhile()
{
    unsetCursor();
    pointerIdle->start();
}

bool mainWindow::event(QEvent* e)
{
    switch (e->type()) {
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd: {
        auto* touch = static_cast<QTouchEvent*>(e);
        // Taken: Qt then makes no mouse events of it, which would be a second gesture.
        touch->accept();
        const QList<QEventPoint>& points = touch->points();
        if (points.isEmpty())
            return true;
        const QPointF at = points.first().position();
        const int fingers = int(points.size());
        const qint64 now = qint64(touch->timestamp());
        if (e->type() == QEvent::TouchBegin)
            gestures->press(at, now, fingers);
        else if (e->type() == QEvent::TouchUpdate)
            gestures->move(at, now, fingers);
        else
            gestures->release(at, now);
        scheduleGestureTick(now);
        return true;
    }
    case QEvent::TouchCancel:
        e->accept();
        gestures->cancel();
        scheduleGestureTick(0);
        return true;
    case QEvent::Paint:
        if (!painted) {
            painted = true;
            traceStart("window", "painted");
        }
        return QWidget::event(e);
    default:
        return QWidget::event(e);
    }
}

void mainWindow::mousePressEvent(QMouseEvent* e)
{
    showPointerAWhile();
    if (e->button() == Qt::LeftButton) {
        gestures->press(e->position(), qint64(e->timestamp()));
        scheduleGestureTick(qint64(e->timestamp()));
    }
}

void mainWindow::mouseMoveEvent(QMouseEvent* e)
{
    showPointerAWhile();
    if (e->buttons() & Qt::LeftButton) {
        gestures->move(e->position(), qint64(e->timestamp()));
        scheduleGestureTick(qint64(e->timestamp()));
    }
}

void mainWindow::mouseReleaseEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton) {
        gestures->release(e->position(), qint64(e->timestamp()));
        scheduleGestureTick(qint64(e->timestamp()));
    }
}

void mainWindow::scheduleGestureTick(qint64 now)
{
    const qint64 due = gestures->deadline();
    if (due < 0)
        gestureTick->stop();
    else
        gestureTick->start(int(qBound<qint64>(0, due - now, qint64(kLongPressMs))));
}

void mainWindow::wheelEvent(QWheelEvent* e)
{
    gestures->wheel(e->angleDelta().y());
}
