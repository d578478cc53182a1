// The user's media: names as the bytes the file system has, through the stand-in player and
// Debian's MPlayer; names that a shell would take apart; the folder menu on screen; the end of
// a chosen clip and of "Play all"; and where a clip was left, across runs.
#include "adapterSession.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

#include <cstdio>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString latin1(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes);
}

bool copyRaw(const QString& from, const QByteArray& to)
{
    QFile in(from);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    const QByteArray data = in.readAll();
    FILE* out = fopen(to.constData(), "wb");
    if (!out)
        return false;
    const bool ok = fwrite(data.constData(), 1, size_t(data.size()), out) == size_t(data.size());
    return fclose(out) == 0 && ok;
}

// The names of the byte rules: UTF-8, Latin-1 and bytes that are no UTF-8 at all.
const QList<QByteArray> kEncodings{"M\xc3\xbasica", "M\xfasica", "\xff\xfe\x80 name"};

int textWidth(const QImage& shot)
{
    int left = shot.width(), right = -1;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x) {
            const QRgb p = shot.pixel(x, y);
            if (qRed(p) > 235 && qGreen(p) > 235 && qBlue(p) > 235) {
                left = qMin(left, x);
                right = qMax(right, x);
            }
        }
    return right - left;
}

} // namespace

class MediaTest : public QObject
{
    Q_OBJECT

  private:
    std::unique_ptr<Xvfb> x;
    QTemporaryDir scratch;
    QString background, red, green, longClip;

    void press(const QString& key) { x->run("xdotool", {"key", key}); }

    bool keyToRest(AdapterSession& s, const QString& key)
    {
        const int rests = s.count(restMark());
        press(key);
        return s.waitFor(restMark(), rests + 1, 20000);
    }

    QImage shot() { return screenshot(*x, scratch.path()); }

    // A start menu over the flat background, with a media folder of the test's own.
    void startMenuRun(AdapterSession& s, const QString& media)
    {
        s.run.env().insert("TAMBLIN_MEDIA", media);
        s.run.env().insert("XDG_STATE_HOME", scratch.path() + "/state");
        s.run.start({"-ao null"});
        const qulonglong wid = s.run.waitForWindow();
        QVERIFY(wid);
        x->focus(wid);
        QVERIFY(s.waitFor(restMark(), 1, 20000));
    }

    QString positions() const
    {
        QFile f(scratch.path() + "/state/tamblin/positions");
        return f.open(QIODevice::ReadOnly) ? latin1(f.readAll()) : QString();
    }

  private slots:
    void initTestCase()
    {
        x = std::make_unique<Xvfb>(640, 480);
        background = scratch.path() + "/background.avi";
        red = scratch.path() + "/red.avi";
        green = scratch.path() + "/green.avi";
        longClip = scratch.path() + "/long.avi";
        QVERIFY(makeFlatClip(background, "0x203860", "320x240", 15, 1));
        QVERIFY(makeFlatClip(red, "0x602020", "320x180", 25, 1));
        QVERIFY(makeFlatClip(green, "0x206020", "320x180", 25, 1));
        QVERIFY(makeFlatClip(longClip, "0x602060", "320x240", 5, 30));
    }

    void cleanupTestCase() { x.reset(); }

    // The arguments, MYPATH, TAMBLIN_FIFO and MPLAYER_HOME reach the log, the shell and the
    // player as the bytes they came as.
    void bytesInBytesOut_data()
    {
        QTest::addColumn<QByteArray>("name");
        for (const QByteArray& n : kEncodings)
            QTest::newRow(n.toHex().constData()) << n;
    }

