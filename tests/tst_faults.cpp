// Faults from every side: the player, the FIFO path, signals, a burst of keys, the session
// bus. Each run must end, or go on, within its bound, with exit status 0, the display given
// back, no file but the FIFO made or changed, and no process or open file left behind.
#include "harness.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <csignal>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

class FaultTest : public QObject
{
    Q_OBJECT

  private:
    std::unique_ptr<Xvfb> x;
    std::unique_ptr<PrivateBus> bus;

    void press(const QStringList& keys)
    {
        x->run("xdotool", QStringList{"key", "--delay", "0"} + keys);
    }

    void focus(TamblinRun& run)
    {
        const qulonglong wid = run.waitForWindow();
        QVERIFY(wid);
        x->focus(wid);
    }

    bool waitForQuits(TamblinRun& run, int count)
    {
        return waitUntil([&] { return run.received().count("quit 0") >= count; }, 10000);
    }

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

    void fault_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("boundMs");        // from the fault to the end of the run
        QTest::addColumn<QString>("diagnostic"); // what standard error must say, if anything
        const char* const faults[][3] = {
            {"player missing", "10000", "ended before it opened"},
            // "Pipe error.", then, with no player to open the FIFO, "Fifo Pipe error." at once.
            {"player cannot be started", "10000",
             "Problems with pipe: Resource temporarily unavailable\n"},
            {"player crashes mid-run", "8000", ""},
            {"player crashes mid-answer", "8000", ""},
            {"player never opens the FIFO", "20000", "did not open it"},
            {"player never answers", "20000", ""},
            {"player prints 10 MB before the first key and between two", "20000", ""},
            {"player ignores quit 0", "15000", "did not end, terminating"},
            {"FIFO path is a regular file", "10000", "is not a FIFO"},
            {"FIFO path is a symbolic link", "10000", "is a symbolic link"},
            {"FIFO of another user", "10000", "belongs to another user"},
            {"FIFO others may write", "10000", "may be written by others"},
            {"FIFO folder missing", "10000", "No such file or directory"},
            {"SIGTERM while an error dialog is up", "8000", ""},
            {"SIGTERM during the answer wait", "8000", ""},
            {"SIGINT during the answer wait", "8000", ""},
            {"SIGTERM during the one-second pause", "8000", ""},
            {"SIGINT during the one-second pause", "8000", ""},
            {"10000 keys in a burst", "120000", ""},
            {"no session bus", "8000", ""},
            {"screen saver gone mid-run", "8000", ""},
        };
        for (const auto& f : faults)
            QTest::newRow(f[0]) << QString::fromLatin1(f[0]) << QString(f[1]).toInt()
                                << QString::fromLatin1(f[2]);
    }

    void fault()
    {
        QFETCH(QString, fault);
        QFETCH(int, boundMs);
        QFETCH(QString, diagnostic);

        bus->startScreenSaver();
        const bool noBus = fault == "no session bus";
        TamblinRun run(x.get(), noBus ? nullptr : bus.get());
        const QByteArray fifo = QFile::encodeName(run.fifo());
        bool dialog = false;
        if (fault == "player missing") {
            QFile::remove(run.appDir() + "mplayer");
            dialog = true;
        } else if (fault == "player cannot be started") {
            run.env().insert("LD_PRELOAD", FAILFORK_LIB);
            dialog = true;
        } else if (fault == "player never opens the FIFO") {
            run.env().insert("STANDIN_NO_OPEN", "1");
            dialog = true;
        } else if (fault == "player never answers") {
            run.setControl("");
        } else if (fault.startsWith("player prints 10 MB")) {
            run.env().insert("STANDIN_FLOOD_IDLE", "10000000");
            run.setControl("answer ANS_MENU_VISIBILITY=0\nflood 10000000\n");
        } else if (fault == "player crashes mid-answer") {
            run.setControl("print ANS_LENGTH=8\npartial ANS_MENU_VIS\nexit\n");
        } else if (fault == "player ignores quit 0") {
            run.env().insert("STANDIN_ON_QUIT", "ignore");
            run.env().insert("STANDIN_IGNORE_TERM", "1");
        } else if (fault == "FIFO path is a regular file") {
            QFile f(run.fifo());
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("keep\n");
            dialog = true;
        } else if (fault == "FIFO path is a symbolic link") {
            QVERIFY(mkfifo(fifo + ".target", 0600) == 0);
            QVERIFY(symlink(fifo + ".target", fifo.constData()) == 0);
            dialog = true;
        } else if (fault == "FIFO of another user") {
            QVERIFY(mkfifo(fifo.constData(), 0600) == 0);
            QVERIFY(chown(fifo.constData(), 65534, 65534) == 0);
            dialog = true;
        } else if (fault == "FIFO others may write") {
            QVERIFY(mkfifo(fifo.constData(), 0600) == 0);
            QVERIFY(chmod(fifo.constData(), 0666) == 0);
            dialog = true;
        } else if (fault == "FIFO folder missing") {
            run.setFifo(run.root() + "/missing/pipe");
            dialog = true;
        } else if (fault == "SIGTERM while an error dialog is up") {
            run.setFifo(run.root() + "/missing/pipe");
        } else if (fault.contains("answer wait")) {
            run.setControl("sleep 1500\nanswer ANS_MENU_VISIBILITY=0\n");
        } else if (fault.contains("pause")) {
            run.env().insert("STANDIN_ON_QUIT", "linger");
        }
        const bool launchFails = dialog || fault.contains("dialog");
        const bool fifoExisted = QFile::exists(run.fifo()) || QFileInfo(run.fifo()).isSymLink();
        QMap<QString, QString> before = snapshot(run.root());

        run.start({"-ao null"});
        QElapsedTimer clock;
        clock.start();
        long long closing = -1; // before the close that starts the one-second pause
        if (dialog) {
            QVERIFY2(x->answerDialog("Return"), "no error dialog");
            if (fault == "player cannot be started")
                QVERIFY2(x->answerDialog("Return"), "no Fifo Pipe error dialog");
        } else if (fault == "SIGTERM while an error dialog is up") {
            QVERIFY(!x->waitForDialog().isEmpty());
            clock.restart();
            kill(run.pid(), SIGTERM);
        } else {
            QVERIFY(run.waitForReceived("OPEN"));
            focus(run);
            if (fault == "player crashes mid-run") {
                clock.restart();
                kill(run.standinPid(), SIGSEGV);
            } else if (fault == "player never answers" || fault == "player crashes mid-answer") {
                press({"Right"});
                press({"F2"});
            } else if (fault.startsWith("player prints 10 MB")) {
                // All of it gets out while no key is pressed: the window reads as it comes.
                QVERIFY(run.waitForReceived("FLOODED", 1, 30000));
                press({"Right"});
                QVERIFY(waitUntil(
                    [&] {
                        return processGone(run.standinPid()) || run.received().contains("seek +40");
                    },
                    5000));
                QVERIFY(run.waitForReceived("FLOODED", 2, 15000));
                clock.restart();
                run.setControl("answer ANS_MENU_VISIBILITY=0\n");
                press({"F2"});
            } else if (fault.contains("answer wait")) {
                press({"Right"});
                QVERIFY(run.waitForReceived("get_menu_visibility"));
                clock.restart();
                kill(run.pid(), fault.startsWith("SIGTERM") ? SIGTERM : SIGINT);
            } else if (fault.contains("pause")) {
                closing = monotonicMs();
                press({"F2"});
                QVERIFY(waitForQuits(run, 2)); // the destructor's quit: the pause has begun
                clock.restart();
                kill(run.pid(), fault.startsWith("SIGTERM") ? SIGTERM : SIGINT);
            } else if (fault == "10000 keys in a burst") {
                QStringList keys;
                for (int i = 0; i < 2500; ++i)
                    keys << "Right"
                         << "Left"
                         << "F9"
                         << "Prior";
                press(keys);
                QVERIFY2(
                    waitUntil([&] { return run.received().count("get_menu_visibility") >= 10000; },
                              boundMs),
                    qPrintable(QString::number(run.received().count("get_menu_visibility"))));
                press({"F2"});
            } else if (fault == "screen saver gone mid-run") {
                bus->stopScreenSaver();
                press({"F2"});
            } else {
                press({"F2"});
            }
        }

        // The run ends within its bound, cleanly.
        QVERIFY2(run.waitForExit(boundMs + 15000), "the run did not end");
        QVERIFY2(clock.elapsed() < boundMs, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(!run.crashed());
        QCOMPARE(run.exitCode(), 0);
        QVERIFY(run.out().endsWith("\nSetting Backlight State to 30s...  \n"));

        // The display is given back, or one line says why it could not be held: without a bus,
        // which hold is used instead (X's own screen saver, on Xvfb).
        if (noBus) {
            QCOMPARE(
                run.err().count("tamblin: no screen saver on the session bus (no session bus): "
                                "holding X's screen saver"),
                1);
        } else if (fault == "screen saver gone mid-run") {
            QCOMPARE(run.err().count("cannot keep the display on"), 1);
        } else {
            const QStringList calls = bus->saverLog().split('\n', Qt::SkipEmptyParts).mid(1);
            QCOMPARE(calls.size(), 2);
            QVERIFY(calls.at(1).startsWith("UnInhibit "));
        }

        // Nothing made or changed but the FIFO; the stand-in's own records aside.
        QMap<QString, QString> after = snapshot(run.root());
        for (QMap<QString, QString>* files : {&before, &after}) {
            for (auto it = files->begin(); it != files->end();) {
                if (it.key().startsWith(run.standinDir()) ||
                    (it.key() == run.fifo() && !(fifoExisted && launchFails)))
                    it = files->erase(it);
                else
                    ++it;
            }
        }
        QCOMPARE(after, before);
        if (!fifoExisted && !launchFails) {
            struct stat st;
            QVERIFY(lstat(fifo.constData(), &st) == 0 && S_ISFIFO(st.st_mode));
        }

        // No process left, and nothing holding the run's files open.
        QVERIFY2(waitUntil([&] { return processGone(run.standinPid()); }, 3000),
                 "player left behind");
        QVERIFY2(waitUntil([&] { return openersOf(run.root()).isEmpty(); }, 3000),
                 qPrintable(openersOf(run.root()).join(", ")));

        QVERIFY2(run.err().contains(diagnostic), qPrintable(run.err()));
        // A launch that failed sent the player nothing.
        if (dialog) {
            QVERIFY(!run.received().contains("get_menu_visibility"));
            QVERIFY(!run.received().contains("quit 0"));
        }

        // What each fault must show besides.
        if (fault.contains("pause")) {
            QList<Received> got = run.receivedTimed();
            long long eof = -1;
            for (const Received& r : got) {
                if (r.line == "EOF")
                    eof = r.ms;
            }
            // The stand-in stamps the FIFO's end when it gets to read it, never before.
            QVERIFY2(eof >= 0 && eof - closing >= 1000, "the pause was cut short");
        } else if (fault == "player cannot be started") {
            QVERIFY(run.standinArgs().isEmpty());
        } else if (fault == "player never answers") {
            QCOMPARE(run.err().count("no answer from the player"), 2);
        } else if (fault.startsWith("player prints 10 MB")) {
            QVERIFY(!run.err().contains("no answer"));
        } else if (fault == "10000 keys in a burst") {
            QStringList commands = run.received();
            commands.removeAll("get_menu_visibility");
            commands.removeAll("OPEN");
            commands.removeAll("quit 0");
            commands.removeAll("EOF");
            QCOMPARE(commands.size(), 10000);
            const QStringList cycle{"seek +40", "seek -40", "osd", "volume -10"};
            for (int i = 0; i < commands.size(); ++i) {
                if (commands.at(i) != cycle.at(i % 4))
                    QFAIL(qPrintable(QString("command %1 is %2").arg(i).arg(commands.at(i))));
            }
        }
    }
};

QTEST_GUILESS_MAIN(FaultTest)
#include "tst_faults.moc"
