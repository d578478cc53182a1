// Every way out of a run: the player told to quit (twice after a close request), the FIFO
// closed a second later, the player waited for, the display given back, nothing left behind.
#include "harness.h"

#include <QFile>
#include <QTest>

#include <csignal>
#include <memory>
#include <sys/stat.h>

class ShutdownTest : public QObject
{
    Q_OBJECT

  private:
    std::unique_ptr<Xvfb> x;
    std::unique_ptr<PrivateBus> bus;

  private slots:
    void initTestCase()
    {
        x = std::make_unique<Xvfb>(320, 240);
        bus = std::make_unique<PrivateBus>();
    }

    void cleanupTestCase()
    {
        bus.reset();
        x.reset();
    }

    void waysOut_data()
    {
        QTest::addColumn<QString>("way");
        QTest::addColumn<QString>("onQuit");
        QTest::addColumn<int>("quits"); // "quit 0" lines the player reads
        QTest::newRow("focus loss") << "focus"
                                    << "linger" << 2;
        QTest::newRow("F2, menu hidden") << "F2"
                                         << "linger" << 2;
        QTest::newRow("close from outside") << "close"
                                            << "linger" << 2;
        QTest::newRow("SIGTERM") << "TERM"
                                 << "linger" << 2;
        QTest::newRow("SIGINT") << "INT"
                                << "linger" << 2;
        QTest::newRow("SIGHUP") << "HUP"
                                << "linger" << 2;
        QTest::newRow("player exits at the first quit") << "F2"
                                                        << "exit" << 1;
        QTest::newRow("player's own end") << "end"
                                          << "exit" << 0;
        QTest::newRow("player ignores quit") << "focus"
                                             << "ignore" << 2;
    }

    void waysOut()
    {
        QFETCH(QString, way);
        QFETCH(QString, onQuit);
        QFETCH(int, quits);

        bus->startScreenSaver();
        TamblinRun run(x.get(), bus.get());
        run.env().insert("STANDIN_ON_QUIT", onQuit);
        if (onQuit == "ignore")
            run.env().insert("STANDIN_IGNORE_TERM", "1");
        if (way == "end")
            run.env().insert("STANDIN_EXIT_AFTER_MS", "1500");
        run.start({"-ao null"});
        QVERIFY(run.waitForReceived("OPEN"));
        const qulonglong wid = run.waitForWindow();
        QVERIFY(wid);
        const QString id = QString::number(wid);

        if (way == "focus")
            QVERIFY(run.focusTakenIn(wid));
        // The close comes after this moment, and the destructor's pause after the close.
        const long long closing = monotonicMs();
        if (way == "focus") {
            x->run("xdotool", {"windowfocus", x->rootWindow()});
        } else if (way == "F2") {
            x->run("xdotool", {"windowfocus", "--sync", id});
            x->run("xdotool", {"key", "F2"});
        } else if (way == "close") {
            x->run(SENDCLOSE_BIN, {id});
        } else if (way == "TERM" || way == "INT" || way == "HUP") {
            kill(run.pid(), way == "TERM" ? SIGTERM : way == "INT" ? SIGINT : SIGHUP);
        }
        QVERIFY2(run.waitForExit(20000), "the run did not end");
        QVERIFY(!run.crashed());
        QCOMPARE(run.exitCode(), 0);
        QVERIFY(run.out().endsWith("\nSetting Backlight State to 30s...  \n"));

        const QList<Received> got = run.receivedTimed();
        QList<Received> quitLines;
        long long eof = -1;
        for (const Received& r : got) {
            if (r.line == "quit 0")
                quitLines << r;
            if (r.line == "EOF")
                eof = r.ms;
        }
        QCOMPARE(quitLines.size(), quits);
        if (quits == 2) {
            const long long gap = quitLines.at(1).ms - quitLines.at(0).ms;
            // The close's quit and the destructor's, one right after the other.
            QVERIFY2(gap < 200, qPrintable(QString::number(gap)));
            // The destructor's pause: the FIFO closes about a second after its quit. The
            // stand-in stamps a line when it gets to read it, which a busy machine can delay
            // for the quit, but not bring forward for the FIFO's end: the full second counts
            // from before the close.
            QVERIFY(eof >= 0);
            const long long pause = eof - quitLines.at(1).ms;
            QVERIFY2(eof - closing >= 1000 && pause < 3000,
                     qPrintable(QString("%1 ms after the close, %2 ms after the quit")
                                    .arg(eof - closing)
                                    .arg(pause)));
        }

        // The display given back, the FIFO left, the player gone.
        const QStringList calls = bus->saverLog().split('\n', Qt::SkipEmptyParts).mid(1);
        QCOMPARE(calls.size(), 2);
        QVERIFY(calls.at(1).startsWith("UnInhibit "));
        struct stat st;
        QVERIFY(lstat(QFile::encodeName(run.fifo()).constData(), &st) == 0 && S_ISFIFO(st.st_mode));
        QVERIFY(waitUntil([&] { return processGone(run.standinPid()); }, 2000));
        if (onQuit == "ignore")
            QVERIFY(run.err().contains("did not end, terminating"));
    }

    // Without a session bus, or with the screen saver gone mid-run, the run goes on and ends
    // as usual, with one line on standard error: without a bus, that X's own screen saver is
    // held instead.
    void screenSaverMissing_data()
    {
        QTest::addColumn<bool>("anyBus");
        QTest::newRow("no session bus") << false;
        QTest::newRow("service gone mid-run") << true;
    }

    void screenSaverMissing()
    {
        QFETCH(bool, anyBus);
        bus->startScreenSaver();
        TamblinRun run(x.get(), anyBus ? bus.get() : nullptr);
        run.start({"-ao null"});
        QVERIFY(run.waitForReceived("OPEN"));
        const qulonglong wid = run.waitForWindow();
        bus->stopScreenSaver();
        x->focus(wid);
        x->run("xdotool", {"key", "F2"});
        QVERIFY(run.waitForExit(20000));
        QCOMPARE(run.exitCode(), 0);
        QVERIFY(run.out().endsWith("\nSetting Backlight State to 30s...  \n"));
        if (anyBus)
            QCOMPARE(run.err().count("cannot keep the display on"), 1);
        else
            QCOMPARE(
                run.err().count("tamblin: no screen saver on the session bus (no session bus): "
                                "holding X's screen saver"),
                1);
        QCOMPARE(run.err().count("tamblin: "), 1);
    }
};

QTEST_GUILESS_MAIN(ShutdownTest)
#include "tst_shutdown.moc"