    void bytesInBytesOut()
    {
        QFETCH(QByteArray, name);
        TamblinRun run(x.get(), nullptr);
        const QByteArray root = QFile::encodeName(run.root());
        const QByteArray app = root + "/app " + name + "/";
        const QByteArray runDir = root + "/run " + name;
        const QByteArray fifo = runDir + "/pipe " + name;
        const QByteArray media = root + "/" + name + ".avi";
        QVERIFY(mkdir(app.constData(), 0755) == 0);
        QVERIFY(mkdir(runDir.constData(), 0700) == 0);
        QVERIFY(symlink(QFile::encodeName(standinBinary()).constData(),
                        (app + "mplayer").constData()) == 0);

        run.startRaw({"-ao null", media},
                     {"MYPATH=" + app, "TAMBLIN_FIFO=" + fifo, "MPLAYER_HOME=" + name});
        QVERIFY(run.waitForReceived("OPEN"));
        QStringList expected{"-slave", "-input", "file=" + latin1(fifo),
                             "-quiet", "-nortc", "-nocache",
                             "-ao",    "null",   latin1(media)};
        QCOMPARE(run.standinArgs(), expected);
        struct stat st;
        QVERIFY(lstat(fifo.constData(), &st) == 0 && S_ISFIFO(st.st_mode));

        const qulonglong wid = run.waitForWindow();
        QVERIFY(wid);
        x->focus(wid);
        press("F2");
        QVERIFY(run.waitForExit());
        QCOMPARE(run.exitCode(), 0);
        QVERIFY(run.out().contains("MYPATH: " + latin1(app) + "\n"));
        QVERIFY(run.out().contains("MPLAYER_HOME: " + latin1(name) + "\n"));
        QVERIFY(run.out().contains("video cmd: " + latin1(media) + "\n"));
        QVERIFY(run.out().contains("Create fifo file...  0\n"));
    }

