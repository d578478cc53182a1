// What's on: a clip's sound tracks, subtitles and chapters from the menu, in the viewer's
// languages, and where a clip left partway starts; through the real window and adapter, on
// Debian's MPlayer and mpv. What plays is heard in the sound that the player writes to a file
// (-ao pcm:file=F, given to tamblin as a user gives player options): each sound track is a
// tone of its own. What shows is seen on the screen: each subtitle line has a shape of its own,
// and a menu's names are compared with a menu of the same names made another way.
//
// MPlayer writing its sound to a file runs ahead of the clock (about four times as fast here),
// so the clips are long enough for the few seconds that each check plays.
#include "adapterSession.h"
#include "mediaMaker.h"
#include "playerOutput.h"

#include <QDir>
#include <QRegularExpression>
#include <QTest>

#include <memory>

namespace {

const int kFrench = 440, kEnglish = 880;

// How the adapter starts a clip partway: MPlayer seeks once it plays, mpv is told as it loads.
const QRegularExpression kPartway("^> ((pausing\\w* )?seek \\d|loadfile .* start=)");

// The subtitle lines, by their shape: English "II", the file beside the clip "HHHH" (and
// twelve Is), French twelve Ws (and forty Is).
enum Line { NoLine, Narrow, Medium, Wide };

Line lineOf(double shape)
{
    return shape <= 0 ? NoLine : shape < 2 ? Narrow : shape < 10 ? Medium : Wide;
}

// The clips, by their entry in the media folder's menu (after "Play all").
enum Clip { Tracks = 1, Beside, Bare, Named, Numbered, OneSub, Many };
const char* const kClipFiles[] = {"",
                                  "a tracks.mkv",
                                  "b beside.mkv",
                                  "c bare.mkv",
                                  "d named.mkv",
                                  "e numbered.mkv",
                                  "f one sub.mkv",
                                  "g many.mkv"};

// The main menu while a clip plays, by what the clip carries.
QStringList mainMenu(Clip clip)
{
    const bool sounds = clip != Beside && clip != OneSub && clip != Many;
    const bool chapters = clip == Tracks || clip == Bare || clip == Named || clip == Numbered;
    QStringList m{"Play a clip", "Pause or resume"};
    if (sounds)
        m << "Sound track";
    m << "Subtitles";
    if (chapters)
        m << "Chapters";
    return m << "On-screen display"
             << "Speech: on/off"
             << "Quit";
}

// Rows with white ink above the subtitles' band, in runs: a menu's title and entries.
int textRows(const QImage& shot)
{
    int rows = 0;
    bool before = false;
    for (int y = 0; y < shot.height() * 85 / 100; ++y) {
        int ink = 0;
        for (int x = 0; x < shot.width(); ++x) {
            const QRgb p = shot.pixel(x, y);
            ink += qRed(p) > 200 && qGreen(p) > 200 && qBlue(p) > 200;
        }
        rows += ink > 1 && !before;
        before = ink > 1;
    }
    return rows;
}

// The same picture above the subtitles' band, where these menus are.
bool sameMenu(const QImage& a, const QImage& b)
{
    const int h = a.height() * 85 / 100;
    return differingPixels(a.copy(0, 0, a.width(), h), b.copy(0, 0, b.width(), h)) == 0;
}

// A long menu kept on the screen: no text at its edges, and the selection's grey bar (over a
// dark grey clip) whole inside it.
QString offTheScreen(const QImage& shot)
{
    const int w = shot.width(), h = shot.height(), edge = 3;
    int barTop = h, barBottom = -1, bar = 0;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const QRgb p = shot.pixel(x, y);
            const int level = (qRed(p) + qGreen(p) + qBlue(p)) / 3;
            const bool atEdge = x < edge || y < edge || x >= w - edge || y >= h - edge;
            if (level > 200 && atEdge)
                return QString("text at the edge, at %1,%2").arg(x).arg(y);
            if (level > 80 && level < 180 && qAbs(qRed(p) - qBlue(p)) < 24) {
                ++bar;
                barTop = qMin(barTop, y);
                barBottom = qMax(barBottom, y);
            }
        }
    }
    if (bar < 1500)
        return QString("no selection bar (%1 grey pixels)").arg(bar);
    if (barTop < edge || barBottom >= h - edge)
        return QString("the selection bar runs from row %1 to %2").arg(barTop).arg(barBottom);
    return {};
}

