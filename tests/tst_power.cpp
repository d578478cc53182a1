// tamblin-session against logind on a private system bus (python3-dbusmock's logind template):
// what logind's Can* answers put in each run's TAMBLIN_POWER; the run's end mark asking for
// power off or restart, asked of logind once (interactive false) and only once the run and what
// it left are over; a refusal told to the next run alone. And udiskie for the run of the
// session, and the adapter's request (Sleep) made off its loop. The runs are a shell script that
// notes its environment and leaves the mark.
#include "adapterSession.h"
#include "harness.h"
#include "logindRequest.h"
#include "mediaMaker.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QFile>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTest>

#include <csignal>
#include <poll.h>
#include <sys/stat.h>

namespace {

QString readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

bool writeFile(const QString& path, const QByteArray& text)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(text) == text.size() &&
           f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                            QFileDevice::ExeOwner);
}

// logind as python3-dbusmock stands in for it, on a bus of its own that the session takes for
// the system bus.
class MockLogind
{
  public:
    explicit MockLogind(const QString& log) : log_(log) {}
    ~MockLogind()
    {
        QDBusConnection::disconnectFromBus(bus_.address());
        mock_.terminate();
        mock_.waitForFinished(5000);
    }
    QString address() const { return bus_.address(); }

    bool start(const QString& parameters)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DBUS_SYSTEM_BUS_ADDRESS", bus_.address());
        mock_.setProcessEnvironment(env);
        mock_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        mock_.start("/usr/bin/python3", {"-m", "dbusmock", "--system", "--template", "logind", "-l",
                                         log_, "-p", parameters});
        return waitUntil([&] { return connection().interface()->isServiceRegistered(kName); },
                         15000);
    }

    // The method raises what polkit's refusal is.
    bool refuse(const QString& method)
    {
        QDBusMessage call = QDBusMessage::createMethodCall(
            kName, "/org/freedesktop/login1", "org.freedesktop.DBus.Mock", "AddMethod");
        call << "org.freedesktop.login1.Manager" << method << "b"
             << ""
             << "raise dbus.exceptions.DBusException('Interactive authentication required.', "
                "name='org.freedesktop.DBus.Error.AccessDenied')";
        return connection().call(call).type() == QDBusMessage::ReplyMessage;
    }

  private:
    static constexpr const char* kName = "org.freedesktop.login1";
    QDBusConnection connection() const
    {
        // Named by its address: a name is one connection for the whole process.
        return QDBusConnection::connectToBus(bus_.address(), bus_.address());
    }
    PrivateBus bus_;
    QProcess mock_;
    QString log_;
};

} // namespace

class PowerTest : public QObject
{
    Q_OBJECT

  private:
    QTemporaryDir dir;
    QString path(const QString& name) const { return dir.path() + "/" + name; }
    QString env(int run) const { return readFile(path(QStringLiteral("env.%1").arg(run))); }

    // Runs the session to its end on bus, its runs leaving the marks in turn ("power-off",
    // "restart", "quit": an empty one, "none"); its log. Kept: the mock's log of this one.
    QString runSession(const QString& bus, const QStringList& marks, int* code)
    {
        for (const QString& name : QDir(dir.path()).entryList(QDir::Files))
            if (name != "logind.log")
                QFile::remove(path(name));
        if (!writeFile(path("marks"), marks.join('\n').toUtf8() + "\n"))
            return {};
        QProcess session;
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.insert("DBUS_SYSTEM_BUS_ADDRESS", bus);
        e.insert("TAMBLIN_SESSION_PROGRAM", path("bin/run"));
        e.insert("PATH", path("bin") + ":/usr/bin:/bin");
        e.insert("XDG_RUNTIME_DIR", dir.path());
        session.setProcessEnvironment(e);
        session.start(SESSION_BIN, {});
        auto stop = qScopeGuard([&] {
            if (session.state() != QProcess::NotRunning)
                kill(pid_t(session.processId()), SIGTERM);
            session.waitForFinished(30000);
        });
        if (!session.waitForFinished(60000))
            return {};
        *code = session.exitCode();
        return QString::fromUtf8(session.readAllStandardError());
    }

