// Every way out of a run: the player told to quit (twice after a close request), the FIFO
// closed a second later, the player waited for, the display given back, nothing left behind.
#include "harness.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <csignal>
#include <memory>
#include <sys/prctl.h>
#include <sys/stat.h>

namespace {

// Xorg on Debian's dummy video driver: unlike Xvfb it has DPMS, through the tests' own module
// (dpmsDummy.c) that gives the driver's screen what it lacks. It runs as root, on a
// configuration of its own, and names a free display once it takes connections.
class DummyXorg
{
  public:
    DummyXorg()
    {
        QDir(dir_.path()).mkpath("conf.d");
        QFile conf(dir_.filePath("xorg.conf"));
        if (!conf.open(QIODevice::WriteOnly))
            return;
        conf.write(QStringLiteral(R"(Section "Files"
    ModulePath "%1,/usr/lib/xorg/modules"
EndSection
Section "Module"
    Load "dpmsdummy"
EndSection
Section "ServerFlags"
    Option "AutoAddDevices" "false"
    Option "DontVTSwitch" "true"
EndSection
Section "Device"
    Identifier "card"
    Driver "dummy"
    VideoRam 4096
EndSection
Section "Monitor"
    Identifier "monitor"
    HorizSync 5.0-1000.0
    VertRefresh 5.0-200.0
    Modeline "640x480" 25.18 640 656 752 800 480 490 492 525
EndSection
Section "Screen"
    Identifier "screen"
    Device "card"
    Monitor "monitor"
    DefaultDepth 24
    SubSection "Display"
        Depth 24
        Modes "640x480"
        Virtual 640 480
    EndSubSection
EndSection
)")
                       .arg(DPMSDUMMY_DIR)
                       .toUtf8());
        conf.close();
        server_.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
        server_.start("Xorg", {"-config", conf.fileName(), "-configdir", dir_.filePath("conf.d"),
                               "-noreset", "-nolisten", "tcp", "-logfile", dir_.filePath("log"),
                               "-displayfd", "1"});
        waitUntil([&] { return server_.canReadLine() || server_.waitForReadyRead(50); }, 30000);
        const QByteArray number = server_.readLine().trimmed();
        if (!number.isEmpty())
            display_ = ":" + QString::fromLatin1(number);
    }
    ~DummyXorg()
    {
        server_.terminate();
        server_.waitForFinished(10000);
    }
    QString display() const { return display_; }
    QString log() const
    {
        QFile f(dir_.filePath("log"));
        return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll().right(3000)) : "";
    }

  private:
    QTemporaryDir dir_;
    QProcess server_;
    QString display_;
};

// "enabled", "disabled", or "none" where the server has no DPMS.
QString dpms(const Xvfb& x)
{
    return x.run(SAVERSTATE_BIN, {}).trimmed().section(' ', -1);
}

} // namespace

class ShutdownTest : public QObject
{
    Q_OBJECT

  private:
    std::unique_ptr<Xvfb> x;
    std::unique_ptr<PrivateBus> bus;
    std::unique_ptr<DummyXorg> xorg;

  private slots:
    void initTestCase()
    {
        x = std::make_unique<Xvfb>(320, 240);
        bus = std::make_unique<PrivateBus>();
    }

    void cleanupTestCase()
    {
        xorg.reset();
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

    // With no screen saver on the session bus, DPMS that a run turned off is on again after
    // every way out; where it was off before, it stays off.
    void dpmsBackOnAfterEveryWayOut_data()
    {
        QTest::addColumn<QString>("way");
        QTest::addColumn<bool>("onBefore");
        QTest::newRow("F2, menu hidden") << "F2" << true;
        QTest::newRow("SIGTERM") << "TERM" << true;
        QTest::newRow("window closed") << "close" << true;
        QTest::newRow("player crashed") << "crash" << true;
        QTest::newRow("off before: left off") << "F2" << false;
    }

    void dpmsBackOnAfterEveryWayOut()
    {
        QFETCH(QString, way);
        QFETCH(bool, onBefore);
        if (!xorg)
            xorg = std::make_unique<DummyXorg>();
        QVERIFY2(!xorg->display().isEmpty(), qPrintable("Xorg did not start:\n" + xorg->log()));
        const Xvfb screen(xorg->display(), 640, 480);
        screen.run("xset", {onBefore ? "+dpms" : "-dpms"});
        QCOMPARE(dpms(screen), onBefore ? "enabled" : "disabled");

        TamblinRun run(&screen, nullptr);
        run.start({"-ao null"});
        QVERIFY(run.waitForReceived("OPEN"));
        const qulonglong wid = run.waitForWindow();
        QVERIFY(wid);
        QVERIFY(waitUntil(
            [&] { return run.errSoFar().contains("holding X's screen saver and DPMS instead"); },
            10000));
        QCOMPARE(dpms(screen), "disabled");

        if (way == "F2") {
            screen.run("xdotool", {"windowfocus", "--sync", QString::number(wid)});
            screen.run("xdotool", {"key", "F2"});
        } else if (way == "close") {
            screen.run(SENDCLOSE_BIN, {QString::number(wid)});
        } else if (way == "TERM") {
            kill(run.pid(), SIGTERM);
        } else {
            kill(run.standinPid(), SIGSEGV);
        }
        QVERIFY2(run.waitForExit(20000), "the run did not end");
        QCOMPARE(dpms(screen), onBefore ? "enabled" : "disabled");
    }

    // With the screen saver gone mid-run, the run goes on and ends as usual, with one line on
    // standard error. (Without a session bus, X's own screen saver is held instead: tst_session's
    // displayHeldWithoutBus.)
    void screenSaverGoneMidRun()
    {
        bus->startScreenSaver();
        TamblinRun run(x.get(), bus.get());
        run.start({"-ao null"});
        QVERIFY(run.waitForReceived("OPEN"));
        const qulonglong wid = run.waitForWindow();
        bus->stopScreenSaver();
        x->focus(wid);
        x->run("xdotool", {"key", "F2"});
        QVERIFY(run.waitForExit(20000));
        QCOMPARE(run.exitCode(), 0);
        QVERIFY(run.out().endsWith("\nSetting Backlight State to 30s...  \n"));
        QCOMPARE(run.err().count("cannot keep the display on"), 1);
        QCOMPARE(run.err().count("tamblin: "), 1);
    }
};

QTEST_GUILESS_MAIN(ShutdownTest)
#include "tst_shutdown.moc"