// A step of a helper: when it does not happen, the helper says which and gives up.
#define TRY(step)                                                                                  \
    do {                                                                                           \
        if (!(step)) {                                                                             \
            qWarning("did not happen: %s", #step);                                                 \
            return false;                                                                          \
        }                                                                                          \
    } while (0)

} // namespace

// A choice from one of the clip's menus (the entry that many down from the first, or up when
// negative), and what is heard and seen after it.
struct Choice
{
    QString menu;
    int entry;
    int tone;
    int line;
};
Q_DECLARE_METATYPE(QList<Choice>)

class WhatsOnTest : public QObject
{
    Q_OBJECT

  private:
    std::unique_ptr<Xvfb> x;
    QTemporaryDir scratch;
    QString background, media;
    int state = 0;

    void press(const QString& key) { x->run("xdotool", {"key", key}); }
    QImage shot() { return screenshot(*x, scratch.path()); }

    // The screen once two shots in a row agree.
    QImage stillShot()
    {
        QImage last, now;
        waitUntil(
            [&] {
                now = shot();
                const bool same = !last.isNull() && differingPixels(now, last) == 0;
                last = now;
                return same;
            },
            5000);
        return now;
    }

    bool keyToRest(AdapterSession& s, const QString& key)
    {
        const int rests = s.count(restMark());
        press(key);
        return s.waitFor(restMark(), rests + 1, 20000);
    }

    static QString sound(const AdapterSession& s) { return s.run.root() + "/sound.wav"; }
    QString playingLine(Clip c) const { return "< Playing " + media + "/" + kClipFiles[c] + "."; }

    // A new state folder: no clip has been left anywhere, nor tracks chosen for it.
    QString freshState() { return scratch.path() + QString("/state%1").arg(++state); }

    // A start menu over the flat background, in these languages, the sound going to a file.
    bool startRun(AdapterSession& s, const QString& languages, const QString& stateDir)
    {
        s.run.env().insert("TAMBLIN_MEDIA", media);
        s.run.env().insert("XDG_STATE_HOME", stateDir);
        s.run.env().insert("TAMBLIN_LANGUAGES", languages);
        // The player's own display (a seek's bar) would stand where subtitles do.
        s.run.start({"-ao pcm:file=" + sound(s) + " -osdlevel 0"});
        const qulonglong wid = s.run.waitForWindow();
        TRY(wid);
        x->focus(wid);
        TRY(s.waitFor(restMark(), 1, 20000));
        return true;
    }

    // From the start menu, or over a clip with the menu hidden: the clip's entry, selected.
    bool toClipEntry(AdapterSession& s, Clip clip, bool overAClip)
    {
        if (overAClip)
            TRY(keyToRest(s, "F1"));
        TRY(keyToRest(s, "Return")); // Play a clip
        for (int i = 0; i < clip; ++i)
            TRY(keyToRest(s, "Down"));
        return true;
    }

    // The clip chosen, and playing with the menu closed.
    bool playClip(AdapterSession& s, Clip clip, bool overAClip)
    {
        TRY(toClipEntry(s, clip, overAClip));
        const int hides = s.count("> menu hide"), plays = s.count(playingLine(clip));
        press("Return");
        TRY(s.waitFor(playingLine(clip), plays + 1, 20000));
        TRY(s.waitFor("> menu hide", hides + 1));
        TRY(position(s) >= 0);
        return true;
    }

    // Where the clip is, in seconds; -1 when the player does not say. While a file opens, mpv
    // has no position to give: it is asked again.
    static double position(const AdapterSession& s)
    {
        QString at;
        waitUntil(
            [&] {
                at = s.property("time_pos");
                return !at.isEmpty();
            },
            10000);
        return at.isEmpty() ? -1 : at.toDouble();
    }

