// A menu that speaks: through the real window and adapter, on Debian's MPlayer and mpv, with a
// stand-in for speech-dispatcher on SPEECHD_ADDRESS that keeps what it was asked to say, and
// with Debian's own speech-dispatcher. What
// is said for a walk of keys, in order, each new selection silencing the last; the player's
// sound turned down while it speaks and back up after, and when the run ends by F2 or by
// SIGTERM, with nothing left for the next run when the player dies; F1 held; no service: one line,
// and a run that goes on.
#include "adapterSession.h"
#include "mediaMaker.h"
#include "ssipStandIn.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTest>

#include <csignal>
#include <memory>

class SpeechTest : public QObject
{
    Q_OBJECT

  private:
    std::unique_ptr<Xvfb> x;
    QTemporaryDir scratch;
    QString media, background;

    void press(const QString& key) { x->run("xdotool", {"key", key}); }

    // A run with the start menu up, speech on, through the speech service at `address`. MPlayer
    // has a volume to tell only with its own (-softvol) over a null output.
    bool startRun(AdapterSession& s, const QString& address, const QString& speech = "1",
                  const QString& state = "state")
    {
        s.run.env().insert("TAMBLIN_MEDIA", media);
        s.run.env().insert("XDG_STATE_HOME", scratch.path() + "/" + state);
        if (speech.isEmpty())
            s.run.env().remove("TAMBLIN_SPEECH");
        else
            s.run.env().insert("TAMBLIN_SPEECH", speech);
        s.run.env().insert("SPEECHD_ADDRESS", address);
        s.run.env().insert("LANGUAGE", "en");
        s.run.start({"-ao null -softvol"});
        const qulonglong wid = s.run.waitForWindow();
        if (!wid)
            return false;
        x->focus(wid);
        if (s.waitFor(restMark(), 1, 20000))
            return true;
        qWarning().noquote() << s.traceLines().join('\n') << s.run.errSoFar();
        return false;
    }

    // What the service heard once it has heard `count` things.
    static QStringList heard(const SsipStandIn& speech, int count)
    {
        // Under the sanitizers the player's answer about where it is can take a while.
        waitUntil([&] { return speech.heard().size() >= count; }, 30000);
        return speech.heard();
    }

  private slots:
    void initTestCase()
    {
        x = std::make_unique<Xvfb>(640, 480);
        media = scratch.path() + "/clips";
        QVERIFY(QDir().mkpath(media));
        // Long enough that it still plays when the walk, slowed by the sanitizers, gets there.
        QVERIFY(makeFlatClip(media + "/first clip.avi", "0x203040", "320x240", 15, 120));
        // A background with sound, whose volume the player can tell.
        background = scratch.path() + "/background.mkv";
        QVERIFY(makeClip(background, {"0x203860", 5, {{440, "", ""}}, {}, {}}));
    }

    // Each key, and what it has said once the service has heard it all.
    void walk()
    {
        SsipStandIn speech(scratch.path() + "/walk.socket");
        AdapterSession s(x.get());
        QVERIFY(startRun(s, speech.address()));
        const QList<std::pair<QString, QStringList>> steps{
            {{}, {"LANGUAGE en", "CANCEL", "Tamblin", "Play a clip"}},
            {"Down", {"CANCEL", "Pause or resume"}},
            {"Up", {"CANCEL", "Play a clip"}},
            {"Return", {"CANCEL", "clips", "Play all"}},
            {"Down", {"CANCEL", "first clip"}},
            {"Return", {"CANCEL", "first clip"}}, // its name, as it starts
        };
        QStringList expected;
        for (const auto& [key, said] : steps) {
            if (!key.isEmpty())
                press(key);
            expected += said;
            QCOMPARE(heard(speech, int(expected.size())), expected);
        }
        // The display key: where the clip is, and how long it is.
        // While the clip still loads, the player cannot say where it is yet and nothing is said:
        // the key again until it can.
        QVERIFY(s.waitFor("> menu hide"));
        for (int i = 0; i < 15 && speech.heard().size() < expected.size() + 2; ++i) {
            press("F9");
            waitUntil([&] { return speech.heard().size() >= expected.size() + 2; }, 2000);
        }
        const QStringList all = heard(speech, int(expected.size()) + 2);
        QVERIFY2(all.mid(0, expected.size() + 1) == expected + QStringList{"CANCEL"},
                 qPrintable(all.join(" | ")));
        QVERIFY2(all.value(expected.size() + 1)
                     .contains(QRegularExpression("^(\\d+ seconds?|1 minute) of 2 minutes$")),
                 qPrintable(all.join(" | ")));
        press("F2");
        QVERIFY(s.run.waitForExit(20000));
    }