  private slots:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable("dbus-daemon").isEmpty())
            QSKIP("no dbus-daemon (Debian: dbus) for a private system bus");
        if (QProcess::execute("/usr/bin/python3", {"-c", "import dbusmock"}) != 0)
            QSKIP("no python3-dbusmock to stand in for logind");
        QVERIFY(QDir(dir.path()).mkpath("bin"));
        // A run: notes its environment (and whether a mark is there as it starts), leaves a
        // process that notes what logind was asked by the time it is ended, and the mark.
        QVERIFY(writeFile(
            path("bin/run"),
            "#!/bin/sh\nd=" + QFile::encodeName(dir.path()) +
                "\nn=$(( $(cat $d/count 2>/dev/null || echo 0) + 1 )); echo $n >$d/count\n"
                "{ env; [ -e \"$TAMBLIN_SESSION_END\" ] && echo MARK-THERE; } >$d/env.$n.new\n"
                "mv $d/env.$n.new $d/env.$n\n"
                // (the run ends once the trap is set: a FIFO says so)
                "mkfifo $d/trapped.$n\n"
                "sh -c 'trap \"cp $0 $1; exit 0\" TERM; echo >$2; sleep 600 & wait' "
                "$d/logind.log $d/left.$n $d/trapped.$n &\n"
                "read x <$d/trapped.$n\n"
                "mark=$(sed -n ${n}p $d/marks)\n"
                "case $mark in quit) : >\"$TAMBLIN_SESSION_END\";; none) ;;\n"
                "*) echo $mark >\"$TAMBLIN_SESSION_END\";; esac\n"));
        // udiskie as the session starts it: its arguments noted, then until it is ended.
        QVERIFY(writeFile(path("bin/udiskie"), "#!/bin/sh\necho \"$@\" >" +
                                                   QFile::encodeName(path("udiskie.args")) +
                                                   "\nexec sleep 600\n"));
    }

    // Each run is offered what logind answers "yes" or "challenge" to. Power off or restart:
    // one call, interactive false, once the run and what it left have ended; the session then
    // ends. Refused: the log says why, and the next run starts at once, told so, the mark gone;
    // the run after it is not told.
    void session_data()
    {
        QTest::addColumn<QString>("parameters"); // empty: no logind on the bus
        QTest::addColumn<QString>("mark");
        QTest::addColumn<bool>("refused");
        QTest::addColumn<QString>("power"); // empty: no TAMBLIN_POWER
        QTest::addColumn<QString>("line");
        const QString refusal =
            " was chosen in the menu, but logind did not do it (org.freedesktop."
            "DBus.Error.AccessDenied: Interactive authentication required.): "
            "the next run starts";
        QTest::newRow("all yes, restart") << "{}"
                                          << "restart" << false << "power-off,restart,sleep"
                                          << "Restart was chosen in the menu: restarting";
        QTest::newRow("no sleep, power off") << R"({"CanSuspend": "no"})"
                                             << "power-off" << false << "power-off,restart"
                                             << "Power off was chosen in the menu: powering off";
        QTest::newRow("challenge, na, power off refused")
            << R"({"CanPowerOff": "challenge", "CanReboot": "na"})"
            << "power-off" << true << "power-off,sleep"
            << "Power off" + refusal;
        QTest::newRow("restart refused") << "{}"
                                         << "restart" << true << "power-off,restart,sleep"
                                         << "Restart" + refusal;
        QTest::newRow("no logind, quit")
            << ""
            << "quit" << false << ""
            << "cannot ask logind what the machine may do (org.freedesktop.DBus.Error."
               "ServiceUnknown: ";
    }

    void session()
    {
        QFETCH(QString, parameters);
        QFETCH(QString, mark);
        QFETCH(bool, refused);
        QFETCH(QString, power);
        QFETCH(QString, line);
        MockLogind logind(path("logind.log"));
        if (!parameters.isEmpty())
            QVERIFY(logind.start(parameters));
        const QString method = mark == "restart" ? "Reboot" : "PowerOff";
        if (refused)
            QVERIFY(logind.refuse(method));
        int code = -1;
        const QString log = runSession(logind.address(), {mark, "none", "quit"}, &code);
        QCOMPARE(code, 0);
        QVERIFY2(log.contains("tamblin-session: " + line), qPrintable(log));
        QCOMPARE(env(1).split('\n').filter("TAMBLIN_POWER="),
                 power.isEmpty() ? QStringList() : QStringList{"TAMBLIN_POWER=" + power});
        QVERIFY(!env(1).contains("TAMBLIN_NOTICE"));
        if (mark == "quit")
            return;
        // The mock's line for a call: "TIME METHOD ARGUMENTS" (a refusal adds one of its own).
        const QRegularExpression call(" " + method + " (True|False)\n");
        QCOMPARE(readFile(path("logind.log")).count(call), 1);
        QVERIFY(readFile(path("logind.log")).contains(" " + method + " False\n"));
        // What the run left was ended before logind was asked.
        QVERIFY(QFile::exists(path("left.1")));
        QVERIFY(!readFile(path("left.1")).contains(call));
        QCOMPARE(QFile::exists(path("env.2")), refused);
        if (refused) {
            QVERIFY(env(2).contains("\nTAMBLIN_NOTICE=" + mark + "-refused\n"));
            QVERIFY(!env(2).contains("MARK-THERE"));
            QVERIFY(log.contains("tamblin-session: run 3 started"));
            QVERIFY(!env(3).contains("TAMBLIN_NOTICE"));
        }
    }

    // The adapter's Sleep: asked on a thread of its own, its answer through a descriptor.
    void logindRequest_data()
    {
        QTest::addColumn<bool>("refused");
        QTest::newRow("done") << false;
        QTest::newRow("refused") << true;
    }
    void logindRequest()
    {
        QFETCH(bool, refused);
        MockLogind logind(path("logind.log"));
        QVERIFY(logind.start("{}") && (!refused || logind.refuse("Suspend")));
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", logind.address().toUtf8());
        auto unset = qScopeGuard([] { qunsetenv("DBUS_SYSTEM_BUS_ADDRESS"); });
        LogindRequest request;
        QCOMPARE(request.fd(), -1);
        QVERIFY(request.start("Suspend"));
        QVERIFY(!request.start("Suspend")); // one at a time
        pollfd answered{request.fd(), POLLIN, 0};
        QCOMPARE(poll(&answered, 1, 15000), 1);
        QVERIFY(!request.busy());
        std::string why;
        QCOMPARE(request.answer(&why), !refused);
        QCOMPARE(QString::fromStdString(why),
                 refused ? "org.freedesktop.DBus.Error.AccessDenied: Interactive authentication "
                           "required."
                         : "");
        QCOMPARE(request.fd(), -1);
        QCOMPARE(readFile(path("logind.log")).count(" Suspend False\n"), 1);
    }

    // udiskie runs from the session's start to its end, through every run, with nothing of
    // its own on screen; what a run leaves is ended, udiskie is not.
    void automounterForTheSession()
    {
        int code = -1;
        const QString log = runSession("unix:path=/nonexistent", {"none", "quit"}, &code);
        QCOMPARE(code, 0);
        if (log.contains(" runs: it mounts USB sticks, udiskie is not started"))
            QSKIP(qPrintable("an automounter of this machine's runs already: " + log));
        const QRegularExpressionMatch started =
            QRegularExpression("tamblin-session: udiskie started \\(pid (\\d+)\\): USB sticks are "
                               "mounted as they are plugged in\n")
                .match(log);
        QVERIFY2(started.hasMatch(), qPrintable(log));
        QCOMPARE(readFile(path("udiskie.args")),
                 "--automount --no-notify --no-tray --no-file-manager --no-password-prompt\n");
        QVERIFY(log.contains("run 2 started"));
        QVERIFY2(!log.contains("pid " + started.captured(1) + " ("), qPrintable(log));
        QVERIFY(waitUntil([&] { return processGone(pid_t(started.captured(1).toInt())); }, 5000));
    }

    // The real window and adapter on MPlayer, in a session. Sleep from the start menu asks
    // logind and leaves the menu up; refused, the menu says so. Power off from the menu over a
    // clip keeps where the clip was, ends the run (the display given back), and only then asks
    // logind, once.
    void fromTheMenu()
    {
        Xvfb x(640, 480);
        const QString log = path("menu-logind.log"), media = path("media");
        MockLogind logind(log);
        QVERIFY(logind.start("{}"));
        QVERIFY(QDir().mkpath(media));
        QVERIFY(makeClip(media + "/clip.mkv", {"0x602020", 30, {{440, "", ""}}, {}, {}}));
        AdapterSession s(&x);
        s.run.env().insert("DBUS_SYSTEM_BUS_ADDRESS", logind.address());
        s.run.env().insert("TAMBLIN_SESSION_PROGRAM", tamblinBinary());
        s.run.env().insert("TAMBLIN_MEDIA", media);
        s.run.env().insert("XDG_STATE_HOME", path("state"));
        s.run.env().insert("TAMBLIN_PLAYER", "/usr/bin/mplayer");
        s.run.setProgram(SESSION_BIN);
        s.run.start({"-ao null"});
        auto stop = qScopeGuard([&] {
            if (s.run.pid() > 0)
                kill(s.run.pid(), SIGTERM);
            s.run.waitForExit(30000);
        });
        QVERIFY(s.waitFor("# stopped", 1, 30000));
        // Play a clip, Pause or resume, On-screen display, Speech: on/off, Power off, Restart,
        // Sleep, Quit.
        s.inject("menu up\nmenu up\nmenu ok\n");
        QVERIFY(waitUntil([&] { return readFile(log).contains(" Suspend False\n"); }, 15000));
        QCOMPARE(s.menuAnswer(), "ANS_MENU_VISIBILITY=1");
        QVERIFY(logind.refuse("Suspend"));
        s.inject("menu ok\n");
        QVERIFY(s.waitFor("> set_menu sleep-refused"));
        // OK, then from Sleep down to Play a clip, and its clip past its first seconds.
        s.inject("menu ok\nmenu down\nmenu down\nmenu ok\nmenu down\nmenu ok\n");
        QVERIFY(waitUntil([&] { return s.property("time_pos").toDouble() > 0; }, 20000));
        s.inject("seek 15 2\n");
        QVERIFY(waitUntil([&] { return s.property("time_pos").toDouble() >= 14; }, 20000));
        s.inject("set_menu main\nmenu up\nmenu up\nmenu up\nmenu up\nmenu ok\n");
        QVERIFY(s.run.waitForExit(30000));
        QCOMPARE(s.run.exitCode(), 0);
        const QString err = s.run.errSoFar();
        const qsizetype ended = err.indexOf("run 1 ended"),
                        asked = err.indexOf("Power off was chosen in the menu: powering off");
        QVERIFY2(ended >= 0 && asked > ended, qPrintable(err));
        QCOMPARE(readFile(log).count(QRegularExpression(" PowerOff (True|False)\n")), 1);
        QVERIFY(readFile(log).contains(" PowerOff False\n"));
        QVERIFY(s.run.out().contains("Setting Backlight State to 30s..."));
        const QString kept = readFile(path("state/tamblin/positions"));
        QVERIFY2(kept.split('\n')
                         .filter(" " + media + "/clip.mkv")
                         .value(0)
                         .section(' ', 0, 0)
                         .toDouble() >= 14,
                 qPrintable(kept));
    }
};

QTEST_GUILESS_MAIN(PowerTest)
#include "tst_power.moc"