    // F1 over the playing clip: its main menu on screen, the title and an entry a row, with
    // what the clip carries. Until the player has told the adapter about the clip's tracks, F1
    // opens the main menu of a clip without any (five entries): that moment is waited out.
    bool openMain(AdapterSession& s, Clip clip, QImage* shown = nullptr)
    {
        const int rows = int(mainMenu(clip).size()) + 1;
        for (int attempt = 0; attempt < 20; ++attempt) {
            TRY(keyToRest(s, "F1"));
            const QImage main = stillShot();
            const int seen = textRows(main);
            if (seen == rows) {
                if (shown)
                    *shown = main;
                return true;
            }
            TRY(seen == 6);
            TRY(hideMenu(s));
        }
        return false;
    }

    // An entry of the main menu over the playing clip: from F1 when the menu is hidden, or from
    // the main menu shown with the entry `from` selected.
    bool openFromMain(AdapterSession& s, Clip clip, const QString& entry, const QString& from = {})
    {
        const QStringList main = mainMenu(clip);
        TRY(main.contains(entry));
        if (from.isEmpty())
            TRY(openMain(s, clip));
        for (qsizetype i = main.indexOf(from.isEmpty() ? main.first() : from);
             i < main.indexOf(entry); ++i)
            TRY(keyToRest(s, "Down"));
        TRY(keyToRest(s, "Return"));
        return true;
    }

    // In the menu on top, the entry that many down (up, when negative) from the first, chosen:
    // it takes effect and the menu closes to the picture.
    bool chooseEntry(AdapterSession& s, int entry)
    {
        for (int i = 0; i < qAbs(entry); ++i)
            TRY(keyToRest(s, entry > 0 ? "Down" : "Up"));
        const int hides = s.count("> menu hide");
        press("Return");
        TRY(s.waitFor("> menu hide", hides + 1));
        TRY(s.menuAnswer() == "ANS_MENU_VISIBILITY=0");
        return true;
    }

    // Empty when the sound settles on the tone: heard there, and still there once the file
    // holds more (or has been begun again).
    QString toneFault(const AdapterSession& s, int tone)
    {
        Sound heard;
        const auto hears = [&] {
            return readSound(sound(s), 0.25, &heard) && toneOf(heard, {kFrench, kEnglish}) == tone;
        };
        if (waitUntil(hears, 10000)) {
            const double had = heard.seconds;
            waitUntil(
                [&] {
                    Sound now;
                    return readSound(sound(s), 0.25, &now) &&
                           (now.seconds > had + 0.3 || now.seconds < had);
                },
                10000);
            if (hears())
                return {};
        }
        return QString("heard %1 Hz (peak %2) at %3 s of sound, not %4 Hz")
            .arg(heard.hz)
            .arg(heard.peak)
            .arg(heard.seconds)
            .arg(tone);
    }

    // Empty when the line on screen settles as expected (in two shots in a row; in three for no
    // line, which the moment between two lines would give too), once the clip is far enough in
    // for its subtitles to show.
    QString lineFault(const AdapterSession& s, Line expected)
    {
        waitUntil([&] { return s.property("time_pos").toDouble() > 2; }, 10000);
        const int needed = expected == NoLine ? 3 : 2;
        int agreeing = 0;
        double shape = 0;
        waitUntil(
            [&] {
                shape = subtitleShape(shot());
                agreeing = lineOf(shape) == expected ? agreeing + 1 : 0;
                return agreeing >= needed;
            },
            10000);
        return agreeing >= needed
                   ? QString()
                   : QString("a line of shape %1 on screen, not line %2").arg(shape).arg(expected);
    }