    // Names that the shell would split, or run, play as they are, and nothing else runs: one
    // name holds every such word, as a quoting that misses any one of them breaks it.
    void anyNamePlaysOnDebianMPlayer_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::newRow("a shell's words")
            << QByteArray("-dash My Film, it's a;touch pwned $(touch pwned) `touch pwned` x & "
                          "touch pwned");
        for (const QByteArray& n : kEncodings)
            QTest::newRow(n.toHex().constData()) << n;
    }

    void anyNamePlaysOnDebianMPlayer()
    {
        QFETCH(QByteArray, name);
        AdapterSession s(x.get(), background);
        const QByteArray clip = QFile::encodeName(s.run.root()) + "/" + name + ".avi";
        QVERIFY(copyRaw(red, clip));
        s.run.startRaw({"-ao null", clip});
        QVERIFY(s.waitFor("< Playing " + latin1(clip) + ".", 1, 20000));
        QVERIFY(s.run.waitForExit(20000)); // the clip ends, and so does the run
        QCOMPARE(s.run.exitCode(), 0);
        // The run's shell runs in its root folder.
        QVERIFY(!QFile::exists(s.run.root() + "/pwned"));
        QVERIFY(!QFile::exists(s.run.root() + "/pwned.avi"));
    }

    // A UTF-8 name is drawn as its letters: as wide as the same name without the accent.
    void folderMenuShowsNamesAsTheyAre()
    {
        int widths[2] = {0, 0};
        const QByteArray names[2] = {"M\xc3\xbasica", "Musica"};
        for (int i = 0; i < 2; ++i) {
            AdapterSession s(x.get(), background);
            const QString media = s.run.root() + "/media";
            QDir().mkpath(media);
            QVERIFY(copyRaw(red, QFile::encodeName(media) + "/" + names[i] + ".avi"));
            startMenuRun(s, media);
            QVERIFY(keyToRest(s, "Return")); // Play a clip: the folder's menu
            QVERIFY(keyToRest(s, "Down"));   // the clip, under Play all
            widths[i] = textWidth(shot());
            press("F2");
            press("F2");
            press("F2");
            QVERIFY(s.run.waitForExit());
        }
        QVERIFY(widths[1] > 50);
        QVERIFY2(qAbs(widths[0] - widths[1]) <= 3,
                 qPrintable(QString("%1 and %2").arg(widths[0]).arg(widths[1])));
    }

    // At the end of a chosen clip, and of Play all, the menu comes back over the background,
    // on the clip that ended; the model says so, and the clip does not loop.
    void theEndOfAClip()
    {
        AdapterSession s(x.get(), background);
        const QString media = s.run.root() + "/media";
        QDir().mkpath(media);
        QVERIFY(QFile::copy(red, media + "/a red.avi"));
        QVERIFY(QFile::copy(green, media + "/b green.avi"));
        startMenuRun(s, media);
        QVERIFY(keyToRest(s, "Return")); // the folder: Play all, a red, b green
        QVERIFY(keyToRest(s, "Down"));
        QVERIFY(keyToRest(s, "Down"));
        const QImage onGreen = shot();

        const QString playingBackground = "< Playing " + s.run.appDir() + "background.avi.";
        const QString playingGreen = "< Playing " + media + "/b green.avi.";
        press("Return");
        QVERIFY(s.waitFor(playingGreen));
        QVERIFY(s.waitFor(playingBackground, 2, 20000));
        QVERIFY(s.waitFor(restMark(), s.count(restMark()) + 1));
        QCOMPARE(s.menuAnswer(), "ANS_MENU_VISIBILITY=1");
        QCOMPARE(differingPixels(shot(), onGreen), 0);
        QCOMPARE(s.count(playingGreen), 1);

        QVERIFY(keyToRest(s, "Up"));
        QVERIFY(keyToRest(s, "Up")); // Play all
        press("Return");
        QVERIFY(s.waitFor(playingGreen, 2, 20000));
        QVERIFY(s.waitFor(playingBackground, 3, 20000));
        const QStringList trace = s.traceLines();
        QVERIFY(trace.indexOf("< Playing " + media + "/a red.avi.") <
                trace.lastIndexOf(playingGreen));
        QVERIFY(s.waitFor(restMark(), s.count(restMark()) + 1));
        QCOMPARE(s.menuAnswer(), "ANS_MENU_VISIBILITY=1");
        QCOMPARE(differingPixels(shot(), onGreen), 0); // on the clip that ended
        press("F2");
        press("F2");
        press("F2");
        QVERIFY(s.run.waitForExit());
        QCOMPARE(s.run.exitCode(), 0);
    }

    // A clip left halfway starts there when chosen again, in the next run, once Resume from is
    // chosen; a file that is not a positions file is ignored with one line, and replaced.
    void whereAClipWasLeft()
    {
        const QString media = scratch.path() + "/resume";
        QDir().mkpath(media);
        QVERIFY(QFile::copy(longClip, media + "/long.avi"));
        const QString playing = "< Playing " + media + "/long.avi.";
        auto choose = [&](AdapterSession& s, bool asks) {
            startMenuRun(s, media);
            QVERIFY(keyToRest(s, "Return"));
            QVERIFY(keyToRest(s, "Down"));
            if (asks)
                QVERIFY(keyToRest(s, "Return")); // where to start: Resume from, selected
            press("Return");
            QVERIFY(s.waitFor(playing));
            QVERIFY(s.waitFor("> menu hide"));
        };
        // The adapter writes where the clip was left as it ends, which can come after the
        // window's end.
        auto end = [&](AdapterSession& s) {
            press("F2");
            QVERIFY(s.run.waitForExit());
            const pid_t adapter = s.pids().value(0);
            QVERIFY(waitUntil([&] { return processGone(adapter); }, 10000));
        };
        {
            AdapterSession s(x.get(), background);
            choose(s, false);
            s.inject("seek 15 2\n");
            QVERIFY(waitUntil([&] { return s.property("time_pos").toDouble() >= 14; }, 10000));
            end(s); // the menu is hidden: F2 ends the run
        }
        QVERIFY2(positions().contains(" " + media + "/long.avi\n"), qPrintable(positions()));
        {
            AdapterSession s(x.get(), background);
            choose(s, true);
            // MPlayer seeks once the clip plays; mpv is told where to start as it loads it.
            QVERIFY(!s.traceLines()
                         .filter(QRegularExpression(
                             "^> (seek 1[4-9]\\.\\d+ 2|loadfile .* start=1[4-9]\\.\\d+)$"))
                         .isEmpty());
            QVERIFY(waitUntil([&] { return s.property("time_pos").toDouble() >= 14; }, 10000));
            end(s);
        }
        QFile f(scratch.path() + "/state/tamblin/positions");
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("not a positions file\n");
        f.close();
        {
            AdapterSession s(x.get(), background);
            choose(s, false);
            QCOMPARE(s.traceLines().filter(QRegularExpression("^> seek | start=")), QStringList());
            QVERIFY(s.property("time_pos").toDouble() < 5);
            end(s);
            QCOMPARE(s.run.err().count("is not a positions file"), 1);
        }
        QVERIFY(positions().startsWith("tamblin positions 2\n"));
    }

    // Names of every kind, each a clip of its own flat colour: all listed, and each plays, chosen
    // one by one and through Play all; a file that cannot be played brings the menu back on it
    // with a word when chosen, and is passed over in Play all, where the last one brings the
    // menu back without a word.
    void everyNamePlays()
    {
        struct Named
        {
            QByteArray name;
            QRgb colour;
        };
        const QList<Named> names{
            {"Ocean's Eleven", qRgb(0xc0, 0x30, 0x30)},
            {"Tom & Jerry", qRgb(0x30, 0xc0, 0x30)},
            {"The \"Best\"", qRgb(0x30, 0x30, 0xc0)},
            {"a;b", qRgb(0xc0, 0xc0, 0x30)},
            {"<b>", qRgb(0xc0, 0x30, 0xc0)},
            {"back\\slash", qRgb(0x30, 0xc0, 0xc0)},
            {"-dash", qRgb(0xe0, 0x80, 0x30)},
            {"M\xfasica", qRgb(0x80, 0x30, 0xe0)},
            {"\xff\xfe bad", qRgb(0x30, 0xe0, 0x80)},
            {"映画 ネコ", qRgb(0xe0, 0x30, 0x80)},
            {"Жук", qRgb(0x80, 0xe0, 0x30)},
            {"مرحبا", qRgb(0x30, 0x80, 0xe0)},
        };
        AdapterSession s(x.get(), background);
        const QByteArray media = QFile::encodeName(s.run.root()) + "/media";
        QVERIFY(mkdir(media.constData(), 0755) == 0);
        QMap<QString, QRgb> colourOf; // by the trace's "Playing" line
        for (const Named& n : names) {
            const QByteArray clip = media + "/" + n.name + ".avi";
            // Made under a plain name, then given its own bytes.
            const QString plain = s.run.root() + "/plain.avi";
            QVERIFY(makeFlatClip(plain, "0x" + QString::number(n.colour & 0xffffff, 16), "320x240",
                                 25, 2));
            QVERIFY(rename(QFile::encodeName(plain).constData(), clip.constData()) == 0);
            colourOf.insert("< Playing " + latin1(clip) + ".", n.colour);
        }
        // In the middle of Play all (natural order: after "M…sica"), a file that is no clip; and
        // another one last (its bytes sort after every other name).
        const QByteArray last = "\xff\xff nothing.avi";
        QVERIFY(copyRaw("/dev/null", media + "/Nothing here.avi"));
        QVERIFY(copyRaw("/dev/null", media + "/" + last));
        startMenuRun(s, QFile::decodeName(media));
        const auto showsItsColour = [&](const QString& playing) {
            return waitUntil(
                [&] {
                    const QRgb p = shot().pixel(320, 240);
                    const QRgb c = colourOf.value(playing);
                    return qAbs(qRed(p) - qRed(c)) + qAbs(qGreen(p) - qGreen(c)) +
                               qAbs(qBlue(p) - qBlue(c)) <
                           40;
                },
                10000);
        };

        // One by one: the menu comes back on each at its end, and the next is one down.
        QVERIFY(keyToRest(s, "Return"));
        QSet<QString> played;
        for (int entry = 1; entry <= names.size() + 2; ++entry) {
            QVERIFY(keyToRest(s, "Down"));
            const QString playingBackground = "< Playing " + s.run.appDir() + "background.avi.";
            const int backgrounds = s.count(playingBackground);
            const int before = s.traceLines().size();
            press("Return");
            QVERIFY(waitUntil([&] { return s.traceLines().size() > before + 2; }, 10000));
            QString playing;
            QVERIFY(waitUntil(
                [&] {
                    const QStringList added = s.traceLines().mid(before);
                    for (const QString& l : added)
                        if (colourOf.contains(l))
                            playing = l;
                    return !playing.isEmpty() || added.contains("> set_menu unplayable");
                },
                10000));
            if (playing.isEmpty()) { // the file that is no clip: a word over the menu
                QVERIFY(s.waitFor(restMark(), s.count(restMark()) + 1));
                QCOMPARE(s.menuAnswer(), "ANS_MENU_VISIBILITY=1");
                QVERIFY(keyToRest(s, "Return")); // OK: back on the entry
                continue;
            }
            QVERIFY2(showsItsColour(playing), qPrintable(playing));
            played.insert(playing);
            QVERIFY(s.waitFor(playingBackground, backgrounds + 1, 20000));
            QVERIFY(s.waitFor(restMark(), s.count(restMark()) + 1));
        }
        QCOMPARE(played.size(), names.size());
        QCOMPARE(s.run.err().count("cannot play"), 0); // the run's own log comes at its end

        // Play all, from the top of the list: every clip in turn, the other files passed over.
        for (int i = 0; i <= names.size() + 1; ++i)
            QVERIFY(keyToRest(s, "Up"));
        const int before = s.traceLines().size();
        const QString playingBackground = "< Playing " + s.run.appDir() + "background.avi.";
        const int backgrounds = s.count(playingBackground);
        press("Return");
        QSet<QString> inTurn;
        QVERIFY(waitUntil(
            [&] {
                for (const QString& l : s.traceLines().mid(before))
                    if (colourOf.contains(l) && !inTurn.contains(l) && showsItsColour(l))
                        inTurn.insert(l);
                return inTurn.size() == names.size();
            },
            120000));
        // At the end, the folder's menu again, without the word.
        QVERIFY(s.waitFor(playingBackground, backgrounds + 1, 20000));
        QVERIFY(s.waitFor(restMark(), s.count(restMark()) + 1));
        QCOMPARE(s.menuAnswer(), "ANS_MENU_VISIBILITY=1");
        QCOMPARE(s.traceLines().mid(before).filter("set_menu unplayable"), QStringList());
        press("F2");
        press("F2");
        press("F2");
        QVERIFY(s.run.waitForExit());
        for (const QByteArray& file : {QByteArray("Nothing here.avi"), last})
            QCOMPARE(
                s.run.err().count("tamblin-adapter: cannot play " + latin1(media + "/" + file)), 2);
    }

    // CJK names are drawn in a font that has them: their line has ink over most of its height,
    // where a font without them would draw "_" along the baseline.
    void cjkNamesAreDrawn()
    {
        AdapterSession s(x.get(), background);
        const QString media = s.run.root() + "/media";
        QDir().mkpath(media);
        QVERIFY(QFile::copy(red, media + "/映画 ネコ 東京.avi"));
        startMenuRun(s, media);
        QVERIFY(keyToRest(s, "Return")); // the folder: Play all, then the clip
        QVERIFY(keyToRest(s, "Down"));
        QVERIFY(s.traceLines().contains("# font WenQuanYi Micro Hei"));
        const QImage menu = shot();
        // Bands of rows with white ink in the left half, where the names are: the title, Play
        // all, and the clip's name, last. "_" placeholders would make a band a few rows high.
        QList<int> bands;
        bool inBand = false;
        for (int y = 0; y < menu.height(); ++y) {
            bool ink = false;
            for (int xx = 0; xx < menu.width() / 2 && !ink; ++xx)
                ink = qRed(menu.pixel(xx, y)) > 235 && qGreen(menu.pixel(xx, y)) > 235 &&
                      qBlue(menu.pixel(xx, y)) > 235;
            if (ink && !inBand)
                bands << 0;
            if (ink)
                ++bands.last();
            inBand = ink;
        }
        QVERIFY2(bands.size() >= 3, qPrintable(QString::number(bands.size())));
        QVERIFY2(bands.last() * 2 > bands.first(),
                 qPrintable(QString("%1 rows against %2").arg(bands.last()).arg(bands.first())));
        press("F2");
        press("F2");
        press("F2");
        QVERIFY(s.run.waitForExit());
    }

    // A song has a screen: a picture under the sound, which the menu draws on. The adapter's
    // answers and the screen agree while it plays. A FLAC stream states no length (MPlayer says
    // 0): it plays all the same.
    void aSongHasAScreen_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("encoding");
        QTest::newRow("MP3") << "A song.mp3" << QStringList{"-c:a", "libmp3lame", "-f", "mp3"};
        QTest::newRow("FLAC of no stated length") << "A song.flac" << QStringList{"-f", "flac"};
    }

    void aSongHasAScreen()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, encoding);
        AdapterSession s(x.get(), background);
        const QString media = s.run.root() + "/media";
        QDir().mkpath(media);
        // Written as a stream: nothing goes back to the start to put the length in.
        QProcess ffmpeg;
        ffmpeg.setStandardOutputFile(media + "/" + name);
        ffmpeg.start("ffmpeg", QStringList{"-loglevel", "error", "-f", "lavfi", "-i",
                                           "sine=frequency=440:duration=20"} +
                                   encoding + QStringList{"pipe:1"});
        QVERIFY(ffmpeg.waitForFinished(30000) && ffmpeg.exitCode() == 0);
        startMenuRun(s, media);
        QVERIFY(keyToRest(s, "Return"));
        QVERIFY(keyToRest(s, "Down"));
        press("Return");
        // MPlayer opens a song twice: once to hear its length, then under its picture.
        QVERIFY(s.waitFor("< Playing " + media + "/" + name + ".", onMpv() ? 1 : 2));
        QVERIFY(s.waitFor("> menu hide"));
        const auto menuShown = [&](bool shown) {
            QImage last;
            // Playing, the picture only changes with the menu: wait for two shots that agree.
            return waitUntil(
                [&] {
                    const QImage now = shot();
                    const bool same = !last.isNull() && differingPixels(now, last) == 0;
                    last = now;
                    int white = 0;
                    for (int y = 0; y < now.height(); y += 2)
                        for (int xx = 0; xx < now.width(); xx += 2)
                            white += qRed(now.pixel(xx, y)) > 235 && qGreen(now.pixel(xx, y)) > 235;
                    return same && (white > 200) == shown;
                },
                10000);
        };
        QCOMPARE(s.menuAnswer(), "ANS_MENU_VISIBILITY=0");
        QVERIFY(waitUntil([&] { return s.property("time_pos").toDouble() > 4.5; }, 10000));
        QVERIFY(menuShown(false)); // its name shows for a while, then only the picture
        press("F1");
        QVERIFY(s.waitFor("> set_menu main"));
        QCOMPARE(s.menuAnswer(), "ANS_MENU_VISIBILITY=1");
        QVERIFY(menuShown(true));
        // Back to the folder's menu, then the main menu below it, each shown again; then hidden.
        for (int cancels = 1; cancels <= 3; ++cancels) {
            press("F2");
            QVERIFY(s.waitFor("> menu cancel", cancels));
        }
        QCOMPARE(s.menuAnswer(), "ANS_MENU_VISIBILITY=0");
        QVERIFY(menuShown(false));
        press("F2"); // the end
        QVERIFY(s.run.waitForExit());
    }
};

QTEST_GUILESS_MAIN(MediaTest)
#include "tst_media.moc"
