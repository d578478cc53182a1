// The real program on the distribution's MPlayer through the adapter, on a real X server:
// the adapter's menu answers checked against what the screen shows, playback commands checked
// against the player's own answers, and every way the run ends.
#include "adapterSession.h"
#include "spawn.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

class AdapterTest : public QObject
{
    Q_OBJECT

  private:
    std::unique_ptr<Xvfb> x;
    QTemporaryDir scratch;

    void press(const QString& key) { x->run("xdotool", {"key", key}); }

    // Presses a key, waits until the adapter has relayed what it sends, then until the player
    // has shown it: a paused player is put to rest only once it has drawn the last command's
    // effect; a playing one has taken the command once it answers a question asked after it.
    bool step(AdapterSession& s, const QString& key, const QString& relayed)
    {
        const int before = s.count("> " + relayed);
        const int rests = s.count(restMark());
        press(key);
        if (!s.waitFor("> " + relayed, before + 1))
            return false;
        return s.property("pause") == "no" || s.waitFor(restMark(), rests + 1);
    }

    // A frame of the clip, drawn inside the window.
    bool clipDrawn(QImage* frame)
    {
        return waitUntil(
            [&] {
                *frame = shot();
                int lit = 0;
                for (int y = 0; y < frame->height(); y += 8)
                    for (int xx = 100; xx < 700; xx += 8)
                        lit += frame->pixel(xx, y) != qRgb(0, 0, 0);
                return lit > 3000;
            },
            10000);
    }

    QImage blackFrame() const
    {
        QImage black(x->width(), x->height(), QImage::Format_RGB32);
        black.fill(Qt::black);
        return black;
    }

    QImage shot() { return screenshot(*x, scratch.path()); }

    // The menu is drawn exactly when the adapter says it is visible.
    void checkScreen(AdapterSession& s, const QImage& hiddenFrame, const QString& expected)
    {
        const QString answer = s.menuAnswer();
        QCOMPARE(answer, expected);
        const int diff = differingPixels(shot(), hiddenFrame);
        if (answer.endsWith("=1"))
            QVERIFY2(diff > 1000, qPrintable(QString("menu not drawn: %1").arg(diff)));
        else
            QVERIFY2(diff < 100, qPrintable(QString("menu still drawn: %1").arg(diff)));
    }

    void checkCleanEnd(AdapterSession& s)
    {
        QVERIFY2(s.run.waitForExit(30000), "the run did not end");
        QCOMPARE(s.run.exitCode(), 0);
        QVERIFY(s.run.out().endsWith("\nSetting Backlight State to 30s...  \n"));
        for (pid_t pid : s.pids())
            QVERIFY2(waitUntil([&] { return processGone(pid); }, 5000), "process left behind");
    }

    qulonglong startAndFocus(AdapterSession& s, const QStringList& args)
    {
        s.run.start(args);
        if (!s.waitFor("< Playing " + s.run.appDir() + "background.avi.", 1, 20000))
            return 0;
        const qulonglong wid = s.run.waitForWindow();
        if (wid)
            x->focus(wid);
        return wid;
    }

  private slots:
    void initTestCase()
    {
        // Wider than the clip, so that its aspect shows.
        x = std::make_unique<Xvfb>(800, 480);
    }

    void cleanupTestCase() { x.reset(); }

