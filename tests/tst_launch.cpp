// The real program on a real X server: the player's start, the window and the FIFO, with a
// stand-in player and a stand-in screen saver on a private bus. The launch failures are in the
// fault suite's table.
#include "harness.h"

#include <QFile>
#include <QTest>

#include <memory>
#include <sys/stat.h>
#include <unistd.h>

class LaunchTest : public QObject
{
    Q_OBJECT

  private:
    std::unique_ptr<Xvfb> x;
    std::unique_ptr<PrivateBus> bus;

    // Takes the focus to the window, then away from it.
    void loseFocus(TamblinRun& run, qulonglong wid)
    {
        QVERIFY(run.focusTakenIn(wid));
        x->run("xdotool", {"windowfocus", x->rootWindow()});
    }

    void checkCleanEnd(TamblinRun& run)
    {
        QVERIFY2(run.waitForExit(20000), "the run did not end");
        QVERIFY(!run.crashed());
        QCOMPARE(run.exitCode(), 0);
        QVERIFY(run.out().endsWith("Setting Backlight State to 30s...  \n"));
        const pid_t player = run.standinPid();
        QVERIFY2(waitUntil([&] { return processGone(player); }, 3000), "player left behind");
    }

  private slots:
    void initTestCase()
    {
        x = std::make_unique<Xvfb>(640, 480);
        bus = std::make_unique<PrivateBus>();
        bus->startScreenSaver();
    }

    void cleanupTestCase()
    {
        bus.reset();
        x.reset();
    }

    // An existing FIFO is used as it is; otherwise one is made.
    void startsThePlayerAndEndsOnFocusLoss_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QStringList>("tail");
        QTest::addColumn<QString>("argsLine");
        QTest::addColumn<QString>("mediaLine");
        QTest::addColumn<bool>("fifoThere");
        const QString menu = "-menu-startup @bg";
        QTest::newRow("no arguments, the FIFO there already")
            << QStringList() << QStringList{"-menu-startup", "@bg"} << "" << menu << true;
        QTest::newRow("Qt's own options taken out")
            << QStringList{"-platform", "xcb", "-ao null -fs", "-style", "fusion"}
            << QStringList{"-ao", "null", "-fs", "-menu-startup", "@bg"} << "-ao null -fs " << menu
            << false;
        // The media argument is one word, whatever it holds.
        QTest::newRow("options and media")
            << QStringList{"-ao null", "/tmp/clip one.avi", "ignored"}
            << QStringList{"-ao", "null", "/tmp/clip one.avi"} << "-ao null "
            << "/tmp/clip one.avi" << false;
    }

    void startsThePlayerAndEndsOnFocusLoss()
    {
        QFETCH(QStringList, args);
        QFETCH(QStringList, tail);
        QFETCH(QString, argsLine);
        QFETCH(QString, mediaLine);
        QFETCH(bool, fifoThere);

        bus->startScreenSaver();
        TamblinRun run(x.get(), bus.get());
        const QByteArray fifo = QFile::encodeName(run.fifo());
        struct stat before = {};
        QVERIFY(!fifoThere ||
                (mkfifo(fifo.constData(), 0600) == 0 && lstat(fifo.constData(), &before) == 0));
        run.start(args);
        QVERIFY(run.waitForReceived("OPEN"));
        const qulonglong wid = run.waitForWindow();
        QVERIFY2(wid, "the window did not show up");

        QStringList expected{"-slave", "-input", "file=" + run.fifo(),
                             "-quiet", "-nortc", "-nocache"};
        for (const QString& word : tail)
            expected << (word == "@bg" ? run.appDir() + "background.avi" : word);
        QCOMPARE(run.standinArgs(), expected);

        // The window id handed to the player is the window on screen, over the whole screen.
        const QString info = x->run("xwininfo", {"-id", QString::number(wid)});
        QVERIFY(info.contains("Absolute upper-left X:  0\n"));
        QVERIFY(info.contains("Absolute upper-left Y:  0\n"));
        QVERIFY(info.contains(QStringLiteral("Width: %1\n").arg(x->width())));
        QVERIFY(info.contains(QStringLiteral("Height: %1\n").arg(x->height())));
        QVERIFY(x->run("xprop", {"-id", QString::number(wid), "WM_CLASS"}).contains("tamblin"));

        // A focus gain presents the window again, without a new native window.
        QVERIFY(run.focusTakenIn(wid));
        QCOMPARE(x->run("xdotool", {"getwindowfocus"}).trimmed(), QString::number(wid));
        const QString again = x->run("xwininfo", {"-id", QString::number(wid)});
        QVERIFY(again.contains("IsViewable"));
        QVERIFY(again.contains(QStringLiteral("Width: %1\n").arg(x->width())));

        loseFocus(run, wid);
        checkCleanEnd(run);

        const QString media = QString(mediaLine).replace("@bg", run.appDir() + "background.avi");
        // mkfifo's status: it fails on a FIFO that is there.
        const QString made = run.out().section("Create fifo file...  ", 1).section('\n', 0, 0);
        QVERIFY2(fifoThere ? made.toInt() > 0 : made == "0", qPrintable(made));
        QCOMPARE(run.out(), "Controlling Backlight state...  \n"
                            "MYPATH: " +
                                run.appDir() +
                                "\n"
                                "MPLAYER_HOME: (unset)\n"
                                "Create fifo file...  " +
                                made + "\n" + "args: " + argsLine + "\nvideo cmd: " + media +
                                "\n"
                                // the two keys that showed the focus taken in
                                "Unknown Key: 16777248\n"
                                "Unknown Key: 16777248\n"
                                "Setting Backlight State to 30s...  \n");

        struct stat st;
        QVERIFY(lstat(fifo.constData(), &st) == 0);
        QVERIFY(S_ISFIFO(st.st_mode));
        QCOMPARE(st.st_mode & 077, 0u);
        QVERIFY(!fifoThere || st.st_ino == before.st_ino);

        // One inhibition for the run, released at its end.
        const QStringList calls = bus->saverLog().split('\n', Qt::SkipEmptyParts).mid(1);
        QCOMPARE(calls.size(), 2);
        QVERIFY(calls.at(0).startsWith("Inhibit tamblin "));
        QCOMPARE(calls.at(1), "UnInhibit " + calls.at(0).section("-> ", 1));
    }

    // Escape rejects the dialog: the run goes on without a command FIFO, its keys ask nothing
    // and send nothing, and F2 ends it.
    void dismissingTheDialogGoesOn()
    {
        TamblinRun run(x.get(), bus.get());
        QVERIFY(run.startWithoutCommandFifo());
        const qulonglong wid = run.waitForWindow();
        QVERIFY(wid);
        x->focus(wid);
        for (const char* key : {"Return", "F9", "F2"})
            x->run("xdotool", {"key", key});
        checkCleanEnd(run);
        QVERIFY(!run.err().contains("no answer"));
    }
};

QTEST_GUILESS_MAIN(LaunchTest)
#include "tst_launch.moc"
