#pragma once

#include <QWidget>

#include <cstdio>
#include <sys/types.h>

class QSocketNotifier;
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
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

  private:
    void setBackgroundColor(const QColor& color);
    static QSize screenSize();
    void launchPlayer();
    void playerOutputReady();
    void closeOnce();

    FILE* commandFifo = nullptr;
    FILE* playerOutput = nullptr;
    bool menuVisible = false;

    pid_t playerPid = -1;
    ReplyReader* reader = nullptr;
    QSocketNotifier* outputNotifier = nullptr;
    bool closing = false;
};
