// The user's media: names as the bytes the file system has, through the stand-in player and
// Debian's MPlayer; names that a shell would take apart; the folder menu on screen; the end of
// a chosen clip and of "Play all"; and where a clip was left, across runs.
#include "adapterSession.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

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
        const int rests = s.count("# stopped");
        press(key);
        return s.waitFor("# stopped", rests + 1, 20000);
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
        QVERIFY(s.waitFor("# stopped", 1, 20000));
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

    // Names that the shell would split, or run, play as they are, and nothing else runs.
    void anyNamePlaysOnDebianMPlayer_data()
    {
        QTest::addColumn<QByteArray>("name");
        for (const char* n : {"My Film", "it's", "a;touch pwned", "$(touch pwned)", "`touch pwned`",
                              "-dash", "x & touch pwned"})
            QTest::newRow(n) << QByteArray(n);
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
        QVERIFY(s.waitFor("# stopped", s.count("# stopped") + 1));
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
        QVERIFY(s.waitFor("# stopped", s.count("# stopped") + 1));
        QCOMPARE(s.menuAnswer(), "ANS_MENU_VISIBILITY=1");
        QCOMPARE(differingPixels(shot(), onGreen), 0); // on the clip that ended
        press("F2");
        press("F2");
        press("F2");
        QVERIFY(s.run.waitForExit());
        QCOMPARE(s.run.exitCode(), 0);
    }

    // A clip left halfway starts there when chosen again, in the next run; a file that is not
    // a positions file is ignored with one line, and replaced.
    void whereAClipWasLeft()
    {
        const QString media = scratch.path() + "/resume";
        QDir().mkpath(media);
        QVERIFY(QFile::copy(longClip, media + "/long.avi"));
        const QString playing = "< Playing " + media + "/long.avi.";
        auto choose = [&](AdapterSession& s) {
            startMenuRun(s, media);
            QVERIFY(keyToRest(s, "Return"));
            QVERIFY(keyToRest(s, "Down"));
            press("Return");
            QVERIFY(s.waitFor(playing));
            QVERIFY(s.waitFor("> menu hide"));
        };
        {
            AdapterSession s(x.get(), background);
            choose(s);
            s.inject("seek 15 2\n");
            QVERIFY(waitUntil([&] { return s.property("time_pos").toDouble() >= 14; }, 10000));
            press("F2"); // the menu is hidden: the run ends
            QVERIFY(s.run.waitForExit());
        }
        QVERIFY2(positions().contains(" " + media + "/long.avi\n"), qPrintable(positions()));
        {
            AdapterSession s(x.get(), background);
            choose(s);
            QVERIFY(
                !s.traceLines().filter(QRegularExpression("^> seek 1[4-9]\\.\\d+ 2$")).isEmpty());
            QVERIFY(waitUntil([&] { return s.property("time_pos").toDouble() >= 14; }, 10000));
            press("F2");
            QVERIFY(s.run.waitForExit());
        }
        QFile f(scratch.path() + "/state/tamblin/positions");
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("not a positions file\n");
        f.close();
        {
            AdapterSession s(x.get(), background);
            choose(s);
            QCOMPARE(s.traceLines().filter(QRegularExpression("^> seek ")), QStringList());
            QVERIFY(s.property("time_pos").toDouble() < 5);
            press("F2");
            QVERIFY(s.run.waitForExit());
            QCOMPARE(s.run.err().count("is not a positions file"), 1);
        }
        QVERIFY(positions().startsWith("tamblin positions 1\n"));
    }
};

QTEST_GUILESS_MAIN(MediaTest)
#include "tst_media.moc"
