// The session's core on its own, with no process, no signal and no clock: runs played as steps,
// what the core asks for read back as a transcript. When a run follows and after what pause,
// the bound on quick runs, Quit, termination signals at each point of a run, the escalation
// on a run and on what it left, a run that cannot start; what logind's answers offer each run,
// and power off or restart asked of it once a run is over.
#include "sessionCore.h"

#include <QTest>

#include <algorithm>
#include <cstring>
#include <set>

namespace {

QString signalWord(int sig)
{
    return QString::fromLatin1(sigabbrev_np(sig));
}

int signalNumber(const QString& word)
{
    int sig = 1;
    while (sig < 65 && signalWord(sig) != word)
        ++sig;
    return sig;
}

// Plays steps into the core and answers its questions at once, as its loop does. Steps: "@T"
// (the time from then on), "start", "exit N", "killed SIG", "signal SIG", "tick" (at the core's
// deadline, which the transcript shows), "leave PID NAME", "gone PID", "quit", "mark TEXT" (the
// end mark's content, a newline added), "refuse" (the next start fails), "logind refuses WHY",
// "can A B C" (CanPowerOff, CanReboot, CanSuspend; "-": no answer). Several in one step, split
// by ';', all come before any answer.
struct Player
{
    SessionCore core{"/usr/bin/tamblin"};
    QStringList transcript;
    long long now = 0;
    int starts = 0;
    int nextPid = 101;
    std::set<int> refused; // runs whose start fails
    bool marked = false;
    std::string mark;
    PowerAnswers power{"yes", "yes", "yes", {}};
    std::string logindRefusal; // empty: logind does what it is asked
    std::vector<LeftProcess> left;

    void step(const QString& text)
    {
        for (QString command : text.split(';')) {
            command = command.trimmed();
            const bool timed = command.startsWith('@');
            if (timed) {
                now = command.section(' ', 0, 0).mid(1).toLongLong();
                command = command.section(' ', 1);
            }
            deliver(command.section(' ', 0, 0), command.section(' ', 1), timed);
        }
        settle();
    }

    void deliver(const QString& what, const QString& arg, bool timed)
    {
        if (what == "start") {
            core.start();
        } else if (what == "exit") {
            core.runEnded({RunEnd::Exited, arg.toInt()}, now);
        } else if (what == "killed") {
            core.runEnded({RunEnd::Signalled, signalNumber(arg)}, now);
        } else if (what == "signal") {
            core.signalReceived(signalNumber(arg), now);
        } else if (what == "tick") {
            if (!timed) {
                now = core.deadline();
                transcript << QStringLiteral("[tick @%1]").arg(now);
            }
            core.tick(now);
        } else if (what == "leave") {
            left.push_back({arg.section(' ', 0, 0).toInt(), arg.section(' ', 1).toStdString()});
        } else if (what == "gone") {
            left.erase(std::remove_if(left.begin(), left.end(),
                                      [&](const LeftProcess& p) { return p.pid == arg.toInt(); }),
                       left.end());
        } else if (what == "refuse") {
            refused.insert(starts + 1);
        } else if (what == "quit" || what == "mark") {
            marked = true;
            mark = what == "mark" ? arg.toStdString() + "\n" : "";
        } else if (what == "logind") {
            logindRefusal = arg.section(' ', 1).toStdString();
        } else if (what == "can") {
            const auto answer = [&](int i) {
                const QString word = arg.section(' ', i, i);
                return word == "-" ? std::string() : word.toStdString();
            };
            power = {answer(0), answer(1), answer(2), "no system bus"};
        } else if (!what.isEmpty()) {
            QFAIL(qPrintable("no such step: " + what));
        }
    }

    void settle()
    {
        for (std::vector<SessionAction> actions; !(actions = core.take()).empty();)
            for (const SessionAction& action : actions)
                answer(action);
    }

