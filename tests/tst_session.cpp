// tamblin-session, the program a device boots into: a new run with a new player after each end,
// the bound on runs that end as soon as they start, the menu's Quit as the way out, signals
// that end it with nothing left; the X session through xinit and the Wayland session in
// headless cage, each as a display manager or a console login would start it. And the display
// held without a screen-saver service: X's own screen saver suspended for the run and given
// back on every way out.
#include "adapterSession.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTest>

#include <csignal>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString sessionBinary()
{
    return QStringLiteral(SESSION_BIN);
}

// The start menu: white letters over the background.
bool menuLetters(const QImage& image)
{
    int letters = 0;
    for (int y = 0; y < image.height(); y += 2)
        for (int x = 0; x < image.width(); x += 2)
            letters += qGray(image.pixel(x, y)) > 235;
    return letters > 200;
}

// The pid of the window of run N, from the session's log.
pid_t runPid(const QString& log, int run)
{
    const QRegularExpression started(
        QStringLiteral("run %1 started: .* \\(pid (\\d+)\\)").arg(run));
    return pid_t(started.match(log).captured(1).toInt());
}

QStringList traceLines(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()).split('\n')
                                       : QStringList();
}

// The adapter's and the player's pids of every run so far, from the adapter's trace.
QList<QList<pid_t>> runPids(const QStringList& trace)
{
    QList<QList<pid_t>> runs;
    for (const QString& l : trace) {
        if (l.startsWith("# pids "))
            runs.append({pid_t(l.section(' ', 2, 2).toInt()), pid_t(l.section(' ', 3, 3).toInt())});
    }
    return runs;
}

QList<pid_t> childrenOf(pid_t parent)
{
    QList<pid_t> found;
    for (const QString& pid : QDir("/proc").entryList(QDir::Dirs)) {
        QFile stat("/proc/" + pid + "/stat");
        if (pid.toInt() && stat.open(QIODevice::ReadOnly) &&
            QString::fromLatin1(stat.readAll()).section(')', -1).section(' ', 2, 2).toInt() ==
                parent)
            found << pid_t(pid.toInt());
    }
    return found;
}

// A display number that no server uses, for a server started by xinit.
int freeDisplay()
{
    for (int n = 90; n < 200; ++n) {
        if (!QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(n)) &&
            !QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)))
            return n;
    }
    return -1;
}

// "saver on|off|disabled IDLE-MS dpms ..." from the X server.
QStringList saverState(const Xvfb& x)
{
    return x.run(SAVERSTATE_BIN, {}).trimmed().split(' ');
}

// A test that failed half-way leaves nothing running: the session ends its run as it would.
void stopIfRunning(TamblinRun& run)
{
    if (run.pid() > 0) // 0 once it has ended: kill(0) would be our own process group
        kill(run.pid(), SIGTERM);
    run.waitForExit(30000);
}

} // namespace

class SessionTest : public QObject
{
    Q_OBJECT

  private:
    std::unique_ptr<Xvfb> x;
    QTemporaryDir scratch;

    void press(const QString& key) { x->run("xdotool", {"key", key}); }

    // Run N's start menu is at rest (the player stopped under it) and on screen, with the
    // window focused.
    bool startMenuOfRun(AdapterSession& s, int run)
    {
        if (!s.waitFor("# stopped", run, 30000) || runPids(s.traceLines()).size() != run)
            return false;
        if (!menuLetters(screenshot(*x, scratch.path())))
            return false;
        const qulonglong wid = s.run.waitForWindow();
        if (!wid)
            return false;
        x->focus(wid);
        return true;
    }

  private slots:
    void initTestCase() { x = std::make_unique<Xvfb>(640, 480); }
    void cleanupTestCase() { x.reset(); }