    // F2 goes back through the menus until it hides the last one.
    // Each F1 opens the main menu over the menus that a choice closed to the picture, as the
    // player keeps them: one F2 for each of them.
    bool hideMenu(AdapterSession& s)
    {
        for (int i = 0; i < 16; ++i) {
            if (s.menuAnswer() == "ANS_MENU_VISIBILITY=0")
                return true;
            const int cancels = s.count("> menu cancel");
            press("F2");
            if (!s.waitFor("> menu cancel", cancels + 1))
                return false;
        }
        return false;
    }

    // F2 with the menu hidden ends the run.
    bool endRun(AdapterSession& s)
    {
        TRY(hideMenu(s));
        press("F2");
        TRY(s.run.waitForExit());
        TRY(s.run.exitCode() == 0);
        // The adapter keeps where the clip was left as it ends, which can come after the window.
        const pid_t adapter = s.pids().value(0);
        TRY(waitUntil([&] { return processGone(adapter); }, 10000));
        return true;
    }

    bool englishWithFrench(const AdapterSession& s)
    {
        const QString fault = toneFault(s, kEnglish) + lineFault(s, Wide);
        if (!fault.isEmpty())
            qWarning("%s", qPrintable(fault));
        return fault.isEmpty();
    }

    // Paused at that second, and left by ending the run.
    bool leaveAt(AdapterSession& s, int seconds)
    {
        TRY(keyToRest(s, "Return"));
        s.inject(QString("pausing_keep seek %1 2\n").arg(seconds).toLatin1());
        TRY(waitUntil([&] { return qAbs(s.property("time_pos").toDouble() - seconds) < 0.6; },
                      10000));
        return endRun(s);
    }

    // The clip chosen again in a new run: the menu of where to start shows before anything
    // plays, and its entry is chosen. What the adapter did to start partway, in `partway`.
    bool chooseAgain(AdapterSession& s, const QString& stateDir, int entry, QStringList* partway)
    {
        TRY(startRun(s, "fr,en", stateDir));
        TRY(toClipEntry(s, Tracks, false));
        const qsizetype before = s.traceLines().size();
        TRY(keyToRest(s, "Return"));
        TRY(s.menuAnswer() == "ANS_MENU_VISIBILITY=1");
        TRY(!s.traceLines().mid(before).contains(playingLine(Tracks)));
        TRY(chooseEntry(s, entry));
        TRY(s.waitFor(playingLine(Tracks), 1, 20000));
        *partway = s.traceLines().mid(before).filter(kPartway);
        return true;
    }

  private slots:
    void initTestCase()
    {
        x = std::make_unique<Xvfb>(640, 480);
        background = scratch.path() + "/background.avi";
        media = scratch.path() + "/media";
        QVERIFY(makeFlatClip(background, "0x203860", "320x240", 15, 1));
        QVERIFY(QDir().mkpath(media));
        const QString ii = "II", hhhh = "HHHH", ws = QString(12, 'W');
        const QList<ChapterMark> titled{{0, "Opening"}, {10, "Middle"}, {20, "Ending"}};
        const QList<ClipRecipe> recipes{
            {"0x203040",
             60,
             {{kFrench, "fre", ""}, {kEnglish, "eng", "commentary"}},
             {{ii, "eng", ""}, {ws, "fre", ""}},
             titled},
            {"0x203040", 30, {{kFrench, "", ""}}, {}, {}},
            {"0x203040",
             60,
             {{kFrench, "", ""}, {kEnglish, "", ""}},
             {{ii, "", ""}, {ws, "", ""}},
             {{0, ""}, {20, ""}, {40, ""}}},
            // What the first clip's tracks are called, as their titles alone.
            {"0x203040",
             60,
             {{kFrench, "", "Français"}, {kEnglish, "", "English (commentary)"}},
             {{ii, "", "English"}, {ws, "", "Français"}},
             titled},
            // What the bare clip's tracks and chapters are called, as their titles.
            {"0x203040",
             60,
             {{kFrench, "", "Track 1"}, {kEnglish, "", "Track 2"}},
             {{ii, "", "Track 1"}, {ws, "", "Track 2"}},
             {{0, "Chapter 1"}, {20, "Chapter 2"}, {40, "Chapter 3"}}},
            // What the file beside the clip is called, as the language of a track in a file.
            {"0x203040", 30, {{kFrench, "", ""}}, {{hhhh, "eng", ""}}, {}},
            // Dark grey, so that the selection's bar is grey.
            {"0x202020", 30, {{kFrench, "", ""}}, {}, {}},
        };
        for (qsizetype i = 0; i < recipes.size(); ++i) {
            ClipRecipe recipe = recipes[i];
            if (Clip(i + 1) == Many) {
                for (int n = 1; n <= 40; ++n)
                    recipe.subtitles.append({QString(n, 'I'), "", ""});
            }
            QVERIFY2(makeClip(media + "/" + kClipFiles[i + 1], recipe), kClipFiles[i + 1]);
        }
        QVERIFY(writeSubtitleFile(media + "/b beside.en.srt", hhhh, 30));
    }