    void answer(const SessionAction& action)
    {
        switch (action.kind) {
        case SessionAction::AskPowerChoices:
            core.powerChoicesAnswered(power);
            break;
        case SessionAction::StartRun: {
            QString line = "[start run";
            for (const std::string& entry : action.environment)
                line += " " + QString::fromStdString(entry);
            transcript << line + "]";
            if (refused.count(++starts))
                core.runNotStarted("No such file or directory", now);
            else
                core.runStarted(nextPid++, now);
            break;
        }
        case SessionAction::SignalRun:
            transcript << "[run <- " + signalWord(action.signal) + "]";
            break;
        case SessionAction::SignalProcess:
            transcript
                << QStringLiteral("[%1 <- %2]").arg(action.pid).arg(signalWord(action.signal));
            break;
        case SessionAction::FindLeftovers:
            transcript << "[find leftovers]";
            core.leftoversFound(left, now);
            break;
        case SessionAction::ReadEndMark:
            transcript << "[end mark?]";
            core.endMarkRead(marked, mark, now);
            break;
        case SessionAction::AskLogind:
            transcript << "[logind " + QString::fromStdString(action.text) + "]";
            core.logindAnswered(logindRefusal.empty(), logindRefusal, now);
            break;
        case SessionAction::RemoveEndMark:
            transcript << "[remove end mark]";
            marked = false;
            break;
        case SessionAction::RemoveFolder:
            transcript << "[remove folder]";
            break;
        case SessionAction::Log:
            transcript << QString::fromStdString(action.text);
            break;
        case SessionAction::Exit:
            transcript << QStringLiteral("[exit %1]").arg(action.code);
            break;
        }
    }
};

const QString kStart = "[start run TAMBLIN_POWER=power-off,restart,sleep]";
const QString kBoundLine = "5 runs in a row ended within 5 s of their start: the session ends "
                           "(the lines above may say why: no display, no player?)";

} // namespace

class SessionCoreTest : public QObject
{
    Q_OBJECT

  private slots:
    // What follows each run: the next at once (0), after a pause (its ms), or the session's
    // end. A run shorter than 5 s is quick; quick runs in a row pause longer and longer, and
    // the fifth ends the session; a run that lasted starts the count again. "-": a run that
    // could not start.
    void restarts_data()
    {
        QTest::addColumn<QStringList>("runs");
        QTest::addColumn<QString>("decisions");
        QTest::newRow("quick runs")
            << QStringList{"0", "100", "4000", "4999", "10"} << "1000 2000 3000 4000 exit 1";
        QTest::newRow("runs that lasted")
            << QStringList{"5000", "60000", "5000", "5000", "5000"} << "0 0 0 0 0";
        QTest::newRow("a run that lasted in between")
            << QStringList{"10", "10", "10", "10", "7000", "10", "10", "10", "10", "10"}
            << "1000 2000 3000 4000 0 1000 2000 3000 4000 exit 1";
        QTest::newRow("runs that cannot start")
            << QStringList{"-", "-", "-", "-", "-"} << "1000 2000 3000 4000 exit 1";
        QTest::newRow("Quit on the fifth quick run")
            << QStringList{"10", "-", "10", "10", "10 quit"} << "1000 2000 3000 4000 exit 0";
    }

    void restarts()
    {
        QFETCH(QStringList, runs);
        QFETCH(QString, decisions);
        Player p;
        for (int i = 0; i < runs.size(); ++i) {
            if (runs[i] == "-")
                p.refused.insert(i + 1);
        }
        p.step("start");
        QStringList got;
        for (const QString& run : runs) {
            if (run.endsWith(" quit"))
                p.step("quit");
            if (run != "-")
                p.step(QStringLiteral("@%1 exit 0").arg(p.now + run.section(' ', 0, 0).toInt()));
            if (p.transcript.last().startsWith("[exit ")) {
                got << p.transcript.last().mid(1).chopped(1);
            } else if (p.core.deadline() >= 0) {
                got << QString::number(p.core.deadline() - p.now);
                p.step("tick");
            } else {
                QVERIFY(
                    p.transcript.last().startsWith(QStringLiteral("run %1 started").arg(p.starts)));
                got << "0";
            }
        }
        QCOMPARE(got.join(' '), decisions);
        if (decisions.endsWith("exit 1"))
            QCOMPARE(p.transcript.value(p.transcript.size() - 2), kBoundLine);
    }

