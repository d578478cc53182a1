// A Wayland session: headless sway, run as an unprivileged user as compositors insist. With
// XWayland there, tamblin runs on it and plays the start menu (screenshot with grim), and F2 F2
// end the run. With a Wayland display and no X display, no player starts: a message, the
// dialog, and a clean end.
#include "adapterSession.h"

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

class WaylandTest : public QObject
{
    Q_OBJECT

  private:
    QTemporaryDir scratch;
    QProcess sway;
    QString runtime, socket, display;

    // Runs a program as the compositor's user, in its session.
    int asSessionUser(const QStringList& command)
    {
        return QProcess::execute("setpriv",
                                 QStringList{"--reuid=65534", "--regid=65534", "--clear-groups",
                                             "env", "-i", "PATH=/usr/bin:/bin",
                                             "XDG_RUNTIME_DIR=" + runtime, "DISPLAY=" + display} +
                                     command);
    }

    void sessionEnvironment(AdapterSession& s, bool withX)
    {
        s.run.env().remove("QT_QPA_PLATFORM");
        s.run.env().remove("DISPLAY");
        s.run.env().insert("WAYLAND_DISPLAY", socket);
        if (withX)
            s.run.env().insert("DISPLAY", display);
    }

    // wtype's keyboard is new to XWayland each time: keys go in one run, after a pause.
    void type(const QStringList& keys)
    {
        QStringList args{"-s", "1500"};
        for (const QString& k : keys)
            args << "-k" << k << "-s"
                 << "1000";
        QProcess wtype;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("WAYLAND_DISPLAY", socket);
        wtype.setProcessEnvironment(env);
        wtype.start("wtype", args);
        QVERIFY(wtype.waitForFinished(30000));
        QCOMPARE(wtype.exitCode(), 0);
    }

    QImage grim()
    {
        const QString file = scratch.path() + "/grim.png";
        QFile::remove(file);
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("WAYLAND_DISPLAY", socket);
        p.setProcessEnvironment(env);
        p.start("grim", {file});
        p.waitForFinished(10000);
        return QImage(file).convertToFormat(QImage::Format_RGB32);
    }

  private slots:
    void initTestCase()
    {
        runtime = scratch.path() + "/run";
        QDir().mkpath(runtime);
        QVERIFY(chown(QFile::encodeName(runtime).constData(), 65534, 65534) == 0);
        chmod(QFile::encodeName(scratch.path()).constData(), 0755);
        QFile config(scratch.path() + "/config");
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write("output HEADLESS-1 resolution 640x480\nxwayland enable\n"
                     "default_border none\n");
        config.close();

        sway.setProcessChannelMode(QProcess::MergedChannels);
        sway.setStandardOutputFile(scratch.path() + "/sway.log");
        sway.start("setpriv",
                   {"--reuid=65534", "--regid=65534", "--clear-groups", "env", "-i",
                    "PATH=/usr/bin:/bin", "XDG_RUNTIME_DIR=" + runtime, "WLR_BACKENDS=headless",
                    "WLR_RENDERER=pixman", "WLR_LIBINPUT_NO_DEVICES=1", "sway", "-c",
                    scratch.path() + "/config"});
        QVERIFY(sway.waitForStarted());
        socket = runtime + "/wayland-1";
        QVERIFY(waitUntil([&] { return QFile::exists(socket); }, 20000));
        // XWayland's display is the one whose lock names sway: other suites start X servers
        // of their own meanwhile.
        const QByteArray swayPid = QByteArray::number(sway.processId());
        QVERIFY(waitUntil(
            [&] {
                const QDir tmp("/tmp", ".X*-lock", QDir::Name, QDir::Hidden | QDir::Files);
                for (const QString& lock : tmp.entryList()) {
                    QFile f("/tmp/" + lock);
                    // wlroots writes the pid padded, with its terminating NUL.
                    if (f.open(QIODevice::ReadOnly) &&
                        f.readAll().replace('\0', ' ').trimmed() == swayPid)
                        display = ":" + lock.mid(2).chopped(5);
                }
                return !display.isEmpty();
            },
            20000));
        // XWayland lets in its own user only; the tests run tamblin as root.
        QCOMPARE(asSessionUser({"xhost", "+si:localuser:root"}), 0);
    }

    void cleanupTestCase()
    {
        sway.terminate();
        sway.waitForFinished(5000);
    }

    void runsOnXWayland()
    {
        AdapterSession s(nullptr);
        sessionEnvironment(s, true);
        s.run.start({"-ao null"});
        QVERIFY(s.waitFor("# stopped", 1, 30000)); // the start menu, at rest
        const QImage screen = grim();
        QCOMPARE(screen.size(), QSize(640, 480));
        int letters = 0;
        for (int y = 0; y < screen.height(); y += 2)
            for (int x = 0; x < screen.width(); x += 2)
                letters += qGray(screen.pixel(x, y)) > 235;
        QVERIFY2(letters > 200, qPrintable(QString::number(letters)));

        type({"F2", "F2"});
        QVERIFY(s.run.waitForExit(20000));
        QCOMPARE(s.run.exitCode(), 0);
        QVERIFY(!s.run.err().contains("Wayland display without X"));
        for (pid_t pid : s.pids())
            QVERIFY(waitUntil([&] { return processGone(pid); }, 5000));
    }

    void waylandWithoutX()
    {
        AdapterSession s(nullptr);
        sessionEnvironment(s, false);
        // Under the sanitizers: Qt's Wayland plugin leaves allocations of libwayland-client
        // behind at exit, which would fail this run alone. Our own code is checked for leaks
        // in every other run.
        s.run.env().insert("ASAN_OPTIONS", s.run.env().value("ASAN_OPTIONS") + ":detect_leaks=0");
        s.run.start({"-ao null"});
        // The two dialogs, one after the other: no player, then no FIFO. Each comes after its
        // line on standard error, and sway gives it the whole screen.
        for (const char* before : {"so it is not started", "no player to open it"}) {
            QVERIFY(waitUntil([&] { return s.run.errSoFar().contains(before); }, 20000));
            QVERIFY(waitUntil([&] { return grim().pixel(10, 10) != qRgb(0, 0, 0); }, 20000));
            type({"Escape"});
        }
        // Under load the last key may come before the dialog has the keyboard: again, until the
        // run has ended.
        bool ended = false;
        for (int i = 0; i < 10 && !(ended = s.run.waitForExit(2000)); ++i)
            type({"Escape"});
        QVERIFY2(ended, qPrintable(s.run.err()));
        QVERIFY2(s.run.exitCode() == 0, qPrintable(s.run.err()));
        QCOMPARE(s.run.err().count("tamblin: this is a Wayland display without X"), 1);
        QVERIFY(s.traceLines().isEmpty()); // no player was started
    }
};

QTEST_GUILESS_MAIN(WaylandTest)
#include "tst_wayland.moc"