    void cleanupTestCase() { x.reset(); }

    // A track is named as a person knows it: the menus of a clip are the same picture as those
    // of a clip whose tracks carry those names as their titles alone. The main menu offers
    // what the clip has, and only that.
    void namesOnScreen_data()
    {
        QTest::addColumn<int>("clip");
        QTest::addColumn<int>("reference");
        QTest::addColumn<QStringList>("menus");
        QTest::newRow("languages and a title: Français, English (commentary)")
            << int(Tracks) << int(Named) << QStringList{"Sound track", "Subtitles"};
        QTest::newRow("no language, no title: Track 1, Track 2, Chapter 1 (0:00)")
            << int(Bare) << int(Numbered) << QStringList{"Sound track", "Subtitles", "Chapters"};
        QTest::newRow("a file beside the clip, by the language in its name: English")
            << int(Beside) << int(OneSub) << QStringList{"Subtitles"};
    }

    void namesOnScreen()
    {
        QFETCH(int, clip);
        QFETCH(int, reference);
        QFETCH(QStringList, menus);
        AdapterSession s(x.get(), background);
        QVERIFY(startRun(s, "fr,en", freshState()));
        QList<QImage> shots[2];
        const Clip clips[2] = {Clip(clip), Clip(reference)};
        for (int i = 0; i < 2; ++i) {
            QVERIFY(playClip(s, clips[i], i > 0));
            QImage main;
            QVERIFY(openMain(s, clips[i], &main));
            QString from = "Play a clip";
            for (const QString& menu : menus) {
                QVERIFY(openFromMain(s, clips[i], menu, from));
                shots[i] << stillShot();
                QVERIFY2(!sameMenu(shots[i].last(), main), qPrintable(menu + " did not open"));
                QVERIFY(keyToRest(s, "F2")); // back in the main menu
                from = menu;
            }
            QVERIFY(hideMenu(s));
        }
        for (qsizetype m = 0; m < menus.size(); ++m)
            QVERIFY2(sameMenu(shots[0][m], shots[1][m]), qPrintable(menus[m]));
        QVERIFY(endRun(s));
    }

    // The first clip starts in the viewer's languages: sound in the first of them that the
    // file has, else the file's own first; subtitles off when the sound is in the first of
    // them, else in the first of them that the file has subtitles in.
    void theViewersLanguages_data()
    {
        QTest::addColumn<QString>("languages");
        QTest::addColumn<int>("tone");
        QTest::addColumn<int>("line");
        QTest::newRow("fr,en: French, no subtitles") << "fr,en" << kFrench << int(NoLine);
        QTest::newRow("en,fr: English, no subtitles") << "en,fr" << kEnglish << int(NoLine);
        QTest::newRow("en: English, no subtitles") << "en" << kEnglish << int(NoLine);
        QTest::newRow("de,fr: French, French subtitles") << "de,fr" << kFrench << int(Wide);
        QTest::newRow("de,en: English, English subtitles") << "de,en" << kEnglish << int(Narrow);
        QTest::newRow("ja: the file's own, no subtitles") << "ja" << kFrench << int(NoLine);
        QTest::newRow("ja,fr: French, French subtitles") << "ja,fr" << kFrench << int(Wide);
    }