    // F2 F2 ends a run and a new run with a new player shows the start menu; then a signal ends
    // the run in its orderly way and the session, with nothing left running. What started the
    // session going (its compositor, say) is a hangup. A child the session had before its first
    // run (Debian's Xsession starts ssh-agent so) is not the run's: it is left alone.
    void newRunThenSignal_data()
    {
        QTest::addColumn<int>("sig");
        QTest::addColumn<bool>("parentGone");
        QTest::newRow("SIGTERM") << int(SIGTERM) << false;
        QTest::newRow("what started it, with a child of its own, is gone") << int(SIGHUP) << true;
    }

    void newRunThenSignal()
    {
        QFETCH(int, sig);
        QFETCH(bool, parentGone);
        AdapterSession s(x.get());
        const QString childFile = s.run.root() + "/child";
        auto noChild = qScopeGuard([&] {
            QFile f(childFile);
            const pid_t pid =
                f.open(QIODevice::ReadOnly) ? pid_t(f.readAll().trimmed().toInt()) : 0;
            if (pid > 0) // kill(0) would be our own process group
                kill(pid, SIGKILL);
        });
        // The session's log in files when its parent is a shell of ours, to be killed.
        const QString errFile = s.run.root() + "/session.err",
                      outFile = s.run.root() + "/session.out";
        const auto readFile = [](const QString& path) {
            QFile f(path);
            return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()) : QString();
        };
        const auto err = [&] { return parentGone ? readFile(errFile) : s.run.errSoFar(); };
        s.run.env().insert("TAMBLIN_SESSION_PROGRAM", tamblinBinary());
        if (parentGone) {
            // A shell that forks a child, then becomes the session: a child from before it.
            s.run.setProgram("/bin/sh");
            s.run.start({"-c",
                         "s=$0 o=$1 e=$2 c=$3; shift 3; "
                         "(sleep 600 & echo $! >\"$c\"; exec \"$s\" \"$@\") >\"$o\" 2>\"$e\"; true",
                         sessionBinary(), outFile, errFile, childFile, "-ao null"});
        } else {
            s.run.setProgram(sessionBinary());
            s.run.start({"-ao null"});
        }
        auto stopSession = qScopeGuard([&] { stopIfRunning(s.run); });
        QVERIFY(startMenuOfRun(s, 1));
        press("F2");
        QVERIFY(s.waitFor("> menu cancel"));
        QElapsedTimer restart;
        restart.start();
        press("F2");
        // How long each step of the restart takes: the run's orderly end (with its one-second
        // pause after the quit), a pause when the run was short (keys pressed within 5 s of its
        // start), and the next run up to its start menu at rest.
        QVERIFY(waitUntil([&] { return err().contains("run 1 ended"); }, 20000));
        const long long ended = restart.elapsed();
        QVERIFY(waitUntil([&] { return err().contains("run 2 started"); }, 20000));
        const long long started = restart.elapsed();
        QVERIFY(startMenuOfRun(s, 2));
        qInfo("F2 to: run ended %lld ms, next run started %lld ms, its start menu at rest %lld ms",
              ended, started, restart.elapsed());

        const QString log = err();
        QVERIFY2(log.contains("run 1 ended with status 0 after"), qPrintable(log));
        const QList<QList<pid_t>> pids = runPids(s.traceLines());
        const QList<pid_t> windows{runPid(log, 1), runPid(log, 2)};
        QVERIFY(windows[0] > 0 && windows[1] > 0 && windows[0] != windows[1]);
        QVERIFY(pids[0][1] != pids[1][1]); // a new player
        for (pid_t pid : pids[0] + QList<pid_t>{windows[0]})
            QVERIFY(processGone(pid));

