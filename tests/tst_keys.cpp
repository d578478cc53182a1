// Real key events on a real X server reach the player as commands, through the real program.
#include "harness.h"

#include <QFile>
#include <QTest>

#include <memory>

class KeysTest : public QObject
{
    Q_OBJECT

  private:
    std::unique_ptr<Xvfb> x;

    void press(const QString& key) { x->run("xdotool", {"key", key}); }

  private slots:
    void initTestCase()
    {
        x = std::make_unique<Xvfb>(320, 240);
        QVERIFY(x->bindDeviceKeys());
    }

    void cleanupTestCase() { x.reset(); }

    void keysDriveThePlayer()
    {
        TamblinRun run(x.get(), nullptr);
        run.setControl("print Playing background.avi.\nanswer ANS_MENU_VISIBILITY=0\n");
        run.start({"-ao null"});
        QVERIFY(run.waitForReceived("OPEN"));
        const qulonglong wid = run.waitForWindow();
        QVERIFY(wid);
        x->focus(wid);

        const QStringList hidden{"Right", "F26", "F28", "F29", "a", "Return", "Up", "F1"};
        for (const QString& key : hidden)
            press(key);
        QVERIFY(run.waitForReceived("set_menu main"));

        run.setControl("answer ANS_MENU_VISIBILITY=1\n");
        for (const char* key : {"Down", "Left", "Return", "F2"})
            press(key);
        QVERIFY(run.waitForReceived("menu cancel"));

        run.setControl("answer ANS_MENU_VISIBILITY=0\n");
        press("F2");
        QVERIFY(run.waitForExit(15000));
        QCOMPARE(run.exitCode(), 0);

        const QString q = "get_menu_visibility";
        QCOMPARE(run.received(),
                 QStringList(
                     {"OPEN", q, "seek +40", q, "pause",       q, "seek -300",     q, "seek +300",
                      q,      q, "pause",    q, "seek -150",   q, "set_menu main", q, "menu down",
                      q,      q, "menu ok",  q, "menu cancel", q, "quit 0"}));
        QVERIFY2(run.out().contains("\nUnknown Key: 65\n"), qPrintable(run.out()));
    }

    // The keys of today's keyboards and remote controls, by their keysyms, one at a time. (Xvfb
    // has no Select key, and one bound with xmodmap reaches Qt without its keysym: Select is
    // tried in-process only.)
    void todaysKeys()
    {
        TamblinRun run(x.get(), nullptr);
        run.setControl("answer ANS_MENU_VISIBILITY=0\n");
        run.start({"-ao null"});
        QVERIFY(run.waitForReceived("OPEN"));
        const qulonglong wid = run.waitForWindow();
        QVERIFY(wid);
        x->focus(wid);

        struct Row
        {
            const char* keysym;
            const char* whenHidden;
            const char* whenVisible;
        };
        const Row rows[] = {
            {"XF86AudioRaiseVolume", "volume +10", "volume +10"},
            {"XF86AudioLowerVolume", "volume -10", "volume -10"},
            {"XF86AudioMute", "mute", "mute"},
            {"XF86AudioPlay", "pause", "pause"},
            {"XF86AudioPause", "pause", "pause"},
            {"XF86AudioNext", "seek +300", "seek +300"},
            {"XF86AudioPrev", "seek -300", "seek -300"},
            {"Menu", "set_menu main", nullptr},
            {"XF86AudioStop", nullptr, "menu cancel"},
            {"Escape", nullptr, "menu cancel"},
            {"XF86Back", nullptr, "menu cancel"},
            {"KP_Enter", "pause", "menu ok"},
        };
        for (bool visible : {false, true}) {
            run.setControl(visible ? "answer ANS_MENU_VISIBILITY=1\n"
                                   : "answer ANS_MENU_VISIBILITY=0\n");
            for (const Row& r : rows) {
                const char* command = visible ? r.whenVisible : r.whenHidden;
                if (!command)
                    continue;
                const int before = int(run.received().count(command));
                press(r.keysym);
                QVERIFY2(run.waitForReceived(command, before + 1), r.keysym);
            }
        }
        run.setControl("answer ANS_MENU_VISIBILITY=0\n");
        press("Escape"); // hidden: the run ends
        QVERIFY(run.waitForExit(15000));
        QCOMPARE(run.exitCode(), 0);
        QVERIFY(!run.out().contains(QString("Unknown Key: %1\n").arg(int(Qt::Key_Enter))));
        QVERIFY(!run.out().contains("Unknown Key: 0"));
    }

    // Nothing is pressed while the player prints 10 MB: the window reads it as it comes, so
    // the player never stalls on a full pipe, and the next key press still gets its answer.
    void talkativePlayerNeverStalls()
    {
        TamblinRun run(x.get(), nullptr);
        run.env().insert("STANDIN_FLOOD_IDLE", "10000000");
        run.start({"-ao null"});
        QVERIFY(run.waitForReceived("FLOODED", 1, 30000));
        const qulonglong wid = run.waitForWindow();
        x->focus(wid);
        press("F9");
        QVERIFY(run.waitForReceived("osd"));
        press("F2");
        QVERIFY(run.waitForExit(15000));
        QCOMPARE(run.exitCode(), 0);
        QVERIFY(!run.err().contains("no answer"));
    }

    void keysWithoutACommandFifoSendNothing()
    {
        TamblinRun run(x.get(), nullptr);
        QVERIFY(run.startWithoutCommandFifo());
        const qulonglong wid = run.waitForWindow();
        QVERIFY(wid);
        x->focus(wid);
        press("Return");
        press("F9");
        press("F2");
        QVERIFY(run.waitForExit(15000));
        QCOMPARE(run.exitCode(), 0);
        QVERIFY(!run.err().contains("no answer"));
        QVERIFY(processGone(run.standinPid()));
    }
};

QTEST_GUILESS_MAIN(KeysTest)
#include "tst_keys.moc"
