// The gestures on their own: thresholds in proportion to the screen, the long press while the
// finger is still down, and the wheel's notches; and F1 held, which turns speech on or off.
#include "player/gestures.h"
#include "player/keyHold.h"

#include <QSignalSpy>
#include <QTest>

class GesturesTest : public QObject
{
    Q_OBJECT

  private slots:
    // Steps: "screen W H", "press X Y T [fingers]", "move X Y T", "release X Y T", "tick T",
    // "cancel", "wheel DELTA". Time comes from the events and from ticks: no waiting here.
    void strokes_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QList<int>>("keys");
        const QList<int> none, f1{Qt::Key_F1}, f2{Qt::Key_F2};
        const QString large = "screen 1920 1080";
        QTest::newRow("40 px right: a swipe on a small screen")
            << QStringList{"screen 320 240", "press 100 100 0", "release 140 100 10"}
            << QList<int>{Qt::Key_Right};
        QTest::newRow("... neither tap nor swipe on a large one")
            << QStringList{large, "press 100 100 0", "release 140 100 10"} << none;
        QTest::newRow("20 px: a tap on a large screen")
            << QStringList{large, "press 100 100 0", "release 120 100 10"}
            << QList<int>{Qt::Key_Return};
        QTest::newRow("left") << QStringList{large, "press 500 400 0", "release 300 400 10"}
                              << QList<int>{Qt::Key_Left};
        QTest::newRow("down from the top edge ends the run")
            << QStringList{large, "press 500 40 0", "release 500 400 10"} << f2;
        QTest::newRow("down from lower seeks")
            << QStringList{large, "press 500 100 0", "release 500 400 10"}
            << QList<int>{Qt::Key_Down};
        QTest::newRow("up") << QStringList{large, "press 500 400 0", "release 500 100 10"}
                            << QList<int>{Qt::Key_Up};
        QTest::newRow("two-finger tap")
            << QStringList{large, "press 500 400 0 2", "release 505 400 10"} << f2;
        QTest::newRow("held: the long press comes at its time, while still down")
            << QStringList{"press 100 100 0", "tick 599", "tick 600"} << f1;
        QTest::newRow("... and no tap follows when it is let go")
            << QStringList{"press 100 100 0", "tick 600", "release 100 100 700"} << f1;
        QTest::newRow("let go after the long press's time, before its tick")
            << QStringList{"press 100 100 0", "release 100 100 650"} << f1;
        QTest::newRow("too long for a tap, too short for a long press")
            << QStringList{"press 100 100 0", "release 100 100 550", "tick 600"} << none;
        QTest::newRow("a tap") << QStringList{"press 100 100 1000", "release 100 100 1490"}
                               << QList<int>{Qt::Key_Return};
        QTest::newRow("a finger that moves is no long press: it ends as a swipe")
            << QStringList{"press 100 100 0", "move 200 100 100", "tick 700", "release 300 100 800"}
            << QList<int>{Qt::Key_Right};
        QTest::newRow("cancelled: nothing")
            << QStringList{"press 100 100 0", "cancel", "tick 600", "release 100 100 700"} << none;
        QTest::newRow("half a wheel notch is nothing") << QStringList{"wheel 60"} << none;
        QTest::newRow("wheel notches add up, each way")
            << QStringList{"wheel 60", "wheel 60", "wheel -360"}
            << QList<int>{Qt::Key_VolumeUp, Qt::Key_VolumeDown, Qt::Key_VolumeDown,
                          Qt::Key_VolumeDown};
    }

    void strokes()
    {
        QFETCH(QStringList, steps);
        QFETCH(QList<int>, keys);
        GestureTracker t;
        QSignalSpy spy(&t, &GestureTracker::key);
        for (const QString& step : steps) {
            const QStringList w = step.split(' ');
            const auto n = [&](int i) { return w.value(i).toLongLong(); };
            const QPointF at(n(1), n(2));
            if (w[0] == "screen") {
                t.setScreenSize(QSize(int(n(1)), int(n(2))));
            } else if (w[0] == "press") {
                t.press(at, n(3), w.size() > 4 ? int(n(4)) : 1);
                QCOMPARE(t.deadline(), n(3) + 600); // the long press's time, as the rows have it
            } else if (w[0] == "move") {
                t.move(at, n(3));
            } else if (w[0] == "release") {
                t.release(at, n(3));
            } else if (w[0] == "tick") {
                t.tick(n(1));
            } else if (w[0] == "wheel") {
                t.wheel(int(n(1)));
            } else {
                t.cancel();
            }
        }
        QList<int> got;
        for (const QList<QVariant>& args : spy)
            got << args.at(0).toInt();
        QCOMPARE(got, keys);
        QCOMPARE(t.deadline(), -1);
    }

    // Key events: "+T" F1 pressed, "*T" a press that auto-repeat brings, "-T" released, "x"
    // another key pressed. When the hold is complete: the times of the events that made it.
    void speechHold_data()
    {
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<QStringList>("held");
        const QString repeats = "+0 *500 *530 *2970 *3000 *3030 *3060 -3080";
        QTest::newRow("auto-repeat: once, at the first repeat 3 s on")
            << repeats.split(' ') << QStringList{"3000"};
        QTest::newRow("without auto-repeat: at the release")
            << QStringList{"+100", "-3100"} << QStringList{"3100"};
        QTest::newRow("released just short of it: nothing")
            << QStringList{"+0", "*500", "*2990", "-2999"} << QStringList{};
        QTest::newRow("each hold counts from its own press")
            << QStringList{"+0", "-2000", "+2500", "*5000", "-5100", "+6000", "-9000"}
            << QStringList{"9000"};
        QTest::newRow("another key between: not a hold")
            << QStringList{"+0", "x", "*3100", "-3200"} << QStringList{};
        QTest::newRow("auto-repeat not marked: a release and a press at one time go on")
            << QStringList{"+0",    "-40",   "+40",   "-80",   "+80",
                           "-3000", "+3000", "-3050", "+3050", "-3090"}
            << QStringList{"3000"};
        QTest::newRow("twice, each held: twice")
            << QStringList{"+0", "-3000", "+4000", "*7000", "-7100"} << QStringList{"3000", "7000"};
    }
    void speechHold()
    {
        QFETCH(QStringList, events);
        QFETCH(QStringList, held);
        KeyHold hold(Qt::Key_F1, kSpeechHoldMs);
        QStringList got;
        for (const QString& e : events) {
            const long long at = e.mid(1).toLongLong();
            const bool done = e[0] == '+'   ? hold.pressed(Qt::Key_F1, false, at)
                              : e[0] == '*' ? hold.pressed(Qt::Key_F1, true, at)
                              : e[0] == '-' ? hold.released(Qt::Key_F1, false, at)
                                            : hold.pressed(Qt::Key_F2, false, at);
            if (done)
                got << QString::number(at);
        }
        QCOMPARE(got, held);
    }
};

QTEST_GUILESS_MAIN(GesturesTest)
#include "tst_gestures.moc"