        QVERIFY(s.run.pid() > 0);
        pid_t session = s.run.pid();
        if (parentGone) {
            session = childrenOf(s.run.pid()).value(0);
            QVERIFY(session > 0);
            kill(s.run.pid(), SIGKILL);
        } else {
            kill(s.run.pid(), sig);
        }
        QVERIFY(waitUntil([&] { return processGone(session); }, 30000));
        QVERIFY(s.run.waitForExit(30000));
        if (!parentGone)
            QCOMPARE(s.run.exitCode(), 0);
        const QString name = "SIG" + QString::fromLatin1(sigabbrev_np(sig));
        QVERIFY2(err().contains(name + ": ending run 2\n"), qPrintable(err()));
        QVERIFY(err().contains("the session ends on " + name + "\n"));
        // Both runs ended as a run ends: the player told to quit, the display given back.
        const QString out = parentGone ? readFile(outFile) : s.run.out();
        QCOMPARE(out.count("Setting Backlight State to 30s..."), 2);
        // Each run's close and its end both say quit; the second may find the adapter gone
        // with its player, so each run is counted as told at least once.
        QList<int> quits;
        for (const QString& l : s.traceLines()) {
            if (l.startsWith("# pids "))
                quits.append(0);
            else if (l == "> quit 0" && !quits.isEmpty())
                ++quits.last();
        }
        QCOMPARE(quits.size(), 2);
        QVERIFY2(quits[0] >= 1 && quits[1] >= 1, qPrintable(s.traceLines().join('\n')));
        for (pid_t pid : pids[1] + QList<pid_t>{windows[1]})
            QVERIFY2(processGone(pid), qPrintable(QString::number(pid)));
        QVERIFY(!err().contains("was left running"));
        if (parentGone) {
            QFile child(childFile);
            QVERIFY(child.open(QIODevice::ReadOnly));
            QVERIFY(!processGone(pid_t(child.readAll().trimmed().toInt())));
        }
        // The session's private folder is gone too.
        QCOMPARE(QDir(s.run.root() + "/run").entryList({"tamblin-session.*"}, QDir::AllEntries),
                 QStringList());
    }

    // Runs that end as soon as they start end the session with one line and status 1, after
    // pauses that keep it from spinning. Each run here leaves a process behind, which would
    // outlive the session: the session ends it. The program is tamblin without a display, until
    // the third run takes it away: the last two cannot be run.
    void quickRunsEndTheSession()
    {
        TamblinRun r(x.get(), nullptr);
        r.setProgram(sessionBinary());
        const QString left = r.root() + "/left";
        auto noLeftovers = qScopeGuard([&] {
            QFile f(left);
            if (f.open(QIODevice::ReadOnly))
                for (const QByteArray& pid : f.readAll().split('\n'))
                    if (pid.toInt() > 0 && !processGone(pid_t(pid.toInt())))
                        kill(pid_t(pid.toInt()), SIGKILL);
        });
        const QString program = r.root() + "/leaves";
        QFile script(program);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\nsleep 600 &\necho $! >>" + QFile::encodeName(left) +
                     "\n[ $(wc -l <" + QFile::encodeName(left) + ") -lt 3 ] || rm \"$0\"\n" +
                     "unset DISPLAY\nexec " + QFile::encodeName(tamblinBinary()) + "\n");
        script.close();
        QVERIFY(chmod(QFile::encodeName(program).constData(), 0755) == 0);
        r.env().insert("TAMBLIN_SESSION_PROGRAM", program);
        QElapsedTimer clock;
        clock.start();
        r.start({"-ao null"});
        QVERIFY(r.waitForExit(60000));
        QCOMPARE(r.exitCode(), 1);
        QCOMPARE(r.err().count(QRegularExpression("run \\d started")), 5);
        QCOMPARE(r.err().count("5 runs in a row ended within 5 s of their start: the session ends"),
                 1);
        QVERIFY(r.err().contains("the next one starts in 4 s"));
        // The pauses between the runs: 1 + 2 + 3 + 4 s.
        QVERIFY2(clock.elapsed() >= 9500, qPrintable(QString::number(clock.elapsed())));
        QFile leftovers(left);
        QVERIFY(leftovers.open(QIODevice::ReadOnly));
        // (tamblin without a display may leave the shell it started too.)
        const QList<QByteArray> pids = leftovers.readAll().trimmed().split('\n');
        QCOMPARE(pids.size(), 3);
        for (const QByteArray& pid : pids) {
            QVERIFY(processGone(pid_t(pid.toInt())));
            QVERIFY2(r.err().contains("pid " + QString::fromLatin1(pid) +
                                      " (sleep) was left running by the run: ending it\n"),
                     qPrintable(r.err()));
        }
        QCOMPARE(r.err().count("cannot run " + program + ": No such file"), 2);
    }

    // The X session as a console login starts it: xinit runs the session on a server of its
    // own (Xvfb here). The session finds tamblin beside itself; the menu's Quit ends it with
    // status 0, and xinit then ends the server.
    void quitEndsTheXSession()
    {
        AdapterSession s(nullptr);
        const int display = freeDisplay();
        QVERIFY(display > 0);
        s.run.env().remove("DISPLAY");
        s.run.setProgram("xinit");
        s.run.start({sessionBinary(), "-ao null", "--", "/usr/bin/Xvfb",
                     QStringLiteral(":%1").arg(display), "-noreset", "-nolisten", "tcp", "-screen",
                     "0", "640x480x24"});
        auto stop = qScopeGuard([&] { stopIfRunning(s.run); });
        QVERIFY(s.waitFor("# stopped", 1, 30000));
        // The server xinit started, for the tools.
        const Xvfb server(QStringLiteral(":%1").arg(display), 640, 480);
        const auto onDisplay = [&](const QStringList& args) { return server.run("xdotool", args); };
        const QString wid =
            onDisplay({"search", "--onlyvisible", "--classname", "tamblin"}).section('\n', 0, 0);
        QVERIFY(!wid.isEmpty());
        onDisplay({"windowfocus", "--sync", wid});
        const int ups = s.count("> menu up");
        onDisplay({"key", "Up"}); // wraps to Quit
        QVERIFY(s.waitFor("> menu up", ups + 1));
        onDisplay({"key", "Return"});

        QVERIFY(s.run.waitForExit(30000));
        QCOMPARE(s.run.exitCode(), 0);
        QVERIFY2(s.run.err().contains("Quit was chosen in the menu: the session ends\n"),
                 qPrintable(s.run.err()));
        QVERIFY(s.run.err().contains("run 1 started: " +
                                     QFileInfo(tamblinBinary()).absoluteFilePath()));
        QCOMPARE(s.run.err().count(QRegularExpression("run \\d started")), 1);
        for (pid_t pid : runPids(s.traceLines()).value(0))
            QVERIFY(waitUntil([&] { return processGone(pid); }, 5000));
        QVERIFY(!QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(display)));
    }

    // The Wayland session entry's command as a display manager runs it, as an unprivileged
    // user (compositors refuse root): headless cage with XWayland, the session in it. The start
    // menu on screen, F2 F2 and a new run, then the menu's Quit, which ends the session and
    // with it cage.
    void waylandSessionInCage()
    {
        QFile entry(SOURCE_DIR "/data/tamblin-wayland-session.desktop");
        QVERIFY(entry.open(QIODevice::ReadOnly));
        const QString exec =
            QString::fromUtf8(entry.readAll()).section("\nExec=", 1).section('\n', 0, 0);
        QCOMPARE(exec, "cage -- tamblin-session");

        // A home and a runtime folder of the session user's own.
        const QString home = scratch.path() + "/cage-home";
        const QString runtime = home + "/run";
        QVERIFY(QDir().mkpath(runtime));
        for (const QString& dir : {home, runtime}) {
            QVERIFY(chown(QFile::encodeName(dir).constData(), 65534, 65534) == 0);
            chmod(QFile::encodeName(dir).constData(), 0700);
        }
        chmod(QFile::encodeName(scratch.path()).constData(), 0755);
        const QString trace = home + "/trace";
        const QString log = scratch.path() + "/cage.log";
        const auto logText = [&] {
            QFile f(log);
            return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()) : QString();
        };
        const auto traced = [&](const QString& line, int times) {
            return waitUntil([&] { return traceLines(trace).count(line) >= times; }, 30000);
        };

        // cage scans a full-screen view out directly when it can; on the headless backend grim
        // then reads a black picture (a view that does not cover the output, or a turned output,
        // shows in grim). The output turned by half keeps cage composing: the same picture,
        // upside down.
        QStringList command = exec.split(' ');
        command.insert(1, "-r");
        command.insert(1, "-r");

        // The programs, copied where the session user can reach them wherever the build is
        // (a build folder inside a private one would keep cage from running the session).
        const QString tree = scratch.path() + "/tree";
        QVERIFY(QDir().mkpath(tree + "/bin") && QDir().mkpath(tree + "/libexec/tamblin"));
        for (const char* name : {"tamblin", "tamblin-session"})
            QVERIFY(QFile::copy(QStringLiteral(BIN_DIR "/") + name, tree + "/bin/" + name));
        const QDir app(BIN_DIR "/../libexec/tamblin");
        for (const QString& name : app.entryList(QDir::Files))
            QVERIFY(QFile::copy(app.filePath(name), tree + "/libexec/tamblin/" + name));

        QProcess cage;
        cage.setProcessChannelMode(QProcess::MergedChannels);
        cage.setStandardOutputFile(log);
        cage.start("setpriv",
                   QStringList{"--reuid=65534", "--regid=65534", "--clear-groups", "env", "-i",
                               "PATH=" + tree + "/bin:/usr/bin:/bin", "HOME=" + home,
                               "XDG_RUNTIME_DIR=" + runtime, "WLR_BACKENDS=headless",
                               "WLR_RENDERER=pixman", "WLR_LIBINPUT_NO_DEVICES=1",
                               "TAMBLIN_ADAPTER_TRACE=" + trace} +
                       command);
        QVERIFY(cage.waitForStarted());
        auto stop = qScopeGuard([&] {
            // The session first, so that its runs end in their orderly way; then cage.
            // (0 once it has ended: the children of 0 are the system's first processes.)
            if (cage.processId() > 0)
                for (pid_t pid : childrenOf(pid_t(cage.processId())))
                    kill(pid, SIGTERM);
            cage.waitForFinished(30000);
            cage.terminate();
            cage.waitForFinished(5000);
        });
        QVERIFY2(traced("# stopped", 1), qPrintable(logText()));

        const QString socket = runtime + "/wayland-0";
        QProcessEnvironment wayland = QProcessEnvironment::systemEnvironment();
        wayland.insert("WAYLAND_DISPLAY", socket);
        QProcess grim;
        grim.setProcessEnvironment(wayland);
        grim.start("grim", {scratch.path() + "/cage.png"});
        QVERIFY(grim.waitForFinished(10000) && grim.exitCode() == 0);
        QVERIFY(menuLetters(
            QImage(scratch.path() + "/cage.png").convertToFormat(QImage::Format_RGB32)));

        // Keys go through wtype where the compositor takes a virtual keyboard. Debian's cage
        // 0.1.4 does not ("Compositor does not support the virtual keyboard protocol"); there
        // they go through XTest on cage's XWayland display, which the window is on: the X
        // events that a keyboard in cage brings it.
        QProcess wtype;
        wtype.setProcessEnvironment(wayland);
        wtype.start("wtype", {"-k", "Shift_L"});
        QVERIFY(wtype.waitForFinished(10000));
        const bool virtualKeyboard = wtype.exitCode() == 0;
        // cage's XWayland display, as the session's runs have it.
        QFile environ(QStringLiteral("/proc/%1/environ").arg(runPids(traceLines(trace))[0][0]));
        QVERIFY(environ.open(QIODevice::ReadOnly));
        QString xdisplay;
        for (const QByteArray& entry : environ.readAll().split('\0')) {
            if (entry.startsWith("DISPLAY="))
                xdisplay = QString::fromLatin1(entry.mid(8));
        }
        QVERIFY(!xdisplay.isEmpty());
        const auto press = [&](const QString& key) {
            if (virtualKeyboard) {
                QProcess p;
                p.setProcessEnvironment(wayland);
                p.start("wtype", {"-s", "1000", "-k", key});
                p.waitForFinished(10000);
            } else {
                // XWayland lets in its own user only.
                QProcess::execute("setpriv", {"--reuid=65534", "--regid=65534", "--clear-groups",
                                              "env", "-i", "PATH=/usr/bin:/bin",
                                              "DISPLAY=" + xdisplay, "xdotool", "key", key});
            }
        };
        if (!virtualKeyboard)
            qInfo("cage takes no virtual keyboard: keys go through XTest on %s",
                  qPrintable(xdisplay));

        press("F2");
        QVERIFY(traced("> menu cancel", 1));
        press("F2");
        QVERIFY2(traced("# stopped", 2), qPrintable(logText()));
        QCOMPARE(runPids(traceLines(trace)).size(), 2);
        press("Up"); // wraps to Quit
        QVERIFY(traced("> menu up", 1));
        press("Return");
        QVERIFY2(cage.waitForFinished(30000), qPrintable(logText()));
        const QString text = logText();
        QVERIFY2(text.contains("tamblin-session: Quit was chosen in the menu: the session ends\n"),
                 qPrintable(text));
        // Nothing holds the display there: each run says so once.
        QCOMPARE(text.count("tamblin: cannot keep the display on under this Wayland compositor"),
                 2);
        for (const QList<pid_t>& run : runPids(traceLines(trace)))
            for (pid_t pid : run)
                QVERIFY(waitUntil([&] { return processGone(pid); }, 5000));
    }

    // Without a screen-saver service on the session bus, X's own screen saver is held for the
    // run: it does not start however long nobody touches anything, and once the run is over it
    // starts again as it was set. It is given back where the run ends, which every way out
    // reaches (tst_shutdown's waysOut); a signal is the session's way.
    void displayHeldWithoutBus()
    {
        Xvfb own(320, 240);
        own.run("xset", {"s", "1", "0"}); // blank after one second without input
        const QString settings =
            own.run("xset", {"q"}).section("Screen Saver:", 1).section("Colors:", 0, 0);
        QVERIFY(settings.contains("timeout:  1"));
        QVERIFY(waitUntil([&] { return saverState(own).value(1) == "on"; }, 10000));

        TamblinRun r(&own, nullptr);
        r.start({"-ao null"});
        QVERIFY(r.waitForReceived("OPEN"));
        const qulonglong wid = r.waitForWindow();
        QVERIFY(wid);
        QVERIFY(r.focusTakenIn(wid)); // input: the idle time starts again from here
        QVERIFY(waitUntil(
            [&] {
                return r.errSoFar().contains(
                    "tamblin: no screen saver on the session bus (no session bus): holding X's "
                    "screen saver (the X server has no DPMS) instead\n");
            },
            10000));
        QCOMPARE(r.errSoFar().count("tamblin: "), 1);
        // Three times the timeout without input, and the screen saver never started.
        QStringList state;
        QVERIFY(waitUntil(
            [&] {
                state = saverState(own);
                if (state.value(1) != "off")
                    return true;
                return state.value(2).toLongLong() > 3000;
            },
            20000));
        QVERIFY2(state.value(1) == "off", qPrintable(state.join(' ')));

        QVERIFY(r.pid() > 0);
        kill(r.pid(), SIGTERM);
        QVERIFY(r.waitForExit(20000));
        QCOMPARE(r.exitCode(), 0);
        QVERIFY(r.out().endsWith("Setting Backlight State to 30s...  \n"));
        // Given back: it starts again, with the settings it had.
        QVERIFY(waitUntil([&] { return saverState(own).value(1) == "on"; }, 10000));
        QCOMPARE(own.run("xset", {"q"}).section("Screen Saver:", 1).section("Colors:", 0, 0),
                 settings);
    }
};

QTEST_GUILESS_MAIN(SessionTest)
#include "tst_session.moc"