    // At rest the player is still with the menu on screen (MPlayer stopped outright: it would
    // go on drawing); a key wakes it, and the picture follows at once. The menu is drawn
    // exactly when the adapter says it is visible.
    void menuOnScreenMatchesTheAnswers()
    {
        AdapterSession s(x.get());
        QVERIFY(startAndFocus(s, {"-ao null"}));
        QVERIFY(s.waitFor(restMark()));
        const pid_t player = s.pids().value(1);
        const char still = onMpv() ? 'S' : 'T';
        // A stop takes effect once the player is next scheduled, which on a busy machine can
        // be a moment after the adapter has sent it.
        const auto isStill = [&] {
            return waitUntil([&] { return processState(player) == still; }, 5000);
        };
        QVERIFY2(isStill(), qPrintable(QString(QLatin1Char(processState(player)))));
        const QImage resting = shot();
        QVERIFY(differingPixels(resting, blackFrame()) > 1000); // the menu over the still picture
        // Watched for a while, the picture does not change.
        QElapsedTimer watched;
        watched.start();
        while (watched.elapsed() < 500)
            QCOMPARE(differingPixels(shot(), resting), 0);
        press("Down");
        QVERIFY(onMpv() || s.waitFor("# continued"));
        QVERIFY(s.waitFor("> menu down"));
        QVERIFY(s.waitFor(restMark(), 2));
        QVERIFY2(isStill(), qPrintable(QString(QLatin1Char(processState(player)))));
        QVERIFY(differingPixels(shot(), resting) > 100); // the highlight has moved

        QCOMPARE(s.menuAnswer(), "ANS_MENU_VISIBILITY=1");
        QVERIFY(step(s, "F2", "menu cancel"));
        // The background stands still, with the menu hidden too: frames differ only by the menu.
        const QImage hidden = shot();
        QCOMPARE(s.menuAnswer(), "ANS_MENU_VISIBILITY=0");

        QVERIFY(step(s, "F1", "set_menu main"));
        checkScreen(s, hidden, "ANS_MENU_VISIBILITY=1");
        QVERIFY(step(s, "Down", "menu down"));
        checkScreen(s, hidden, "ANS_MENU_VISIBILITY=1");
        // Back from the second main menu to the first, which the player shows again.
        QVERIFY(step(s, "F2", "menu cancel"));
        checkScreen(s, hidden, "ANS_MENU_VISIBILITY=1");
        QVERIFY(step(s, "F2", "menu cancel"));
        checkScreen(s, hidden, "ANS_MENU_VISIBILITY=0");

        // A clip from the list: it plays and the menu closes.
        QVERIFY(step(s, "F1", "set_menu main"));
        QVERIFY(step(s, "Return", "menu ok"));
        QCOMPARE(s.menuAnswer(), "ANS_MENU_VISIBILITY=1");
        const int hides = s.count("> menu hide");
        press("Return");
        QVERIFY(s.waitFor("> menu hide", hides + 1));
        QCOMPARE(s.menuAnswer(), "ANS_MENU_VISIBILITY=0");

        // The video is drawn inside the window, scaled with its aspect kept (the 16:9 clip with
        // bars above and below: the one below is clear of the menu, which may still be going),
        // and the player has no window of its own.
        QImage frame;
        QVERIFY(clipDrawn(&frame));
        QCOMPARE(frame.size(), QSize(800, 480));
        QVERIFY(qGray(frame.pixel(400, 240)) > 0 || qRed(frame.pixel(400, 240)) > 0);
        for (int xx = 0; xx < 800; xx += 8)
            QCOMPARE(frame.pixel(xx, 476), qRgb(0, 0, 0));
        QVERIFY(x->run("xdotool", {"search", "--name", "^MPlayer$"}).trimmed().isEmpty());

        // F2 with the menu hidden closes the window, which tells the player to quit.
        press("F2");
        QVERIFY(s.waitFor("> quit 0"));
        checkCleanEnd(s);
    }