    void theViewersLanguages()
    {
        QFETCH(QString, languages);
        QFETCH(int, tone);
        QFETCH(int, line);
        AdapterSession s(x.get(), background);
        QVERIFY(startRun(s, languages, freshState()));
        QVERIFY(playClip(s, Tracks, false));
        QString fault = toneFault(s, tone);
        QVERIFY2(fault.isEmpty(), qPrintable(fault));
        fault = lineFault(s, Line(line));
        QVERIFY2(fault.isEmpty(), qPrintable(fault));
        QVERIFY(endRun(s));
    }

    // Each choice takes effect at once: the tone changes, the line shows or goes, and the menu
    // closes to the picture.
    void choosingTracks_data()
    {
        QTest::addColumn<int>("clip");
        QTest::addColumn<int>("tone");
        QTest::addColumn<int>("line");
        QTest::addColumn<QList<Choice>>("choices");
        QTest::newRow("tracks in the file") << int(Tracks) << kFrench << int(NoLine)
                                            << QList<Choice>{{"Subtitles", 1, kFrench, Narrow},
                                                             {"Sound track", 1, kEnglish, Narrow},
                                                             {"Subtitles", 2, kEnglish, Wide},
                                                             {"Subtitles", 0, kEnglish, NoLine},
                                                             {"Sound track", 0, kFrench, NoLine}};
        QTest::newRow("a file beside the clip")
            << int(Beside) << kFrench << int(Medium)
            << QList<Choice>{{"Subtitles", 0, kFrench, NoLine}, {"Subtitles", 1, kFrench, Medium}};
        QTest::newRow("forty subtitle tracks: the last, then the twelfth")
            << int(Many) << kFrench << int(NoLine)
            << QList<Choice>{{"Subtitles", -1, kFrench, Wide}, {"Subtitles", 12, kFrench, Medium}};
    }

    void choosingTracks()
    {
        QFETCH(int, clip);
        QFETCH(int, tone);
        QFETCH(int, line);
        QFETCH(QList<Choice>, choices);
        AdapterSession s(x.get(), background);
        QVERIFY(startRun(s, "fr,en", freshState()));
        QVERIFY(playClip(s, Clip(clip), false));
        QString fault = toneFault(s, tone) + lineFault(s, Line(line));
        QVERIFY2(fault.isEmpty(), qPrintable("at the start: " + fault));
        for (const Choice& c : choices) {
            QVERIFY(openFromMain(s, Clip(clip), c.menu));
            QVERIFY(chooseEntry(s, c.entry));
            fault = toneFault(s, c.tone) + lineFault(s, Line(c.line));
            QVERIFY2(fault.isEmpty(),
                     qPrintable(QString("%1, %2: ").arg(c.menu).arg(c.entry) + fault));
        }
        QVERIFY(endRun(s));
    }

