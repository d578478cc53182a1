// The gestures on their own: thresholds in proportion to the screen, the long press while the
// finger is still down, and the wheel's notches.
#include "player/gestures.h"

#include <QSignalSpy>
#include <QTest>

class GesturesTest : public QObject
{
    Q_OBJECT

    static QList<int> keys(QSignalSpy& spy)
    {
        QList<int> k;
        for (const QList<QVariant>& args : spy)
            k << args.at(0).toInt();
        spy.clear();
        return k;
    }

  private slots:
    void thresholdsFollowTheScreen()
    {
        GestureTracker t;
        QSignalSpy spy(&t, &GestureTracker::key);
        // 40 pixels to the right: a swipe on a small screen, neither tap nor swipe on a large one.
        t.setScreenSize({320, 240});
        t.press({100, 100}, 0);
        t.release({140, 100}, 10);
        QCOMPARE(keys(spy), QList<int>{Qt::Key_Right});
        t.setScreenSize({1920, 1080});
        t.press({100, 100}, 0);
        t.release({140, 100}, 10);
        QCOMPARE(keys(spy), QList<int>());
        // 20 pixels: a tap on the large screen.
        t.press({100, 100}, 0);
        t.release({120, 100}, 10);
        QCOMPARE(keys(spy), QList<int>{Qt::Key_Return});
        // Down from the top edge ends the run; down from lower seeks.
        t.press({500, 40}, 0);
        t.release({500, 400}, 10);
        t.press({500, 100}, 0);
        t.release({500, 400}, 10);
        t.press({500, 400}, 0);
        t.release({500, 100}, 10);
        QCOMPARE(keys(spy), (QList<int>{Qt::Key_F2, Qt::Key_Down, Qt::Key_Up}));
        t.press({500, 400}, 0, 2);
        t.release({505, 400}, 10);
        QCOMPARE(keys(spy), QList<int>{Qt::Key_F2});
    }

    // Time comes from the events and from ticks: no waiting here.
    void timing_data()
    {
        QTest::addColumn<QStringList>("stroke");
        QTest::addColumn<QList<int>>("keys");
        const QList<int> none, f1{Qt::Key_F1};
        QTest::newRow("held: the long press comes at its time, while still down")
            << QStringList{"press 0", "tick 599", "tick 600"} << f1;
        QTest::newRow("... and no tap follows when it is let go")
            << QStringList{"press 0", "tick 600", "release 700"} << f1;
        QTest::newRow("let go after the long press's time, before its tick")
            << QStringList{"press 0", "release 650"} << f1;
        QTest::newRow("too long for a tap, too short for a long press")
            << QStringList{"press 0", "release 550", "tick 600"} << none;
        QTest::newRow("a tap") << QStringList{"press 1000", "release 1490"}
                               << QList<int>{Qt::Key_Return};
        QTest::newRow("a finger that moves is no long press: it ends as a swipe")
            << QStringList{"press 0", "move 200 100", "tick 700", "release 300 800"}
            << QList<int>{Qt::Key_Right};
        QTest::newRow("cancelled: nothing")
            << QStringList{"press 0", "cancel", "tick 600", "release 700"} << none;
    }

    void timing()
    {
        QFETCH(QStringList, stroke);
        QFETCH(QList<int>, keys);
        GestureTracker t;
        QSignalSpy spy(&t, &GestureTracker::key);
        for (const QString& step : stroke) {
            const QStringList w = step.split(' ');
            if (w[0] == "press") {
                t.press({100, 100}, w[1].toLongLong());
                QCOMPARE(t.deadline(), w[1].toLongLong() + kLongPressMs);
            } else if (w[0] == "move") {
                t.move({w[1].toDouble(), 100}, w[2].toLongLong());
            } else if (w[0] == "release") {
                t.release({w.size() > 2 ? w[1].toDouble() : 100, 100}, w.last().toLongLong());
            } else if (w[0] == "tick") {
                t.tick(w[1].toLongLong());
            } else {
                t.cancel();
            }
        }
        QCOMPARE(GesturesTest::keys(spy), keys);
        QCOMPARE(t.deadline(), -1);
    }

    void wheelNotches()
    {
        GestureTracker t;
        QSignalSpy spy(&t, &GestureTracker::key);
        t.wheel(60);
        QCOMPARE(keys(spy), QList<int>());
        t.wheel(60);
        t.wheel(-360);
        QCOMPARE(keys(spy), (QList<int>{Qt::Key_VolumeUp, Qt::Key_VolumeDown, Qt::Key_VolumeDown,
                                        Qt::Key_VolumeDown}));
    }
};

QTEST_GUILESS_MAIN(GesturesTest)
#include "tst_gestures.moc"