    void playbackCommandsTakeEffect()
    {
        // A background with sound, for the volume.
        const QString withSound = scratch.path() + "/with-sound.avi";
        QCOMPARE(QProcess::execute("ffmpeg", {"-loglevel", "error", "-y", "-f", "lavfi", "-i",
                                              "testsrc=size=320x240:rate=15:duration=8", "-f",
                                              "lavfi", "-i", "sine=frequency=440:duration=8",
                                              "-c:v", "mpeg4", "-c:a", "mp3", withSound}),
                 0);
        AdapterSession s(x.get(), withSound);
        QVERIFY(startAndFocus(s, {"-ao null"}));
        // The start menu's background is a still picture, also once the menu is hidden, until
        // the user sets it going.
        QCOMPARE(s.property("pause"), "yes");
        QVERIFY(step(s, "F2", "menu cancel"));
        QCOMPARE(s.property("pause"), "yes");

        QVERIFY(step(s, "Return", "pause"));
        QCOMPARE(s.property("pause"), "no");
        QVERIFY(step(s, "Return", "pause"));
        QCOMPARE(s.property("pause"), "yes");
        QVERIFY(step(s, "Return", "pause"));
        QCOMPARE(s.property("pause"), "no");

        const double volume = s.property("volume").toDouble();
        QVERIFY(step(s, "Prior", "volume -10"));
        const double lower = s.property("volume").toDouble();
        QVERIFY2(lower < volume, qPrintable(QString("%1 -> %2").arg(volume).arg(lower)));
        QVERIFY(step(s, "Next", "volume +10"));
        QVERIFY(s.property("volume").toDouble() > lower);

        double before = 0;
        QVERIFY(
            waitUntil([&] { return (before = s.property("time_pos").toDouble()) > 1.0; }, 10000));
        QVERIFY(step(s, "Up", "seek -150"));
        const double after = s.property("time_pos").toDouble();
        QVERIFY2(after < before, qPrintable(QString("%1 -> %2").arg(before).arg(after)));

        QVERIFY(step(s, "F9", "osd"));
        QVERIFY(step(s, "F11", "frame_drop"));
        QCOMPARE(s.property("framedropping"), "1");
        press("F2");
        checkCleanEnd(s);
    }

    // A menu opened over a playing clip holds it still until the menu closes; a pause of the
    // user's own under the menu stands.
    void menuOverAPlayingClipHoldsThePause()
    {
        AdapterSession s(x.get());
        QVERIFY(startAndFocus(s, {"-ao null"}));
        QVERIFY(step(s, "Return", "menu ok")); // Play a clip
        const int hides = s.count("> menu hide");
        press("Return"); // the bundled clip, from the clip list
        QVERIFY(s.waitFor("> menu hide", hides + 1));
        QCOMPARE(s.property("pause"), "no");

        QVERIFY(step(s, "F1", "set_menu main"));
        QCOMPARE(s.property("pause"), "yes");
        QVERIFY(step(s, "Next", "pausing_keep volume +10")); // keeps the hold
        QCOMPARE(s.property("pause"), "yes");
        QVERIFY(step(s, "F2", "menu cancel")); // back to the clip list, shown again
        QCOMPARE(s.menuAnswer(), "ANS_MENU_VISIBILITY=1");
        QCOMPARE(s.property("pause"), "yes");
        QVERIFY(step(s, "F2", "menu cancel"));
        QVERIFY(step(s, "F2", "menu cancel")); // hidden: the clip goes on
        QCOMPARE(s.menuAnswer(), "ANS_MENU_VISIBILITY=0");
        QCOMPARE(s.property("pause"), "no");

        QVERIFY(step(s, "F1", "set_menu main"));
        QVERIFY(step(s, "Down", "menu down"));
        QVERIFY(step(s, "Return", "menu ok")); // Pause or resume: playing under the menu
        QCOMPARE(s.property("pause"), "no");
        QVERIFY(step(s, "Return", "menu ok"));
        QCOMPARE(s.property("pause"), "yes");
        QVERIFY(step(s, "F2", "menu cancel")); // the menu below shows again
        QVERIFY(step(s, "F2", "menu cancel"));
        QCOMPARE(s.menuAnswer(), "ANS_MENU_VISIBILITY=0");
        QCOMPARE(s.property("pause"), "yes"); // as the user left it
        press("F2");
        checkCleanEnd(s);
    }

