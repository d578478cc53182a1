#pragma once

#include "player/keyHold.h"

#include <QWidget>

#include <cstdio>
#include <sys/types.h>

class GestureTracker;
class QSocketNotifier;
class QTimer;
class ReplyReader;

// The one window: black, borderless and full screen. It starts the player, turns key presses
// into player commands and ends the run on any close request, losing focus included.
class mainWindow : public QWidget
{
    Q_OBJECT
  public:
    mainWindow(QWidget* parent = nullptr, const char* name = nullptr);
    ~mainWindow() override;

    void applyFullScreen();

  protected:
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    // Touch and pointer gestures, and the wheel, become keys.
    bool event(QEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;

  private:
    void setBackgroundColor(const QColor& color);
    static QSize screenSize();
    void launchPlayer();
    void playerOutputReady();
    void closeOnce();
    // The one path of every key, pressed or made by a gesture: the menu query, the key map, the
    // flush.
    void handleKey(int key);
    // F1 held: the adapter turns speech on or off.
    void toggleSpeech();
    void showPointerAWhile();
    // Asks for the gesture tracker's tick when it is due, seen from an event at `now`.
    void scheduleGestureTick(qint64 now);

    FILE* commandFifo = nullptr;
    FILE* playerOutput = nullptr;
    bool menuVisible = false;

    pid_t playerPid = -1;
    ReplyReader* reader = nullptr;
    QSocketNotifier* outputNotifier = nullptr;
    bool closing = false;
    bool painted = false; // the first paint is a mark of the start
    GestureTracker* gestures = nullptr;
    QTimer* pointerIdle = nullptr;
    QTimer* gestureTick = nullptr;
    KeyHold speechHold{Qt::Key_F1, kSpeechHoldMs}; // turns speech on or off
};
