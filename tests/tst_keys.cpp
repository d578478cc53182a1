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

    // The keypad's keys, and those of today's keyboards and remote controls by their keysyms,
    // in both menu states, in one run: every key asks, then sends its command, if any.
    // (Xvfb has no Select key, and one bound with xmodmap reaches Qt without its keysym:
    // Select is tried in-process only.)
    void keysDriveThePlayer()
    {
        struct Row
        {
            const char* keysym;
            const char* whenHidden; // "" sends nothing; nullptr ends the run, tried last
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
            {"Menu", "set_menu main", ""},
            {"XF86AudioStop", nullptr, "menu cancel"},
            {"Escape", nullptr, "menu cancel"},
            {"XF86Back", nullptr, "menu cancel"},
            {"KP_Enter", "pause", "menu ok"},
            {"Right", "seek +40", ""},
            {"Left", "seek -40", ""},
            {"Up", "seek -150", "menu up"},
            {"Down", "seek +150", "menu down"},
            {"Return", "pause", "menu ok"},
            {"F1", "set_menu main", ""},
            {"F2", nullptr, "menu cancel"},
            {"F26", "pause", "pause"},
            {"F28", "seek -300", "seek -300"},
            {"F29", "seek +300", "seek +300"},
            {"a", "", ""},
        };
        TamblinRun run(x.get(), nullptr);
        run.start({"-ao null"});
        QVERIFY(run.waitForReceived("OPEN"));
        const qulonglong wid = run.waitForWindow();
        QVERIFY(wid);
        x->focus(wid);

        // What the player got besides the queries; xdotool may hold Shift for a keysym it binds
        // for the moment, which asks once more.
        const QString q = "get_menu_visibility";
        const auto commands = [&] {
            QStringList c = run.received();
            c.removeAll(q);
            return c;
        };
        QStringList expected{"OPEN"};
        for (bool visible : {false, true}) {
            run.setControl(visible
                               ? "answer ANS_MENU_VISIBILITY=1\n"
                               : "print Playing background.avi.\nanswer ANS_MENU_VISIBILITY=0\n");
            for (const Row& r : rows) {
                const char* command = visible ? r.whenVisible : r.whenHidden;
                if (!command)
                    continue;
                const qsizetype asked = run.received().count(q);
                press(r.keysym);
                if (*command)
                    expected << command;
                // One at a time: the next keysym xdotool binds may take the same keycode.
                QVERIFY2(
                    waitUntil(
                        [&] { return run.received().count(q) > asked && commands() == expected; },
                        10000),
                    qPrintable(QString(r.keysym) + ": " + run.received().join(", ")));
            }
        }
        run.setControl("answer ANS_MENU_VISIBILITY=0\n");
        press("F2");
        QVERIFY(run.waitForExit(15000));
        QCOMPARE(run.exitCode(), 0);
        QCOMPARE(commands(), (expected + QStringList{"quit 0"}));
        // Only the key without a row is unknown (and Shift).
        const QString unknown = "Unknown Key: ";
        QCOMPARE(run.out().count(unknown),
                 run.out().count(unknown + "65\n") + run.out().count(unknown + "16777248\n"));
        QCOMPARE(run.out().count(unknown + "65\n"), 2);
    }
};

QTEST_GUILESS_MAIN(KeysTest)
#include "tst_keys.moc"
