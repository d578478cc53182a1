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
        t.press({100, 100});
        t.release({140, 100});
        QCOMPARE(keys(spy), QList<int>{Qt::Key_Right});
        t.setScreenSize({1920, 1080});
        t.press({100, 100});
        t.release({140, 100});
        QCOMPARE(keys(spy), QList<int>());
        // 20 pixels: a tap on the large screen.
        t.press({100, 100});
        t.release({120, 100});
        QCOMPARE(keys(spy), QList<int>{Qt::Key_Return});
        // Down from the top edge ends the run; down from lower seeks.
        t.press({500, 40});
        t.release({500, 400});
        t.press({500, 100});
        t.release({500, 400});
        t.press({500, 400});
        t.release({500, 100});
        QCOMPARE(keys(spy), (QList<int>{Qt::Key_F2, Qt::Key_Down, Qt::Key_Up}));
        t.press({500, 400}, 2);
        t.release({505, 400});
        QCOMPARE(keys(spy), QList<int>{Qt::Key_F2});
    }

    void longPressComesWhileHeld()
    {
        GestureTracker t;
        QSignalSpy spy(&t, &GestureTracker::key);
        t.press({100, 100});
        QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 1, 2000);
        QCOMPARE(keys(spy), QList<int>{Qt::Key_F1});
        t.release({100, 100});
        QCOMPARE(keys(spy), QList<int>()); // no tap after it

        // Held a little too long for a tap, not long enough for a long press: nothing.
        t.press({100, 100});
        QTest::qWait(kTapMaxMs + 50);
        t.release({100, 100});
        QCOMPARE(keys(spy), QList<int>());

        // A finger that moves is no long press: it ends as a swipe.
        t.press({100, 100});
        t.move({200, 100});
        QTest::qWait(kLongPressMs + 100);
        t.release({300, 100});
        QCOMPARE(keys(spy), QList<int>{Qt::Key_Right});
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
