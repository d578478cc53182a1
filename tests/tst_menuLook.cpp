// The player's menu: its size rule at screen sizes from small to large, and the same look at
// every moment of a run: before the background first loops and after it has looped, over a clip
// that has just started and over the same clip after it has looped. Backgrounds and clips of one
// flat colour let two screenshots differ only by the menu.
#include "adapterSession.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <algorithm>
#include <memory>

namespace {

// White letters, and the light edge of the smallest ones (libass draws a 12 px letter's core
// in light grey).
bool isText(QRgb p)
{
    return qRed(p) > 200 && qGreen(p) > 200 && qBlue(p) > 200;
}

// Where the menu's white letters are.
QImage textMask(const QImage& shot)
{
    QImage mask(shot.size(), QImage::Format_Mono);
    mask.fill(0);
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x)
            if (isText(shot.pixel(x, y)))
                mask.setPixel(x, y, 1);
    return mask;
}

int maskCount(const QImage& mask)
{
    int n = 0;
    for (int y = 0; y < mask.height(); ++y)
        for (int x = 0; x < mask.width(); ++x)
            n += mask.pixelIndex(x, y);
    return n;
}

// The rectangle that holds every letter.
QRect textBounds(const QImage& mask)
{
    QRect bounds;
    for (int y = 0; y < mask.height(); ++y)
        for (int x = 0; x < mask.width(); ++x)
            if (mask.pixelIndex(x, y))
                bounds |= QRect(x, y, 1, 1);
    return bounds;
}

// The rows of the screen where letters are, as bands of consecutive rows: {top, bottom}.
QList<QPair<int, int>> textBands(const QImage& mask)
{
    QList<QPair<int, int>> bands;
    for (int y = 0; y < mask.height(); ++y) {
        bool ink = false;
        for (int x = 0; x < mask.width() && !ink; ++x)
            ink = mask.pixelIndex(x, y);
        if (ink && (bands.isEmpty() || bands.last().second != y - 1))
            bands.append({y, y});
        else if (ink)
            bands.last().second = y;
    }
    return bands;
}

// The rows of the selection bar, MPlayer's cursor grey (#7a818d): those where it fills at least
// half as much of the row as where it fills most (the letters' edges blend to greys too).
QPair<int, int> barRows(const QImage& shot)
{
    QList<int> filled;
    for (int y = 0; y < shot.height(); ++y) {
        int n = 0;
        for (int x = 0; x < shot.width(); ++x) {
            const QRgb p = shot.pixel(x, y);
            n += qAbs(qRed(p) - 0x7a) < 12 && qAbs(qGreen(p) - 0x81) < 12 &&
                 qAbs(qBlue(p) - 0x8d) < 12;
        }
        filled << n;
    }
    const int most = *std::max_element(filled.begin(), filled.end());
    QPair<int, int> rows{-1, -1};
    for (int y = 0; y < filled.size(); ++y) {
        if (most > 0 && filled[y] * 2 >= most) {
            rows.first = rows.first < 0 ? y : rows.first;
            rows.second = y;
        }
    }
    return rows;
}

} // namespace

class MenuLookTest : public QObject
{
    Q_OBJECT

  private:
    QTemporaryDir scratch;
    QString background, clip;

    void press(const Xvfb& x, const QString& key) { x.run("xdotool", {"key", key}); }

    // Sends a key and waits until the player has drawn what it did and come to rest.
    bool keyToRest(const Xvfb& x, AdapterSession& s, const QString& key)
    {
        const int rests = s.count(restMark());
        press(x, key);
        return s.waitFor(restMark(), rests + 1, 20000);
    }

    bool waitForLoops(AdapterSession& s, const QString& file, int loops)
    {
        if (onMpv()) {
            // mpv loops a file (-loop 0) without opening it again: its position goes back.
            double last = -1;
            int wraps = 0;
            return waitUntil(
                [&] {
                    const double at = s.property("time_pos").toDouble();
                    wraps += at < last;
                    last = at;
                    return wraps >= loops;
                },
                30000);
        }
        const QString playing = "< Playing " + file + ".";
        return s.waitFor(playing, s.count(playing) + loops, 30000);
    }

    // The screen once two screenshots in a row agree.
    QImage settledScreen(const Xvfb& x)
    {
        QImage last = screenshot(x, scratch.path());
        for (int i = 0; i < 50; ++i) {
            const QImage now = screenshot(x, scratch.path());
            if (differingPixels(now, last) == 0)
                return now;
            last = now;
        }
        return QImage();
    }

    // The menu with its second entry chosen (Pause or resume) over the still picture, then over
    // the same picture set going by that entry, once it has looped three times under the menu.
    bool menuBeforeAndAfterLoops(const Xvfb& x, AdapterSession& s, const QString& file,
                                 QImage* before, QImage* after)
    {
        if (!keyToRest(x, s, "Down"))
            return false;
        *before = settledScreen(x);
        const int oks = s.count("> menu ok");
        press(x, "Return");
        if (!s.waitFor("> menu ok", oks + 1) || !waitForLoops(s, file, 3))
            return false;
        *after = settledScreen(x);
        return !before->isNull() && !after->isNull();
    }

