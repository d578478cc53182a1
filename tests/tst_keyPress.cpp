// Every key of the map in both menu states, through the real window in-process. The test is
// the player: it holds the read end of the command FIFO and feeds the answers through a
// relay, so it sees exactly which bytes have left the window when keyPressEvent returns.
#include "mainWindow.h"

#include <QApplication>
#include <QFile>
#include <QPointingDevice>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

class KeyPressTest : public QObject
{
    Q_OBJECT

  private:
    QTemporaryDir dir;
    int commands = -1; // our read end of the command FIFO
    int answers = -1;  // what the relay passes on as the player's output
    mainWindow* window = nullptr;

    QByteArray takeCommands()
    {
        QByteArray all;
        char buf[4096];
        ssize_t n;
        while ((n = read(commands, buf, sizeof buf)) > 0)
            all.append(buf, int(n));
        return all;
    }

  private slots:
    void initTestCase()
    {
        signal(SIGPIPE, SIG_IGN); // as tamblin's main does, after QTest's own handlers
        const QByteArray fifo = QFile::encodeName(dir.path() + "/pipe");
        const QByteArray answerFifo = QFile::encodeName(dir.path() + "/answers");
        QVERIFY(mkfifo(fifo.constData(), 0600) == 0);
        QVERIFY(mkfifo(answerFifo.constData(), 0600) == 0);
        commands = open(fifo.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        answers = open(answerFifo.constData(), O_RDWR | O_CLOEXEC);
        QVERIFY(commands >= 0 && answers >= 0);

        // The "player" relays what the test writes to its standard output.
        QFile player(dir.path() + "/mplayer");
        QVERIFY(player.open(QIODevice::WriteOnly));
        player.write("#!/bin/sh\nread -r window <&\"$TAMBLIN_WINDOW_FD\"\n"
                     "echo \"$window\" >\"$ANSWERS.env\"\n"
                     "exec cat \"$ANSWERS\"\n");
        player.close();
        player.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

        qputenv("MYPATH", QFile::encodeName(dir.path() + "/"));
        qputenv("TAMBLIN_FIFO", fifo);
        qputenv("ANSWERS", answerFifo);
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent");
        window = new mainWindow(nullptr, "Tamblin");
    }

    void cleanupTestCase()
    {
        close(answers); // the relay ends
        delete window;
        QCOMPARE(takeCommands(), QByteArray("quit 0\n"));
        close(commands);
    }

    void identity()
    {
        QCOMPARE(window->objectName(), QStringLiteral("Tamblin"));
        QVERIFY(window->windowFlags() & Qt::FramelessWindowHint);
        QVERIFY(window->windowFlags() & Qt::CustomizeWindowHint);
        QCOMPARE(window->palette().color(QPalette::Window), QColor(Qt::black));
        // The player, and only the player, learns the window and its size.
        const QSize screen = QGuiApplication::primaryScreen()->size();
        const auto playerSaw = [&] {
            QFile env(dir.path() + "/answers.env");
            return env.open(QIODevice::ReadOnly) ? env.readAll().trimmed() : QByteArray();
        };
        QTRY_COMPARE(playerSaw(), QByteArray::number(qulonglong(window->winId())) + " " +
                                      QByteArray::number(screen.width()) + "x" +
                                      QByteArray::number(screen.height()));
        QVERIFY(qgetenv("TAMBLIN_WINDOW_FD").isEmpty());
    }

    // Gestures take the path of the keys they stand for. The answer to the query goes out just
    // before the step that ends the gesture: the window drains whatever the player prints
    // between key presses, whenever Qt gets to its events.
    void gestures_data()
    {
        QTest::addColumn<QString>("gesture");
        QTest::addColumn<bool>("visible");
        QTest::addColumn<QByteArray>("command");
        QTest::newRow("click") << "click" << false << QByteArray("pause\n");
        QTest::newRow("tap") << "tap" << true << QByteArray("menu ok\n");
        QTest::newRow("drag left") << "drag -1 0" << false << QByteArray("seek -40\n");
        QTest::newRow("swipe right") << "swipe 1 0" << false << QByteArray("seek +40\n");
        QTest::newRow("swipe up") << "swipe 0 -1" << true << QByteArray("menu up\n");
        QTest::newRow("drag down") << "drag 0 1" << false << QByteArray("seek +150\n");
        QTest::newRow("neither a tap nor a swipe") << "drag 0.2 0" << false << QByteArray();
        QTest::newRow("swipe down from the top edge")
            << "top" << true << QByteArray("menu cancel\n");
        QTest::newRow("two-finger tap") << "two" << true << QByteArray("menu cancel\n");
        QTest::newRow("wheel up") << "wheel 120" << false << QByteArray("volume +10\n");
        QTest::newRow("wheel down") << "wheel -120" << true << QByteArray("volume -10\n");
    }

    void gestures()
    {
        QFETCH(QString, gesture);
        QFETCH(bool, visible);
        QFETCH(QByteArray, command);
        window->applyFullScreen(); // the gestures' thresholds follow the screen
        const QSize size = window->size();
        const QPoint middle(size.width() / 2, size.height() / 2);
        const int stroke = qMin(size.width(), size.height()) * 3 / 10;
        const QStringList words = gesture.split(' ');
        const QPoint to = words.size() == 3 ? middle + QPoint(int(words[1].toDouble() * stroke),
                                                              int(words[2].toDouble() * stroke))
                                            : middle;
        static QPointingDevice* touch = QTest::createTouchDevice();
        QCoreApplication::processEvents();
        takeCommands();
        auto answer = [&] {
            if (command.isEmpty())
                return;
            const QByteArray a = visible ? "ANS_MENU_VISIBILITY=1\n" : "ANS_MENU_VISIBILITY=0\n";
            QCOMPARE(write(answers, a.constData(), size_t(a.size())), a.size());
        };

        if (words[0] == "click") {
            QTest::mousePress(window, Qt::LeftButton, {}, middle);
            answer();
            QTest::mouseRelease(window, Qt::LeftButton, {}, middle);
        } else if (words[0] == "drag") {
            QTest::mousePress(window, Qt::LeftButton, {}, middle);
            QTest::mouseMove(window, to);
            answer();
            QTest::mouseRelease(window, Qt::LeftButton, {}, to);
        } else if (words[0] == "tap") {
            QTest::touchEvent(window, touch).press(0, middle);
            answer();
            QTest::touchEvent(window, touch, false).release(0, middle).commit(false);
        } else if (words[0] == "swipe") {
            QTest::touchEvent(window, touch).press(0, middle);
            QTest::touchEvent(window, touch).move(0, to);
            answer();
            QTest::touchEvent(window, touch, false).release(0, to).commit(false);
        } else if (words[0] == "top") {
            const QPoint top(middle.x(), 1);
            QTest::touchEvent(window, touch).press(0, top);
            answer();
            QTest::touchEvent(window, touch, false)
                .release(0, top + QPoint(0, stroke))
                .commit(false);
        } else if (words[0] == "two") {
            const QPoint second = middle + QPoint(20, 0);
            QTest::touchEvent(window, touch).press(0, middle).press(1, second);
            answer();
            QTest::touchEvent(window, touch, false)
                .release(0, middle)
                .release(1, second)
                .commit(false);
        } else if (words[0] == "wheel") {
            answer();
            QWheelEvent wheel(middle, window->mapToGlobal(middle), {}, {0, words[1].toInt()},
                              Qt::NoButton, {}, Qt::NoScrollPhase, false);
            QApplication::sendEvent(window, &wheel);
        }
        QCOMPARE(takeCommands(),
                 command.isEmpty() ? QByteArray() : "get_menu_visibility\n" + command);
    }

    void keys_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("visible");
        QTest::addColumn<QByteArray>("command");
        struct Row
        {
            const char* name;
            int key;
            const char* whenVisible;
            const char* whenHidden;
        };
        const Row rows[] = {
            {"Return", Qt::Key_Return, "menu ok\n", "pause\n"},
            {"Left", Qt::Key_Left, "", "seek -40\n"},
            {"Up", Qt::Key_Up, "menu up\n", "seek -150\n"},
            {"Right", Qt::Key_Right, "", "seek +40\n"},
            {"Down", Qt::Key_Down, "menu down\n", "seek +150\n"},
            {"Prior", Qt::Key_PageUp, "volume -10\n", "volume -10\n"},
            {"Next", Qt::Key_PageDown, "volume +10\n", "volume +10\n"},
            {"F1", Qt::Key_F1, "", "set_menu main\n"},
            {"F9", Qt::Key_F9, "osd\n", "osd\n"},
            {"F11", Qt::Key_F11, "frame_drop\n", "frame_drop\n"},
            {"F26", Qt::Key_F26, "pause\n", "pause\n"},
            {"F28", Qt::Key_F28, "seek -300\n", "seek -300\n"},
            {"F29", Qt::Key_F29, "seek +300\n", "seek +300\n"},
            {"Enter", Qt::Key_Enter, "menu ok\n", "pause\n"},
            {"F27 (no row)", Qt::Key_F27, "", ""},
            {"A (no row)", Qt::Key_A, "", ""},
            {"VolumeUp", Qt::Key_VolumeUp, "volume +10\n", "volume +10\n"},
            {"VolumeDown", Qt::Key_VolumeDown, "volume -10\n", "volume -10\n"},
            {"VolumeMute", Qt::Key_VolumeMute, "mute\n", "mute\n"},
            {"MediaPlay", Qt::Key_MediaPlay, "pause\n", "pause\n"},
            {"MediaPause", Qt::Key_MediaPause, "pause\n", "pause\n"},
            {"MediaTogglePlayPause", Qt::Key_MediaTogglePlayPause, "pause\n", "pause\n"},
            {"MediaNext", Qt::Key_MediaNext, "seek +300\n", "seek +300\n"},
            {"MediaPrevious", Qt::Key_MediaPrevious, "seek -300\n", "seek -300\n"},
            {"Menu", Qt::Key_Menu, "", "set_menu main\n"},
            {"Select", Qt::Key_Select, "menu ok\n", "pause\n"},
            // The keys that end the run last: with the menu hidden they close the window.
            {"F2", Qt::Key_F2, "menu cancel\n", "quit 0\n"},
            {"MediaStop", Qt::Key_MediaStop, "menu cancel\n", "quit 0\n"},
            {"Escape", Qt::Key_Escape, "menu cancel\n", "quit 0\n"},
            {"Back", Qt::Key_Back, "menu cancel\n", "quit 0\n"},
        };
        for (const Row& r : rows) {
            QTest::addRow("%s, menu visible", r.name) << r.key << true << QByteArray(r.whenVisible);
            QTest::addRow("%s, menu hidden", r.name) << r.key << false << QByteArray(r.whenHidden);
        }
    }

    void keys()
    {
        QFETCH(int, key);
        QFETCH(bool, visible);
        QFETCH(QByteArray, command);
        const QByteArray answer = visible ? "ANS_MENU_VISIBILITY=1\n" : "ANS_MENU_VISIBILITY=0\n";
        QCOMPARE(write(answers, answer.constData(), size_t(answer.size())), answer.size());

        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(window, &press);

        // Everything has left the window by the time the key press returns: query first.
        QCOMPARE(takeCommands(), "get_menu_visibility\n" + command);
    }
};

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    KeyPressTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_keyPress.moc"