    // Speech kept speaking until the run ends: the sound comes back up on the way out.
    void ducking_data()
    {
        QTest::addColumn<QString>("end");
        QTest::newRow("F2") << "F2";
        QTest::newRow("SIGTERM") << "SIGTERM";
        QTest::newRow("the player killed") << "kill";
    }
    void ducking()
    {
        QFETCH(QString, end);
        SsipStandIn speech(scratch.path() + "/ducking.socket");
        speech.hold(true);
        double up = 0;
        {
            AdapterSession s(x.get(), background);
            QVERIFY(startRun(s, speech.address()));
            QVERIFY(s.waitFor("# sound down", 1, 30000));
            QCOMPARE(s.count("# sound up"), 0);
            // While it speaks, the sound is down: once it ends, back where it was.
            const double down = s.property("volume").toDouble();
            speech.end();
            QVERIFY(s.waitFor("# sound up", 1, 30000));
            up = s.property("volume").toDouble();
            QVERIFY2(up > down, qPrintable(QString("%1 then %2").arg(down).arg(up)));
            // Down again with the next words, and the run ends while they are said.
            press("Down");
            QVERIFY(s.waitFor("# sound down", 2, 30000));
            if (end == "SIGTERM") {
                kill(s.pids().value(0), SIGTERM);
            } else if (end == "kill") {
                kill(s.pids().value(1), SIGKILL);
            } else {
                press("F2"); // the menu goes
                press("F2"); // the window goes
            }
            QVERIFY(s.run.waitForExit(20000));
            // A player that died has no sound to bring back.
            QCOMPARE(s.count("# sound up"), end == "kill" ? 1 : 2);
            const QStringList trace = s.traceLines();
            if (end != "kill")
                QVERIFY2(trace.lastIndexOf("# sound up") > trace.lastIndexOf("# sound down"),
                         qPrintable(trace.join('\n')));
        }
        // Nothing of it is left for the next run.
        AdapterSession s(x.get(), background);
        QVERIFY(startRun(s, speech.address(), "0"));
        QCOMPARE(s.property("volume").toDouble(), up);
        press("F2");
        press("F2");
        QVERIFY(s.run.waitForExit(20000));
    }

    // F1 held turns speech on, from a run where it was off, and it is on at the next run. The
    // key is held until the words come: auto-repeat brings its presses meanwhile.
    void heldF1()
    {
        SsipStandIn speech(scratch.path() + "/held.socket");
        {
            AdapterSession s(x.get());
            QVERIFY(startRun(s, speech.address(), {}, "held"));
            x->run("xdotool", {"keydown", "F1"});
            waitUntil([&] { return speech.heard().contains("Speech on"); }, 15000);
            x->run("xdotool", {"keyup", "F1"});
            QCOMPARE(heard(speech, 5),
                     (QStringList{"LANGUAGE en", "CANCEL", "Speech on", "Tamblin", "Play a clip"}));
            press("F2");
            press("F2");
            QVERIFY(s.run.waitForExit(20000));
        }
        AdapterSession s(x.get());
        QVERIFY(startRun(s, speech.address(), {}, "held"));
        QCOMPARE(heard(speech, 9).mid(5),
                 (QStringList{"LANGUAGE en", "CANCEL", "Tamblin", "Play a clip"}));
        press("F2");
        press("F2");
        QVERIFY(s.run.waitForExit(20000));
    }

    // Debian's own speech-dispatcher, with espeak-ng and no sound device: its word that it has
    // begun and ended each text turns the sound down and back up.
    void realService()
    {
        if (QStandardPaths::findExecutable("speech-dispatcher").isEmpty())
            QSKIP("no speech-dispatcher");
        const QString conf = scratch.path() + "/speechd", socket = scratch.path() + "/speechd.sock";
        QVERIFY(QProcess::execute("cp", {"-r", "/etc/speech-dispatcher", conf}) == 0);
        QFile settings(conf + "/speechd.conf");
        QVERIFY(settings.open(QIODevice::Append));
        settings.write("AddModule \"espeak-ng\" \"sd_espeak-ng\" \"espeak-ng.conf\"\n"
                       "DefaultModule espeak-ng\nAudioOutputMethod \"libao\"\n");
        settings.close();
        // A pid file and a runtime folder of its own: this suite runs on both players side by
        // side, and a second daemon that finds the first's pid file ends at once.
        QProcess daemon;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_RUNTIME_DIR", scratch.path());
        daemon.setProcessEnvironment(env);
        daemon.start("speech-dispatcher", {"-s", "-t", "60", "-C", conf, "-S", socket, "-P",
                                           scratch.path() + "/speechd.pid"});
        auto stop = qScopeGuard([&] {
            daemon.kill();
            daemon.waitForFinished(5000);
        });
        QVERIFY2(waitUntil([&] { return QFile::exists(socket); }, 20000),
                 daemon.readAllStandardError().constData());
        AdapterSession s(x.get());
        QVERIFY(startRun(s, "unix_socket:" + socket));
        QVERIFY(s.waitFor("# sound down", 1, 30000));
        QVERIFY(s.waitFor("# sound up", 1, 30000));
        press("Down");
        QVERIFY(s.waitFor("# sound down", 2, 30000));
        QVERIFY(s.waitFor("# sound up", 2, 30000));
        QVERIFY(!s.run.errSoFar().contains("no speech"));
        press("F2");
        press("F2");
        QVERIFY(s.run.waitForExit(20000));
    }

    // No speech service: a line on standard error, and the menu still answers.
    void noService()
    {
        AdapterSession s(x.get());
        QVERIFY(startRun(s, "unix_socket:" + scratch.path() + "/nobody"));
        press("Down");
        press("Down");
        QCOMPARE(s.menuAnswer(), "ANS_MENU_VISIBILITY=1");
        press("F2");
        press("F2");
        QVERIFY(s.run.waitForExit(20000));
        const QString err = s.run.err();
        QCOMPARE(err.count("tamblin-adapter: no speech: "), 1);
    }
};

QTEST_GUILESS_MAIN(SpeechTest)
#include "tst_speech.moc"