    void compareLooks(const QImage& before, const QImage& after, const char* what)
    {
        QCOMPARE(after.size(), before.size());
        const int diff = differingPixels(before, after);
        // One in five hundred of the pixels compared: the letters' outlines blend a little
        // differently over a paused and a playing picture.
        QVERIFY2(diff <= before.width() * before.height() / 2000,
                 qPrintable(QString("%1: %2 pixels differ").arg(what).arg(diff)));
    }

  private slots:
    void initTestCase()
    {
        // A 4:3 background and a 16:9 clip, each a second long so that loops come quickly.
        background = scratch.path() + "/background.avi";
        clip = scratch.path() + "/clip.avi";
        QVERIFY(makeFlatClip(background, "0x203860", "320x240", 15, 1));
        QVERIFY(makeFlatClip(clip, "0x602020", "320x180", 25, 1));
    }

    // The size rule, as each player draws it: a folder of 20 clips shows its title and 11
    // entries, a line apart at the pitch stated here, all inside the screen, the bar too, behind
    // the entry chosen.
    void menuFillsTheScreen_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("pitch");
        QTest::newRow("240 lines") << 320 << 240 << 19;
        QTest::newRow("480 lines") << 640 << 480 << 39;
        QTest::newRow("720 lines") << 1280 << 720 << 59;
        QTest::newRow("1080 lines") << 1920 << 1080 << 89;
    }

    void menuFillsTheScreen()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, pitch);
        // Names with an ascender each, so that every line's ink starts at the same height.
        const QString media = scratch.path() + "/Clocks";
        QDir().mkpath(media);
        for (int i = 1; i <= 20; ++i) {
            QFile f(media + QString("/Clock %1.avi").arg(i, 2, 10, QChar('0')));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        Xvfb x(width, height);
        AdapterSession s(&x, background);
        s.run.env().insert("TAMBLIN_MEDIA", media);
        s.run.start({"-ao null"});
        const qulonglong wid = s.run.waitForWindow();
        QVERIFY(wid);
        x.focus(wid);
        QVERIFY(s.waitFor(restMark(), 1, 20000));
        QVERIFY(keyToRest(x, s, "Return")); // Play a clip: Clocks, Play all, the clocks
        for (int i = 0; i < 3; ++i)
            QVERIFY(keyToRest(x, s, "Down")); // Clock 03
        // The menu once it is on screen and still: at rest, the player may not have shown the
        // frame with the overlay yet on a busy machine.
        QImage shot, text;
        QList<QPair<int, int>> bands;
        waitUntil(
            [&] {
                shot = settledScreen(x);
                text = textMask(shot);
                bands = textBands(text);
                return bands.size() == 12;
            },
            10000);
        QVERIFY(!shot.isNull());
        QString tops;
        for (const auto& band : bands)
            tops += QString(" %1-%2").arg(band.first).arg(band.second);
        QVERIFY2(bands.size() == 12, qPrintable(tops));
        for (int i = 2; i < bands.size(); ++i)
            QVERIFY2(qAbs(bands[i].first - bands[i - 1].first - pitch) <= 1, qPrintable(tops));
        const QRect letters = textBounds(text);
        QVERIFY2(letters.left() > 0 && letters.top() > 0 && letters.right() < width - 1 &&
                     letters.bottom() < height - 1,
                 qPrintable(QString("letters at %1,%2 %3x%4")
                                .arg(letters.x())
                                .arg(letters.y())
                                .arg(letters.width())
                                .arg(letters.height())));
        const QPair<int, int> bar = barRows(shot);
        QVERIFY2(
            qAbs(bar.second - bar.first + 1 - pitch) <= 1 && bar.first >= 0 &&
                bar.second < height - 1 && bar.first <= bands[4].first &&
                bands[4].second <= bar.second,
            qPrintable(QString("bar on rows %1-%2;%3").arg(bar.first).arg(bar.second).arg(tops)));
        press(x, "F2");
        press(x, "F2");
        press(x, "F2");
        QVERIFY(s.run.waitForExit());
    }

    // The bars around a clip of another shape than the screen are black to the last pixel, at
    // the sides and above and below, and the clip's picture fills the rest.
    void barsAreBlack_data()
    {
        QTest::addColumn<QSize>("screen");
        QTest::addColumn<QRect>("picture");
        QTest::newRow("4:3 clip on a 16:9 screen") << QSize(640, 360) << QRect(80, 0, 480, 360);
        QTest::newRow("16:9 clip on a 4:3 screen") << QSize(320, 240) << QRect(0, 30, 320, 180);
    }

    void barsAreBlack()
    {
        QFETCH(QSize, screen);
        QFETCH(QRect, picture);
        Xvfb x(screen.width(), screen.height());
        AdapterSession s(&x, background);
        const QString file = picture.width() == screen.width() ? clip : background;
        s.run.start({"-ao null -loop 0", file});
        QVERIFY(s.run.waitForWindow());
        QImage shot;
        QVERIFY(waitUntil(
            [&] { return (shot = settledScreen(x)).pixel(picture.center()) & 0xffffff; }, 20000));
        int wrong = 0;
        for (int py = 0; py < screen.height(); ++py) {
            for (int px = 0; px < screen.width(); ++px) {
                const bool black = (shot.pixel(px, py) & 0xffffff) == 0;
                wrong += picture.contains(px, py)
                             ? black && picture.adjusted(2, 2, -2, -2).contains(px, py)
                             : !black;
            }
        }
        QVERIFY2(
            wrong == 0,
            qPrintable(QString("%1 pixels wrong: bars not black, or picture black").arg(wrong)));
    }

    // On a 4:3 screen, the smallest, where the letters' edges take the most of it; and on a 5:3
    // one, where the 4:3 background stands between bars at the sides and the 16:9 clip between
    // bars above and below: a menu placed or sized by the picture under it, by its width or by
    // its height, would move between the two.
    void sameLookThroughoutTheRun_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::newRow("320x240") << 320 << 240;
        QTest::newRow("800x480") << 800 << 480;
    }

    void sameLookThroughoutTheRun()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        Xvfb x(width, height);

        // The start menu, then the same menu once the background has looped three times under
        // it.
        QImage start, startAfterLoops;
        {
            AdapterSession s(&x, background);
            s.run.start({"-ao null"});
            const qulonglong wid = s.run.waitForWindow();
            QVERIFY(wid);
            x.focus(wid);
            QVERIFY(s.waitFor(restMark(), 1, 20000));
            QVERIFY(menuBeforeAndAfterLoops(x, s, s.run.appDir() + "background.avi", &start,
                                            &startAfterLoops));
            QCOMPARE(s.menuAnswer(), "ANS_MENU_VISIBILITY=1");
        }
        compareLooks(start, startAfterLoops, "start menu after three loops");

        // The menu opened over a clip that has just started, and after it has looped.
        QImage overClip, overClipAfterLoops;
        {
            AdapterSession s(&x, background);
            s.run.start({"-ao null -loop 0", clip});
            const qulonglong wid = s.run.waitForWindow();
            QVERIFY(wid);
            x.focus(wid);
            QVERIFY(s.waitFor("< Playing " + clip + ".", 1, 20000));
            QVERIFY(keyToRest(x, s, "F1"));
            QVERIFY(menuBeforeAndAfterLoops(x, s, clip, &overClip, &overClipAfterLoops));

            // Closed over the clip, the menu leaves nothing behind once the clip plays on, in
            // the black bars above and below it either. The clip is paused first: the player
            // drops commands that come while it opens a file, as it does at every loop.
            const int oks = s.count("> menu ok"), cancels = s.count("> menu cancel");
            press(x, "Return"); // Pause or resume
            QVERIFY(s.waitFor("> menu ok", oks + 1));
            press(x, "F2");
            press(x, "F2");
            QVERIFY(s.waitFor("> menu cancel", cancels + 2));
            QCOMPARE(s.menuAnswer(), "ANS_MENU_VISIBILITY=0");
            const int pauses = s.count("> pause");
            press(x, "Return"); // the clip plays on
            QVERIFY(s.waitFor("> pause", pauses + 1));
            // (A looping clip stands still while it seeks back to its start: the screen may
            // agree with itself for a moment before the next frame.)
            QVERIFY(waitUntil([&] { return maskCount(textMask(settledScreen(x))) == 0; }, 10000));
        }
        compareLooks(overClip, overClipAfterLoops, "menu over a clip after three loops");

        // The letters take the same room over the 4:3 background and the 16:9 clip (their edges
        // blend with the colour below, so the comparison is of where they stand, not of every
        // pixel); that they fit the screen, menuFillsTheScreen shows.
        const QImage startText = textMask(start), clipText = textMask(overClip);
        QVERIFY(maskCount(startText) > width * height / 400);
        const QRect a = textBounds(startText), b = textBounds(clipText);
        const int slack = qMax(2, width / 200);
        QVERIFY2(qAbs(a.left() - b.left()) <= slack && qAbs(a.right() - b.right()) <= slack &&
                     qAbs(a.top() - b.top()) <= slack && qAbs(a.bottom() - b.bottom()) <= slack,
                 qPrintable(QString("letters at %1,%2 %3x%4 and at %5,%6 %7x%8")
                                .arg(a.x())
                                .arg(a.y())
                                .arg(a.width())
                                .arg(a.height())
                                .arg(b.x())
                                .arg(b.y())
                                .arg(b.width())
                                .arg(b.height())));
        QVERIFY(qAbs(maskCount(startText) - maskCount(clipText)) <= maskCount(startText) / 5);
    }
};

QTEST_GUILESS_MAIN(MenuLookTest)
#include "tst_menuLook.moc"
