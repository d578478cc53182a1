// What the adapter's start keeps in the user's cache folder: records read back exactly, a
// damaged one never read as a record, and nothing served once what it was made of changed. The
// real adapter is run on a recording stand-in player while a folder, a font and the screen size
// change between runs: each start must give the player what a start without a cache gives it.
#include "cacheRecord.h"
#include "mediaFolders.h"
#include "startCache.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <sys/time.h>

namespace {

void touch(const QString& path)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
}

// A time long past, a different one for each step: a folder changed in the last seconds is not
// kept, and two steps must not leave a folder with the same time.
void backdate(const QString& path, int step)
{
    const timeval past[2] = {{1700000000 + step, 0}, {1700000000 + step, 0}};
    QCOMPARE(utimes(QFile::encodeName(path).constData(), past), 0);
}

void backdateTree(const QString& root, int step)
{
    QStringList folders{root};
    for (int i = 0; i < folders.size(); ++i) {
        for (const QString& sub : QDir(folders[i]).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
            folders << folders[i] + "/" + sub;
    }
    for (const QString& f : folders)
        backdate(f, step);
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

MediaScan oddScan()
{
    MediaScan scan;
    MediaFolder top{"/m", "m", {}, {"/m/3:ab;c.mkv", "/m/line\nfeed.avi", "/m/\xff\xfe.mp4"}, true};
    top.folders.push_back({"/m/", "", {}, {"/m//x.mkv"}, false});
    scan.folders = {top};
    scan.subtitles["/m/3:ab;c.mkv"] = {"/m/3:ab;c.srt", "/m/3:ab;c.en.srt"};
    return scan;
}

std::string record(const MediaScan& scan)
{
    RecordWriter w;
    writeStamps(w, {{"/m", 5, 7, 1700000000123456789LL}, {"/gone", 0, 0, -1}});
    writeScan(w, scan);
    return w.record();
}

// What a start gave the player: its arguments (the private folder's name left out), its menu's
// definition (MPlayer's), and the font that the adapter's trace names.
struct Given
{
    QString args, font;
    QByteArray menu;
    bool operator==(const Given& o) const
    {
        return args == o.args && font == o.font && menu == o.menu;
    }
};

// It also keeps the option file that a player started before its window reads in place of the
// window's options (it waits in the FIFO until the adapter knows the window).
const char kRecorder[] =
    "#!/bin/sh\n"
    ": > \"$REC/args\"; rm -f \"$REC/menu\" \"$REC/include\"\n"
    "while [ $# -gt 0 ]; do\n"
    "  printf '%s\\n' \"$1\" >> \"$REC/args\"\n"
    "  [ \"$1\" = -menu-cfg ] && cp \"$2\" \"$REC/menu\"\n"
    "  [ \"$1\" = -include ] && cat \"$2\" > \"$REC/include\"\n"
    "  case \"$1\" in --include=*) cat \"${1#--include=}\" > \"$REC/include\";; esac\n"
    "  shift\n"
    "done\n";

// The arguments with the option file's lines in place of the option that names it, as words
// (name="value" and name=yes as MPlayer's -name value and -flag, name=value as mpv's
// --name=value), in the order a set of options has none of: sorted.
QStringList withOptionFile(const QString& args, const QString& file)
{
    QStringList words = args.split('\n', Qt::SkipEmptyParts);
    const qsizetype at = words.indexOf("-include");
    if (at >= 0)
        words.remove(at, 2);
    words.removeIf([](const QString& w) { return w.startsWith("--include="); });
    for (const QString& line : file.split('\n', Qt::SkipEmptyParts)) {
        const QString name = line.section('=', 0, 0), value = line.section('=', 1);
        if (at < 0)
            words << "--" + line;
        else if (value == "yes")
            words << "-" + name;
        else
            words << "-" + name << value.mid(1, value.size() - 2);
    }
    words.sort();
    return words;
}

} // namespace

class StartCacheTest : public QObject
{
    Q_OBJECT

    QTemporaryDir scratch;

    QString dir(const QString& name) const { return scratch.path() + "/" + name; }

    // One start of the real adapter on the stand-in player of that name, with those settings
    // of its environment; how many records it was served.
    // With WINDOW_LINE set, the adapter is told its window on descriptor 3, as the window tells
    // it, and what it gave the player is read with the option file in place (withOptionFile).
    Given start(const QString& player, QMap<QString, QString> settings, int* served)
    {
        QProcess p;
        const QString windowLine = settings.take("WINDOW_LINE");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"TAMBLIN_SESSION_END", "TAMBLIN_REMOVABLE", "TAMBLIN_WID",
                                 "LC_ALL", "LC_MESSAGES", "LANGUAGE"})
            env.remove(name);
        env.insert("LANG", "C.UTF-8");
        env.insert("TAMBLIN_PLAYER", dir("bin/") + player);
        env.insert("REC", dir("rec"));
        env.insert("TAMBLIN_MEDIA", dir("media"));
        env.insert("TMPDIR", dir("tmp"));
        env.insert("XDG_STATE_HOME", dir("state"));
        env.insert("FONTCONFIG_FILE", dir("fonts.conf"));
        env.insert("TAMBLIN_ADAPTER_TRACE", dir("rec/trace"));
        env.insert("TAMBLIN_START_TRACE", dir("rec/marks"));
        env.insert("TAMBLIN_SPEECH", "0");
        for (auto s = settings.begin(); s != settings.end(); ++s)
            env.insert(s.key(), s.value());
        QFile::remove(dir("rec/trace"));
        QFile::remove(dir("rec/marks"));
        if (!windowLine.isEmpty()) {
            env.remove("TAMBLIN_WID");
            env.remove("TAMBLIN_WINDOW_SIZE");
            env.insert("TAMBLIN_WINDOW_FD", "3");
            writeFile(dir("rec/window-line"), windowLine.toUtf8());
            env.insert("WINDOW_LINE_FILE", dir("rec/window-line"));
        }
        p.setProcessEnvironment(env);
        if (windowLine.isEmpty())
            p.start(ADAPTER_BIN, {"-slave", "-quiet", "clip.avi"});
        else
            p.start("/bin/sh", {"-c", "exec \"$0\" \"$@\" 3<\"$WINDOW_LINE_FILE\"", ADAPTER_BIN,
                                "-slave", "-quiet", "clip.avi"});
        p.closeWriteChannel();
        Given given;
        if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit) {
            given.font = "(the adapter did not end)";
            return given;
        }
        const auto read = [this](const QString& name) {
            QFile f(dir("rec/" + name));
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        };
        given.args = QString::fromUtf8(read("args"))
                         .replace(QRegularExpression("tamblin-adapter\\.\\w+"), "PRIVATE");
        given.menu = read("menu");
        if (!windowLine.isEmpty())
            given.args = withOptionFile(given.args, QString::fromUtf8(read("include"))).join('\n');
        for (const QString& line : QString::fromUtf8(read("trace")).split('\n')) {
            if (line.startsWith("# font "))
                given.font = line.mid(7);
        }
        *served = int(QString::fromUtf8(read("marks")).count("-cached "));
        return given;
    }

  private slots:
    // Read back exactly; cut anywhere, with a byte changed anywhere, or something else
    // altogether: no record, or one whole record, never a read past its end.
    void aRecordIsWholeOrNone()
    {
        const std::string text = record(oddScan());
        const auto reads = [](const std::string& t, MediaScan* scan) {
            RecordReader r(t);
            std::vector<PathStamp> stamps;
            return readStamps(r, &stamps) && readScan(r, scan) && r.atEnd() && stamps.size() == 2 &&
                   stamps[0].mtimeNs == 1700000000123456789LL && stamps[1].mtimeNs == -1;
        };
        MediaScan scan;
        QVERIFY(reads(text, &scan));
        QCOMPARE(record(scan), text);
        for (size_t cut = 0; cut < text.size(); ++cut)
            QVERIFY2(!reads(text.substr(0, cut), &scan), qPrintable(QString::number(cut)));
        for (size_t at = 0; at < text.size(); ++at) {
            std::string changed = text;
            changed[at] = changed[at] == '9' ? ';' : '9';
            reads(changed, &scan); // whatever it reads, without a fault (the sanitizers')
        }
        for (const std::string& foreign :
             {std::string(), std::string("tamblin"), std::string("99999999999999999999;"),
              std::string("16777216;"), std::string("-1;"), std::string(1000, '\0')})
            QVERIFY(!reads(foreign, &scan));
    }

    // The key: each folder read, with its time, device and inode.
    void aChangedFolderIsScannedAgain_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("served");
        QTest::newRow("nothing") << "" << true;
        QTest::newRow("a clip added deep down") << "add deep/deeper/new.mkv" << false;
        QTest::newRow("a clip removed") << "remove top.mkv" << false;
        QTest::newRow("a folder with no clip yet gets one") << "add bare/first.mkv" << false;
        QTest::newRow("a media folder not there before") << "add later/clip.mkv" << false;
        QTest::newRow("a folder in the place of another") << "swap deep" << false;
        QTest::newRow("the record cut short") << "damage" << false;
    }
    void aChangedFolderIsScannedAgain()
    {
        QFETCH(QString, change);
        QFETCH(bool, served);
        QTemporaryDir dir;
        const QString media = dir.path() + "/media", later = dir.path() + "/later";
        touch(media + "/top.mkv");
        touch(media + "/deep/deeper/old.mkv");
        QDir().mkpath(media + "/bare");
        backdateTree(media, 0);
        const std::vector<std::string> folders{media.toStdString(), later.toStdString()};
        const std::string cacheFolder = (dir.path() + "/cache/tamblin").toStdString();
        StartCache first(cacheFolder);
        first.freshScan(folders);
        first.save();

        const QStringList words = change.split(' ');
        if (words[0] == "add")
            touch(dir.path() + "/" + (words[1].startsWith("later") ? "" : "media/") + words[1]);
        if (words[0] == "remove")
            QVERIFY(QFile::remove(media + "/" + words[1]));
        if (words[0] == "swap") {
            QVERIFY(QDir(media + "/deep").removeRecursively());
            touch(media + "/deep/deeper/old.mkv");
            touch(media + "/deep/deeper/swapped.mkv");
        }
        if (words[0] == "damage")
            QVERIFY(QFile::resize(QString::fromStdString(cacheFolder) + "/media", 100));

        StartCache second(cacheFolder);
        MediaScan again;
        QCOMPARE(second.keptScan(folders, &again), served);
        if (!served)
            again = second.freshScan(folders);
        QCOMPARE(record(again), record(scanMediaFolders(folders)));
    }

    // Labels made while the run goes (listed menus) are fitted alike after a start from the
    // cache, which measured nothing, as after one that fitted the menus itself.
    void labelsMadeLaterFitAlike()
    {
        const std::string label = "A name long enough to be cut at any window size here "
                                  "\u6620\u753b \u6620\u753b \u6620\u753b \u6620\u753b";
        for (const WindowSize window : {WindowSize{1920, 1080}, WindowSize{640, 480}}) {
            const MPlayerMenuLook made = mplayerMenuLook({{"m", label, {}, false}}, window);
            QVERIFY(made.fit && made.size > 0);
            const MPlayerMenuLook again = mplayerLookAgain(made.chosen, made.size, window);
            QCOMPARE(again.options, made.options);
            QVERIFY(made.fit(label) != label);
            QCOMPARE(again.fit(label), made.fit(label));
        }
    }

    // A folder, a font and the screen's size change between starts, and the cache's records
    // are damaged or cannot be written: each start gives the player what a start without a
    // cache gives it, and is served what did not change. A start told its window on a
    // descriptor, the player already running, gives it the same options too.
    void nothingStaleIsServed_data()
    {
        QTest::addColumn<QString>("player");
        QTest::newRow("MPlayer") << "mplayer";
        QTest::newRow("mpv") << "mpv";
    }
    void nothingStaleIsServed()
    {
        QFETCH(QString, player);
        const QString dejaVu = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
        const QString cjk = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc";
        if (!QFile::exists(dejaVu) || !QFile::exists(cjk))
            QSKIP("needs fonts-dejavu-core and fonts-wqy-microhei");
        for (const char* d : {"media", "fonts", "bin", "rec", "tmp", "state", "fccache"}) {
            QDir(dir(d)).removeRecursively();
            QDir().mkpath(dir(d));
        }
        const QString cache = dir("cache-" + player);
        QDir(cache).removeRecursively();
        const QString longName = "/Episode 1 - The One Where Everybody Finds Out About It.mkv";
        touch(dir("media/Series") + longName);
        touch(dir("media/\u6620\u753b/deeper") + longName);
        QVERIFY(QFile::copy(dejaVu, dir("fonts/DejaVuSans.ttf")));
        QVERIFY(writeFile(dir("fonts.conf"),
                          "<?xml version=\"1.0\"?>\n<fontconfig><dir>" +
                              QFile::encodeName(dir("fonts")) + "</dir><cachedir>" +
                              QFile::encodeName(dir("fccache")) + "</cachedir></fontconfig>\n"));
        QVERIFY(writeFile(dir("bin/" + player), kRecorder));
        QVERIFY(QFile::setPermissions(dir("bin/" + player), QFile::ReadOwner | QFile::ExeOwner));
        QMap<QString, QString> settings{
            {"XDG_CACHE_HOME", cache}, {"TAMBLIN_WID", "7"}, {"TAMBLIN_WINDOW_SIZE", "1920x1080"}};

        // What changes, how many of the two records that MPlayer's start uses are served then
        // (mpv's start uses two too: the media's and the font's), and what the change shows.
        struct Step
        {
            const char* what;
            std::function<void()> change;
            QStringList changed; // the folders and files that the change changes
            int served;
            std::function<bool(const Given& before, const Given& now)> shows;
        };
        const auto same = [](const Given& a, const Given& b) { return a == b; };
        const auto fontIs = [](const char* family) {
            return [family](const Given&, const Given& now) { return now.font == family; };
        };
        const std::vector<Step> steps{
            {"the first start", [] {}, {"media", "fonts"}, 0, fontIs("DejaVu Sans")},
            {"nothing changed", [] {}, {}, 2, same},
            {"a clip added deep down",
             [&] { touch(dir("media/\u6620\u753b/deeper/New.mkv")); },
             // mpv's record of the font is served: the new name has no new character. mpv
             // is handed no menu: the adapter draws it.
             {"media"},
             player == "mpv" ? 1 : 0,
             [&](const Given& b, const Given& n) {
                 return n.args == b.args && (player == "mpv" || !(n == b));
             }},
            {"a font with the CJK names added",
             [&] { QVERIFY(QFile::copy(cjk, dir("fonts/wqy.ttc"))); },
             {"fonts"},
             1,
             fontIs("WenQuanYi Micro Hei")},
            {"that font removed",
             [&] { QVERIFY(QFile::remove(dir("fonts/wqy.ttc"))); },
             {"fonts"},
             1,
             fontIs("DejaVu Sans")},
            {"a smaller screen",
             [&] { settings["TAMBLIN_WINDOW_SIZE"] = "640x480"; },
             {},
             player == "mpv" ? 2 : 1,
             [&](const Given& b, const Given& n) { return player == "mpv" || !(n == b); }},
            {"a session's ways to power",
             [&] {
                 settings["TAMBLIN_SESSION_END"] = dir("rec/end");
                 settings["TAMBLIN_POWER"] = "power-off,restart";
             },
             {},
             1,
             [](const Given& b, const Given& n) { return !(n == b) || n.menu.isEmpty(); }},
            {"the viewer's language",
             [&] { settings["LANGUAGE"] = "de"; },
             {},
             1,
             [](const Given& b, const Given& n) { return !(n == b) || n.menu.isEmpty(); }},
            {"nothing changed", [] {}, {}, 2, same},
            {"the records damaged",
             [&] {
                 for (const QString& name : QDir(cache + "/tamblin").entryList(QDir::Files))
                     QVERIFY(QFile::resize(cache + "/tamblin/" + name, 40));
             },
             {},
             0,
             same},
            {"a cache folder that cannot be made",
             [&] { settings["XDG_CACHE_HOME"] = dir("fonts.conf"); },
             {},
             0,
             same},
        };
        Given before;
        int changes = 0;
        for (size_t i = 0; i < steps.size(); ++i) {
            const Step& step = steps[i];
            step.change();
            // Long past, and a different time after each change: what changed is seen by its
            // time, as a folder changed in the last seconds is not kept.
            if (step.changed.contains("media"))
                backdateTree(dir("media"), changes);
            if (step.changed.contains("fonts")) {
                backdate(dir("fonts.conf"), changes);
                backdate(dir("fonts"), changes);
            }
            changes += !step.changed.isEmpty();
            int served = 0, none = 0;
            const Given now = start(player, settings, &served);
            QMap<QString, QString> fresh = settings;
            fresh["XDG_CACHE_HOME"] = dir("cache-none");
            QDir(fresh["XDG_CACHE_HOME"]).removeRecursively();
            QVERIFY2(start(player, fresh, &none) == now, step.what);
            fresh["WINDOW_LINE"] = "7 " + settings["TAMBLIN_WINDOW_SIZE"] + "\n";
            QDir(fresh["XDG_CACHE_HOME"]).removeRecursively();
            Given told = start(player, fresh, &none), given = now;
            given.args = withOptionFile(now.args, "").join('\n');
            QVERIFY2(told == given, step.what);
            QVERIFY2(!now.font.isEmpty() && now.args.contains("clip.avi"), step.what);
            QCOMPARE(none, 0);
            QVERIFY2(served == step.served,
                     qPrintable(QString("%1: %2 records served").arg(step.what).arg(served)));
            QVERIFY2(step.shows(before, now), step.what);
            before = now;
        }
    }
};

QTEST_APPLESS_MAIN(StartCacheTest)
#include "tst_startCache.moc"