    // A clip left partway asks where to start: the kept place, selected, or its start. Either
    // way its tracks are those chosen last; and a clip left in its first seconds just plays.
    void whereToStart()
    {
        const QString stateDir = freshState();
        {
            AdapterSession s(x.get(), background);
            QVERIFY(startRun(s, "fr,en", stateDir));
            QVERIFY(playClip(s, Tracks, false));
            QVERIFY(openFromMain(s, Tracks, "Sound track"));
            QVERIFY(chooseEntry(s, 1));
            QVERIFY(openFromMain(s, Tracks, "Subtitles"));
            QVERIFY(chooseEntry(s, 2));
            QVERIFY2(englishWithFrench(s), "English sound and French subtitles, once chosen");
            QVERIFY(leaveAt(s, 15));
        }
        {
            AdapterSession s(x.get(), background);
            QStringList fromPlace;
            QVERIFY(chooseAgain(s, stateDir, 0, &fromPlace)); // Resume from 0:15
            QVERIFY(!fromPlace.isEmpty());
            const double at = position(s);
            QVERIFY2(at >= 14 && at < 30, qPrintable(QString::number(at)));
            QVERIFY2(englishWithFrench(s), "the tracks chosen last, resumed");
            QVERIFY(leaveAt(s, 25));
        }
        {
            AdapterSession s(x.get(), background);
            QStringList fromPlace;
            QVERIFY(chooseAgain(s, stateDir, 1, &fromPlace)); // From the start
            QCOMPARE(fromPlace, QStringList());
            const double at = position(s);
            QVERIFY2(at >= 0 && at < 10, qPrintable(QString::number(at)));
            QVERIFY2(englishWithFrench(s), "the tracks chosen last, from the start");
            QVERIFY(leaveAt(s, 2));
        }
        {
            AdapterSession s(x.get(), background);
            QVERIFY(startRun(s, "fr,en", stateDir));
            const qsizetype before = s.traceLines().size();
            QVERIFY(playClip(s, Tracks, false));
            QCOMPARE(s.traceLines().mid(before).filter(kPartway), QStringList());
            const double at = position(s);
            QVERIFY2(at >= 0 && at < 10, qPrintable(QString::number(at)));
            const QString fault = toneFault(s, kEnglish);
            QVERIFY2(fault.isEmpty(), qPrintable(fault));
            QVERIFY(endRun(s));
        }
    }

    // A chapter chosen is where the clip plays from, and the chapters menu marks the one
    // playing: the same picture for the same chapter, another for another.
    void chaptersFromTheMenu()
    {
        AdapterSession s(x.get(), background);
        QVERIFY(startRun(s, "fr,en", freshState()));
        QVERIFY(playClip(s, Tracks, false));
        QVERIFY(openFromMain(s, Tracks, "Chapters"));
        QMap<int, QImage> menuAt{{0, stillShot()}};
        const struct
        {
            int entry, start;
        } steps[] = {{2, 20}, {1, 10}, {0, 0}};
        for (const auto& go : steps) {
            QVERIFY(chooseEntry(s, go.entry));
            // The first answers only: playing on would get to a later chapter by itself.
            double at = -1;
            QVERIFY2(waitUntil(
                         [&] {
                             at = position(s);
                             return at > go.start - 1 && at < go.start + 6;
                         },
                         3000),
                     qPrintable(
                         QString("chapter %1 at %2 s: at %3").arg(go.entry).arg(go.start).arg(at)));
            QVERIFY(openFromMain(s, Tracks, "Chapters"));
            const QImage menu = stillShot();
            for (auto it = menuAt.cbegin(); it != menuAt.cend(); ++it)
                QVERIFY2(
                    sameMenu(menu, it.value()) == (it.key() == go.entry),
                    qPrintable(
                        QString("playing chapter %1, against %2").arg(go.entry).arg(it.key())));
            menuAt[go.entry] = menu;
        }
        QVERIFY(endRun(s));
    }

    // Forty subtitle tracks: the list scrolls with its selection, which stays on the screen,
    // and no text runs off it, at the first entry, the last, and on the way down.
    void fortyTracksStayOnScreen()
    {
        AdapterSession s(x.get(), background);
        QVERIFY(startRun(s, "fr,en", freshState()));
        QVERIFY(playClip(s, Many, false));
        QVERIFY(openFromMain(s, Many, "Subtitles"));
        QStringList keys{"", "Up", "Down"};
        for (int i = 0; i < 12; ++i)
            keys << "Down";
        for (qsizetype k = 0; k < keys.size(); ++k) {
            if (!keys[k].isEmpty())
                QVERIFY(keyToRest(s, keys[k]));
            const QString fault = offTheScreen(stillShot());
            QVERIFY2(fault.isEmpty(), qPrintable(keys.mid(0, k + 1).join(' ') + ": " + fault));
        }
        QCOMPARE(s.menuAnswer(), "ANS_MENU_VISIBILITY=1");
        QVERIFY(endRun(s));
    }
};

QTEST_GUILESS_MAIN(WhatsOnTest)
#include "tst_whatsOn.moc"