    // Whole sessions, step by step, against everything the core asks for.
    void transcripts_data();
    void powerTranscripts_data();
    void powerTranscripts() { transcripts(); }
    void transcripts()
    {
        QFETCH(QStringList, steps);
        QFETCH(QStringList, transcript);
        Player p;
        for (const QString& step : steps)
            p.step(step);
        QCOMPARE(p.transcript, transcript);
        // Once it has ended, nothing more: no further run, however long, whatever comes.
        if (transcript.last().startsWith("[exit ")) {
            QCOMPARE(p.core.deadline(), -1LL);
            p.step("@100000 tick; signal TERM; exit 0");
            QCOMPARE(p.transcript, transcript);
        }
    }
};

void SessionCoreTest::transcripts_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("transcript");
    const QStringList started{kStart, "run 1 started: /usr/bin/tamblin (pid 101)"};
    const QStringList nextRun{"[end mark?]", kStart, "run 2 started: /usr/bin/tamblin (pid 102)"};
    const auto endsOn = [](const QString& sig) {
        return QStringList{"[remove folder]", "the session ends on " + sig, "[exit 0]"};
    };
    const auto ended = [](const QString& how) {
        return QStringList{"run 1 " + how, "[find leftovers]"};
    };
    const auto left = [](int pid, const QString& name) {
        return QStringList{
            QStringLiteral("pid %1 (%2) was left running by the run: ending it").arg(pid).arg(name),
            QStringLiteral("[%1 <- TERM]").arg(pid), QStringLiteral("[%1 <- CONT]").arg(pid)};
    };
    const QString killingLeft = "what the run left did not end within 3 s: killing it";
    const QString pause1 = "run 1 was short: the next one starts in 1 s";

    QTest::newRow("a run that lasted: the next at once")
        << QStringList{"start", "@6000 exit 0"}
        << started + ended("ended with status 0 after 6.0 s") + nextRun;
    QTest::newRow("a quick run: a pause, then the next")
        << QStringList{"start", "@1200 exit 1", "tick"}
        << started + ended("ended with status 1 after 1.2 s") +
               QStringList{"[end mark?]", pause1, "[tick @2200]", kStart,
                           "run 2 started: /usr/bin/tamblin (pid 102)"};
    QTest::newRow("a run that cannot start")
        << QStringList{"refuse", "start", "tick"}
        << QStringList{kStart,
                       "run 1: cannot start /usr/bin/tamblin: No such file or directory",
                       "[find leftovers]",
                       "[end mark?]",
                       pause1,
                       "[tick @1000]",
                       kStart,
                       "run 2 started: /usr/bin/tamblin (pid 101)"};
    QTest::newRow("Quit") << QStringList{"start", "quit", "@6000 exit 0"}
                          << started + ended("ended with status 0 after 6.0 s") +
                                 QStringList{"[end mark?]", "[remove folder]",
                                             "Quit was chosen in the menu: the session ends",
                                             "[exit 0]"};
    QTest::newRow("a signal while a run plays: the run ended, then the session")
        << QStringList{"start", "@1000 signal TERM", "@3500 exit 0"}
        << started + QStringList{"SIGTERM: ending run 1", "[run <- TERM]"} +
               ended("ended with status 0 after 3.5 s") + endsOn("SIGTERM");
    QTest::newRow("a second signal while the run ends changes nothing")
        << QStringList{"start", "@1000 signal TERM", "@2000 signal HUP", "@3000 exit 0"}
        << started + QStringList{"SIGTERM: ending run 1", "[run <- TERM]"} +
               ended("ended with status 0 after 3.0 s") + endsOn("SIGTERM");
    QTest::newRow("a signal while what a run ended on a signal left is ended changes nothing")
        << QStringList{"start",        "leave 201 sleep",  "@1000 signal TERM",
                       "@2000 exit 0", "@2010 signal HUP", "gone 201",
                       "tick"}
        << started + QStringList{"SIGTERM: ending run 1", "[run <- TERM]"} +
               ended("ended with status 0 after 2.0 s") + left(201, "sleep") +
               QStringList{"[tick @2020]", "[find leftovers]"} + endsOn("SIGTERM");
    QTest::newRow("a run that does not end when told: killed after the grace")
        << QStringList{"start", "@1000 signal HUP", "@15999 tick", "tick", "@16500 killed KILL"}
        << started +
               QStringList{"SIGHUP: ending run 1", "[run <- TERM]", "[tick @16000]",
                           "run 1 did not end within 15 s of SIGTERM: killing it",
                           "[run <- KILL]"} +
               ended("was ended by SIGKILL after 16.5 s") + endsOn("SIGHUP");
    QTest::newRow("a run that does not end even killed")
        << QStringList{"start", "@1000 signal TERM", "tick", "@20999 tick", "tick"}
        << started +
               QStringList{"SIGTERM: ending run 1",
                           "[run <- TERM]",
                           "[tick @16000]",
                           "run 1 did not end within 15 s of SIGTERM: killing it",
                           "[run <- KILL]",
                           "[tick @21000]",
                           "run 1 does not end, even killed"} +
               ended("ended with status 0 after 21.0 s") + endsOn("SIGTERM");
    QTest::newRow("a signal as the run ends by itself: no further run")
        << QStringList{"start", "@6000 exit 0; signal HUP"}
        << started + ended("ended with status 0 after 6.0 s") + endsOn("SIGHUP");
    QTest::newRow("a signal while what the run left is ended: no further run")
        << QStringList{"start", "leave 201 sleep", "@6000 exit 0", "@6010 signal INT", "gone 201",
                       "tick"}
        << started + ended("ended with status 0 after 6.0 s") + left(201, "sleep") +
               QStringList{"[tick @6020]", "[find leftovers]"} + endsOn("SIGINT");
    QTest::newRow("a signal during the pause: the end at once, no further run")
        << QStringList{"start", "@100 exit 1", "@600 signal TERM"}
        << started + ended("ended with status 1 after 0.1 s") + QStringList{"[end mark?]", pause1} +
               endsOn("SIGTERM");
    // What is left is looked for every 20 ms: a look at 2999 ms and one at 3000 ms cannot be in
    // one row, nor at 4999 ms and 5000 ms.
    QTest::newRow("what a run left: SIGTERM once each, SIGKILL after the grace")
        << QStringList{"start",
                       "leave 201 sleep",
                       "leave 202 my player",
                       "@6000 exit 0",
                       "tick",
                       "@8999 tick",
                       "tick",
                       "gone 202",
                       "@10999 tick",
                       "gone 201",
                       "tick"}
        << started + ended("ended with status 0 after 6.0 s") + left(201, "sleep") +
               left(202, "my player") +
               QStringList{"[tick @6020]",  "[find leftovers]", "[find leftovers]",
                           "[tick @9019]",  "[find leftovers]", killingLeft,
                           "[201 <- KILL]", "[202 <- KILL]",    "[find leftovers]",
                           "[201 <- KILL]", "[tick @11019]",    "[find leftovers]"} +
               nextRun;
    QTest::newRow("what a run left does not end even killed")
        << QStringList{"start", "leave 201 sleep", "@6000 exit 0", "@8980 tick",
                       "tick",  "@10980 tick",     "tick"}
        << started + ended("ended with status 0 after 6.0 s") + left(201, "sleep") +
               QStringList{"[find leftovers]",
                           "[tick @9000]",
                           "[find leftovers]",
                           killingLeft,
                           "[201 <- KILL]",
                           "[find leftovers]",
                           "[201 <- KILL]",
                           "[tick @11000]",
                           "[find leftovers]",
                           "1 processes left by the run do not end, even killed (pid 201 first)"} +
               nextRun;
}