    // Touch and pointer reach the window while the player draws into it: the player takes no
    // pointer grab and no button events of its own there. The run ends by the menu's Quit.
    void gesturesReachTheWindow()
    {
        AdapterSession s(x.get());
        QVERIFY(startAndFocus(s, {"-ao null"}));
        const int w = x->width(), h = x->height();
        auto drag = [&](int x0, int y0, int x1, int y1) {
            x->run("xdotool",
                   {"mousemove", QString::number(x0), QString::number(y0), "mousedown", "1",
                    "mousemove", QString::number((x0 + x1) / 2), QString::number((y0 + y1) / 2),
                    "mousemove", QString::number(x1), QString::number(y1), "mouseup", "1"});
        };
        auto relayed = [&](const QString& command, const std::function<void()>& gesture) {
            const int before = s.count("> " + command);
            gesture();
            return s.waitFor("> " + command, before + 1);
        };
        QVERIFY(relayed("menu ok", [&] {
            x->run("xdotool",
                   {"mousemove", QString::number(w / 2), QString::number(h / 2), "click", "1"});
        }));
        QVERIFY(relayed("menu down", [&] { drag(w / 2, h / 3, w / 2, h * 2 / 3); }));
        QVERIFY(relayed("menu up", [&] { drag(w / 2, h * 2 / 3, w / 2, h / 3); }));
        QVERIFY(relayed("menu cancel", [&] { drag(w / 2, 2, w / 2, h / 2); }));
        // The wheel is the volume; under the still background it keeps the pause.
        QVERIFY(relayed("pausing_keep volume +10", [&] { x->run("xdotool", {"click", "4"}); }));
        QVERIFY(relayed("menu cancel", [&] { press("F2"); })); // hidden
        QVERIFY(relayed("set_menu main", [&] {
            x->run("xdotool", {"mousedown", "1", "sleep", "1", "mouseup", "1"});
        }));
        QCOMPARE(s.menuAnswer(), "ANS_MENU_VISIBILITY=1");
        // Quit from the player's own menu: the player ends, and then the adapter; the window's
        // own quit finds nobody to relay it.
        QVERIFY(step(s, "Up", "menu up")); // wraps to Quit
        press("Return");
        checkCleanEnd(s);
        QCOMPARE(s.count("> quit 0"), 0);
    }

    void playersOwnEndEndsTheRun()
    {
        AdapterSession s(x.get());
        s.run.start({"-ao null", QStringLiteral(APP_DIR_PATH "/background.avi")});
        QVERIFY(s.waitFor("< Playing " APP_DIR_PATH "/background.avi.", 1, 20000));
        checkCleanEnd(s); // the clip is a few seconds long
        QCOMPARE(s.count("> quit 0"), 0);
    }

    void windowGoneWithoutQuit()
    {
        AdapterSession s(x.get());
        QVERIFY(startAndFocus(s, {"-ao null"}));
        const QList<pid_t> pids = s.pids();
        QCOMPARE(pids.size(), 2);
        kill(s.run.pid(), SIGKILL);
        s.run.waitForExit(5000);
        QVERIFY(s.waitFor("> quit"));
        for (pid_t pid : pids)
            QVERIFY2(waitUntil([&] { return processGone(pid); }, 10000), "process left behind");
    }

