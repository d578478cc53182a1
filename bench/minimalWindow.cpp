// The baseline for start and idle figures: a minimal Qt Widgets program showing one black
// window full screen. On a key press it writes the time (8 bytes) to standard output and ends.
#include "monotonicClock.h"

#include <QApplication>
#include <QWidget>

#include <unistd.h>

class Window : public QWidget
{
  protected:
    void keyPressEvent(QKeyEvent*) override
    {
        const long long stamp = monotonicNs();
        if (write(STDOUT_FILENO, &stamp, sizeof stamp) < 0)
            _exit(1);
        QCoreApplication::exit(0);
    }
};

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    Window w;
    QPalette p = w.palette();
    p.setColor(QPalette::Window, Qt::black);
    w.setPalette(p);
    w.setAutoFillBackground(true);
    w.showFullScreen();
    return app.exec();
}