// What the menu may offer each run, and what its Power off and Restart ask of logind once the
// run and what it left are over.
void SessionCoreTest::powerTranscripts_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("transcript");
    const auto run = [](int n, const QString& env = kStart) {
        return QStringList{
            env, QStringLiteral("run %1 started: /usr/bin/tamblin (pid %2)").arg(n).arg(100 + n)};
    };
    const auto ended = [](int n, const QString& after) {
        return QStringList{
            QStringLiteral("run %1 ended with status 0 after %2 s").arg(n).arg(after),
            "[find leftovers]", "[end mark?]"};
    };
    const auto endsWith = [](const QString& line) {
        return QStringList{"[remove folder]", line, "[exit 0]"};
    };
    const QString quitLine = "Quit was chosen in the menu: the session ends";

    QTest::newRow("yes and challenge are offered, no and what logind does not know are not")
        << QStringList{"can challenge no yes", "start"}
        << run(1, "[start run TAMBLIN_POWER=power-off,sleep]");
    QTest::newRow("nothing offered: no entry, and the log says so")
        << QStringList{"can no na maybe", "start"}
        << QStringList{"logind allows no power off, restart or sleep: none of them in the menu"} +
               run(1, "[start run]");
    QTest::newRow("Power off: asked once what the run left is over, then the end")
        << QStringList{"start",        "leave 201 sleep", "mark power-off",
                       "@6000 exit 0", "gone 201",        "tick"}
        << run(1) +
               QStringList{"run 1 ended with status 0 after 6.0 s",
                           "[find leftovers]",
                           "pid 201 (sleep) was left running by the run: ending it",
                           "[201 <- TERM]",
                           "[201 <- CONT]",
                           "[tick @6020]",
                           "[find leftovers]",
                           "[end mark?]",
                           "[logind PowerOff]"} +
               endsWith("Power off was chosen in the menu: powering off");
    // A refused run was no failure: the next starts at once, and the count of quick runs
    // goes on from where it was.
    QTest::newRow("Power off refused: the next run at once, told so; the one after it is not")
        << QStringList{"start",          "logind refuses Access denied",
                       "mark power-off", "@1000 exit 0",
                       "@1500 exit 0",   "tick"}
        << run(1) + ended(1, "1.0") +
               QStringList{"[logind PowerOff]",
                           "Power off was chosen in the menu, but logind did not do it (Access "
                           "denied): the next run starts",
                           "[remove end mark]"} +
               run(2, "[start run TAMBLIN_POWER=power-off,restart,sleep "
                      "TAMBLIN_NOTICE=power-off-refused]") +
               ended(2, "0.5") +
               QStringList{"run 2 was short: the next one starts in 1 s", "[tick @2500]"} + run(3);
    QTest::newRow("a signal with the mark: the session ends, logind is not asked")
        << QStringList{"start", "mark power-off", "@1000 signal TERM", "@2000 exit 0"}
        << run(1) +
               QStringList{"SIGTERM: ending run 1", "[run <- TERM]",
                           "run 1 ended with status 0 after 2.0 s", "[find leftovers]"} +
               endsWith("the session ends on SIGTERM");
    QTest::newRow("a mark of anything else is Quit")
        << QStringList{"start", "mark sleep", "@6000 exit 0"}
        << run(1) + ended(1, "6.0") + endsWith(quitLine);
}

QTEST_APPLESS_MAIN(SessionCoreTest)
#include "tst_sessionCore.moc"