    // A window that dies before it has opened the FIFO never closes it: the adapter sees the
    // reader of its output go, tells the player to quit, and ends one that does not.
    void windowGoneBeforeItsFifo()
    {
        QTemporaryDir dir;
        const QString player = dir.path() + "/deaf-player";
        QFile f(player);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\nexec sleep 600\n");
        f.close();
        f.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
        const QByteArray fifo = QFile::encodeName(dir.path() + "/pipe");
        QVERIFY(mkfifo(fifo.constData(), 0600) == 0);
        const QString trace = dir.path() + "/trace";

        SpawnRequest request;
        request.path = APP_DIR_PATH "/mplayer";
        request.arguments = {request.path, "-slave",  "-input", "file=" + fifo.toStdString(),
                             "-quiet",     "clip.avi"};
        request.environment = {"TAMBLIN_PLAYER=" + player.toStdString(),
                               "TAMBLIN_MEDIA=" + dir.path().toStdString(),
                               "TAMBLIN_ADAPTER_TRACE=" + trace.toStdString()};
        int output = -1;
        const pid_t adapter = spawnWithPipes(request, nullptr, &output, nullptr);
        QVERIFY(adapter > 0);
        bool reaped = false;
        pid_t deafPlayer = -1;
        // Whatever happens, nothing is left running.
        const auto cleanUp = qScopeGuard([&] {
            if (deafPlayer > 0)
                kill(deafPlayer, SIGKILL);
            if (!reaped) {
                kill(adapter, SIGKILL);
                waitpid(adapter, nullptr, 0);
            }
        });
        const auto traced = [&] {
            QFile t(trace);
            return t.open(QIODevice::ReadOnly) ? QString(t.readAll()) : QString();
        };
        QVERIFY(waitUntil([&] { return traced().contains("# pids"); }, 10000));
        deafPlayer = traced().section("# pids ", 1).section('\n', 0, 0).section(' ', 1).toInt();
        close(output); // the window is gone
        QVERIFY(waitUntil([&] { return traced().contains("> quit\n"); }, 10000));
        int status = -1;
        QVERIFY2(waitUntil([&] { return reaped = (waitpid(adapter, &status, WNOHANG) == adapter); },
                           15000),
                 "the adapter did not end");
        QVERIFY(processGone(deafPlayer));
    }

    // A player that cannot be found, or that cannot open its display and would go on for ever:
    // the run ends cleanly, and standard error says why.
    void playerThatCannotPlay_data()
    {
        QTest::addColumn<QString>("player");
        QTest::addColumn<bool>("dialog");
        QTest::addColumn<QStringList>("diagnostics");
        QTest::newRow("missing") << "/nonexistent/mplayer" << true
                                 << QStringList{"cannot find the real player"};
        // The adapter ends it, and the window says how the player ended.
        QTest::newRow("without a display")
            << (onMpv() ? "/usr/bin/mpv" : "/usr/bin/mplayer") << false
            << QStringList{"tamblin-adapter: the player cannot open its X display \\(\".*couldn't "
                           "open the X11 display \\(:9999\\)!\"\\)",
                           "tamblin: the player (ended with status|was ended by signal) \\d+"};
    }

    void playerThatCannotPlay()
    {
        QFETCH(QString, player);
        QFETCH(bool, dialog);
        QFETCH(QStringList, diagnostics);
        AdapterSession s(x.get());
        // Named after the player: the adapter tells the players apart by their names.
        const QString wrapper = s.run.root() + "/no-display-" + QFileInfo(player).fileName();
        QFile f(wrapper);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\nDISPLAY=:9999 exec " + player.toLatin1() + " \"$@\"\n");
        f.close();
        f.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
        s.run.env().insert("TAMBLIN_PLAYER", dialog ? player : wrapper);
        s.run.start({"-ao null"});
        QVERIFY(!dialog || x->answerDialog("Return"));
        QVERIFY2(s.run.waitForExit(20000), "the run did not end");
        QCOMPARE(s.run.exitCode(), 0);
        for (const QString& d : diagnostics)
            QVERIFY2(s.run.err().count(QRegularExpression(d)) == 1, qPrintable(s.run.err()));
        for (pid_t pid : s.pids())
            QVERIFY(waitUntil([&] { return processGone(pid); }, 5000));
        QCOMPARE(s.traceLines().isEmpty(), dialog); // a missing player traces nothing
    }
};

QTEST_GUILESS_MAIN(AdapterTest)
#include "tst_adapter.moc"
