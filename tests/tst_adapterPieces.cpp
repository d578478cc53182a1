// The adapter's menu model against the player's menu rules, and the pieces that shape what the
// real player is given.
#include "clipFlow.h"
#include "descriptors.h"
#include "folderReadAhead.h"
#include "languageNames.h"
#include "logindRequest.h"
#include "mediaFolders.h"
#include "mediaMenu.h"
#include "mediaSuffixes.h"
#include "menuFile.h"
#include "menuModel.h"
#include "menuText.h"
#include "mountTable.h"
#include "mplayerArguments.h"
#include "mplayerFiles.h"
#include "mplayerMenu.h"
#include "mpvArguments.h"
#include "optionFile.h"
#include "outbox.h"
#include "pauseHold.h"
#include "playerChoice.h"
#include "positionsFile.h"
#include "resumeStore.h"
#include "speechClient.h"
#include "startCache.h"
#include "stickScanner.h"
#include "threadOrNone.h"
#include "trackNames.h"
#include "viewerLanguages.h"
#include "windowLine.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <fcntl.h>
#include <map>
#include <memory>
#include <poll.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

void touch(const QString& path)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    f.open(QIODevice::WriteOnly);
}

QStringList names(const std::vector<std::string>& paths)
{
    QStringList n;
    for (const std::string& p : paths)
        n << QFileInfo(QString::fromStdString(p)).fileName();
    return n;
}

// The entries of the last menu built from a scan: its innermost folder's.
QStringList lastMenuLabels(const MediaScan& scan)
{
    const std::vector<Menu> menus = buildMenus(scan);
    QStringList labels;
    for (const MenuEntry& e : menus.back().entries)
        labels << QString::fromStdString(e.label);
    return labels;
}

// One media folder: main has Play a clip, Pause or resume, On-screen display, Speech: on/off,
// Quit; the folder's menu f1 has Play all, one.avi, two.mp4.
std::vector<Menu> twoClips()
{
    MediaScan scan;
    scan.folders.push_back({"/v", "v", {}, {"/v/one.avi", "/v/two.mp4"}, false});
    return buildMenus(scan);
}

// Tracks from "ID LANG" ("-": none) or "ID LANG TITLE", or "ID @PATH" for a file beside the
// clip; a comma between tracks.
std::vector<Track> tracksOf(const QString& rows)
{
    std::vector<Track> tracks;
    for (const QString& row : rows.split(", ", Qt::SkipEmptyParts)) {
        const QStringList w = row.split(' ');
        const bool beside = w[1].startsWith('@');
        tracks.push_back({w[0].toInt(), beside || w[1] == "-" ? "" : w[1].toStdString(),
                          (beside ? w[1].mid(1) : w.mid(2).join(' ')).toStdString(), beside});
    }
    return tracks;
}

std::vector<std::string> strings(const QString& list)
{
    std::vector<std::string> out;
    for (const QString& s : list.split(',', Qt::SkipEmptyParts))
        out.push_back(s.toStdString());
    return out;
}

QString joined(const std::vector<std::string>& strings)
{
    QStringList list;
    for (const std::string& s : strings)
        list << QString::fromStdString(s);
    return list.join(',');
}

// A line of /proc/self/mountinfo as the kernel writes it, a blank in the point escaped.
QString mountLine(int id, QString point, const QString& root = "/",
                  const QString& source = "/dev/sdb1")
{
    return QString("%1 22 8:%1 %2 %3 rw,nosuid,relatime shared:%1 - vfat %4 rw,fmask=0022\n")
        .arg(id)
        .arg(root, point.replace(' ', "\\040"), source);
}

} // namespace

// The tree as a start reads it, the folders read ahead on a second thread, is the tree read
// folder by folder.
bool readAheadAlike(const std::string& folder, const MediaScan& scan)
{
    RecordWriter ahead, inTurn;
    writeScan(ahead, StartCache({}).freshScan({folder}));
    writeScan(inTurn, scan);
    return ahead.record() == inTurn.record();
}

class AdapterPiecesTest : public QObject
{
    Q_OBJECT

  private slots:
    void menuRules_data()
    {
        QTest::addColumn<bool>("startShown");
        QTest::addColumn<QStringList>("commands");
        QTest::addColumn<bool>("visible");
        QTest::addColumn<QString>("menu");
        QTest::addColumn<int>("selection");
        QTest::addColumn<int>("depth");

        QTest::newRow("start menu shown") << true << QStringList() << true << "main" << 0 << 1;
        QTest::newRow("hidden: a menu command only shows it")
            << false << QStringList{"menu down"} << true << "main" << 0 << 1;
        QTest::newRow("hidden: ok only shows it, runs nothing")
            << false << QStringList{"menu ok"} << true << "main" << 0 << 1;
        QTest::newRow("hidden: hide keeps it hidden")
            << false << QStringList{"menu hide"} << false << "main" << 0 << 1;
        QTest::newRow("up wraps to the last entry")
            << true << QStringList{"menu up"} << true << "main" << 4 << 1;
        QTest::newRow("down wraps to the first entry")
            << true << QStringList{"menu down", "menu down", "menu down", "menu down", "menu down"}
            << true << "main" << 0 << 1;
        QTest::newRow("cancel in the top menu hides it")
            << true << QStringList{"menu cancel"} << false << "main" << 0 << 1;
        QTest::newRow("ok on Play a clip opens the clips")
            << true << QStringList{"menu ok"} << true << "f1" << 0 << 2;
        QTest::newRow("cancel in a submenu goes back, selection kept")
            << true << QStringList{"menu ok", "menu down", "menu cancel"} << true << "main" << 0
            << 1;
        QTest::newRow("entries that run commands leave the menu as it is")
            << true << QStringList{"menu down", "menu ok", "menu down", "menu ok"} << true << "main"
            << 2 << 1;
        QTest::newRow("set_menu while hidden opens over the hidden menu")
            << true << QStringList{"menu cancel", "set_menu main"} << true << "main" << 0 << 2;
        QTest::newRow("... and going back shows the menu below again")
            << true << QStringList{"menu cancel", "set_menu main", "menu cancel"} << true << "main"
            << 0 << 1;
        QTest::newRow("set_menu of an unknown menu hides it")
            << true << QStringList{"set_menu nothing"} << false << "main" << 0 << 1;
        QTest::newRow("playback commands do not touch the menu")
            << true << QStringList{"pause", "seek +40", "volume -10", "osd", "frame_drop"} << true
            << "main" << 0 << 1;
        QTest::newRow("pausing prefixes are followed")
            << true << QStringList{"pausing_keep menu down", "pausing_keep_force menu down"} << true
            << "main" << 2 << 1;
        // What the player showed, step by step, after a clip was chosen and the menu hidden.
        QTest::newRow("after a hidden clip list, F1 and three cancels")
            << true << QStringList{"menu ok",   "menu down",     "menu ok",
                                   "menu hide", "set_menu main", "menu cancel"}
            << true << "f1" << 1 << 2;
        QTest::newRow("... the next cancel shows the main menu below")
            << true << QStringList{"menu ok",       "menu down",   "menu ok",    "menu hide",
                                   "set_menu main", "menu cancel", "menu cancel"}
            << true << "main" << 0 << 1;
    }

    void menuRules()
    {
        QFETCH(bool, startShown);
        QFETCH(QStringList, commands);
        QFETCH(bool, visible);
        QFETCH(QString, menu);
        QFETCH(int, selection);
        QFETCH(int, depth);

        MenuModel model(twoClips(), "main", startShown);
        for (const QString& c : commands)
            model.apply(c.toStdString());
        QCOMPARE(model.visible(), visible);
        QCOMPARE(QString::fromStdString(model.current()), menu);
        QCOMPARE(model.selection(), selection);
        QCOMPARE(int(model.depth()), depth);
    }

    // Choosing names the clips, and the way to each is known; a copy stands on its own: the
    // original gone, the copy still knows its menus.
    void choosingFromACopy()
    {
        auto original = std::make_unique<MenuModel>(twoClips(), "main", true);
        original->apply("menu ok");
        original->apply("menu down");
        MenuModel copy = *original;
        original.reset();
        QCOMPARE(QString::fromStdString(copy.current()), "f1");
        QCOMPARE(copy.selection(), 1);
        copy.apply("menu down");
        QCOMPARE(copy.apply("menu ok"), MenuModel::FileChosen);
        QCOMPARE(copy.chosenFiles(), (std::vector<std::string>{"/v/two.mp4"}));
        QVERIFY(copy.visible()); // until the adapter hides it once the clip plays
        copy.apply("menu up");
        copy.apply("menu up");
        QCOMPARE(copy.apply("menu ok"), MenuModel::FileChosen); // Play all
        QCOMPARE(copy.chosenFiles(), (std::vector<std::string>{"/v/one.avi", "/v/two.mp4"}));

        const std::vector<MenuModel::Step> way = copy.wayTo("/v/two.mp4");
        QCOMPARE(int(way.size()), 2);
        QCOMPARE(way[0].menu, std::string("main"));
        QCOMPARE(way[0].selection, 0);
        QCOMPARE(way[1].menu, std::string("f1"));
        QCOMPARE(way[1].selection, 2);
        QVERIFY(copy.wayTo("/elsewhere.avi").empty());
    }

    // A menu definition that could not be written whole is reported, not taken as written.
    void menuFileWriteFailures()
    {
        QVERIFY(!writeMenuFile("/dev/full", twoClips()));
        QCOMPARE(errno, ENOSPC);
        QVERIFY(!writeMenuFile("/nonexistent/menu.conf", twoClips()));
        QTemporaryDir dir;
        const std::string path = QFile::encodeName(dir.path() + "/menu.conf").toStdString();
        QVERIFY(writeMenuFile(path, twoClips()));
        QFile f(QString::fromStdString(path));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray text = f.readAll(); // whole: the folder's menu, to its last line
        QVERIFY(text.contains("<e name=\"Play a clip\" ok=\"set_menu f1\"/>"));
        QVERIFY(text.contains("<e name=\"two\""));
        QVERIFY(text.endsWith("</cmdlist>\n"));
    }

    void withoutClipsThereIsNoClipEntry()
    {
        const std::vector<Menu> menus = buildMenus(MediaScan{});
        // main and its seven mixes for a clip, the word on a file that cannot be played, and the
        // four menus listed as a clip plays
        QCOMPARE(int(menus.size()), 13);
        MenuModel model(menus, "main", true);
        QCOMPARE(model.apply("menu ok"), MenuModel::CommandRun); // Pause or resume
        QCOMPARE(model.ranCommand(), std::string("pause"));
        QCOMPARE(QString::fromStdString(model.current()), "main");

        // No menus at all: an empty one, which every command leaves as it is.
        MenuModel empty({}, "main", true);
        QCOMPARE(empty.apply("menu ok"), MenuModel::Nothing);
        QCOMPARE(empty.entryCount(), 0);
        QCOMPARE(QString::fromStdString(empty.current()), "main");
    }

    // Every name is listed, whatever bytes it holds, as the person wrote it as far as the menu
    // can draw it; the definition carries no path, and every line of it stays whole.
    void everyNameIsListed_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("inDefinition"); // where it is not the label
        QTest::newRow("apostrophe")
            << QByteArray("Ocean's Eleven.avi") << "Ocean's Eleven" << QString();
        QTest::newRow("ampersand") << QByteArray("Tom & Jerry.avi") << "Tom & Jerry" << QString();
        QTest::newRow("double quotes") << QByteArray("The \"Best\".mkv") << "The \"Best\""
                                       << "The ”Best”";
        QTest::newRow("angle brackets") << QByteArray("<b> <e name=x>.mp4") << "<b> <e name=x>"
                                        << "‹b› ‹e name=x›";
        QTest::newRow("semicolon, backslash, dash")
            << QByteArray("-a;b\\c.avi") << "-a;b\\c" << QString();
        QTest::newRow("Latin-1 bytes") << QByteArray("M\xfasica.avi") << "M\uFFFDsica" << QString();
        QTest::newRow("invalid UTF-8")
            << QByteArray("\xff\xfe\x80 x.avi") << "\uFFFD\uFFFD\uFFFD x" << QString();
        QTest::newRow("truncated sequence")
            << QByteArray("a\xe6\x98.avi") << "a\uFFFD" << QString();
        QTest::newRow("control characters")
            << QByteArray("line\nfeed\t.avi") << "line□feed□" << QString();
        QTest::newRow("C1 control character")
            << QByteArray("next\xc2\x85line.avi") << "next□line" << QString();
        QTest::newRow("Japanese") << QByteArray("映画 ネコ.avi") << "映画 ネコ" << QString();
        QTest::newRow("Arabic song") << QByteArray("مرحبا.mp3") << "مرحبا" << QString();
        QTest::newRow("suffix in capitals") << QByteArray("Amélie.AVI") << "Amélie" << QString();
    }

    void everyNameIsListed()
    {
        QFETCH(QByteArray, name);
        QFETCH(QString, label);
        QFETCH(QString, inDefinition);
        QTemporaryDir dir;
        const QByteArray folder = QFile::encodeName(dir.path()) + "/f\"<older>";
        QVERIFY(mkdir(folder.constData(), 0700) == 0);
        FILE* f = fopen((folder + "/" + name).constData(), "w");
        QVERIFY(f);
        fclose(f);
        const MediaScan scan = scanMediaFolders({dir.path().toStdString()});
        const std::vector<Menu> menus = buildMenus(scan);
        MenuModel model(menus, "main", true);
        const std::vector<MenuModel::Step> way = model.wayTo((folder + "/" + name).toStdString());
        QCOMPARE(int(way.size()), 3); // main, the media folder, the folder with the quote
        const Menu& inner = menus.back();
        QCOMPARE(QString::fromStdString(inner.title), QString("f\"<older>"));
        QCOMPARE(QString::fromStdString(inner.entries.at(1).label), label);

        // MPlayer's menu definition shows look-alikes for what would break it.
        const std::string text = menuDefinition(menus);
        QVERIFY(text.find("title=\"f”‹older›\"") != std::string::npos);
        const QString shown = inDefinition.isNull() ? label : inDefinition;
        QVERIFY(text.find("name=\"" + shown.toStdString() + "\"") != std::string::npos);
        QVERIFY(text.find(dir.path().toStdString()) == std::string::npos);
        std::istringstream lines(text);
        std::string line;
        while (std::getline(lines, line)) {
            const bool whole = line.rfind("<cmdlist ", 0) == 0 || line == "</cmdlist>" ||
                               line.rfind("<filesel ", 0) == 0 ||
                               (line.rfind("  <e name=\"", 0) == 0 &&
                                std::count(line.begin(), line.end(), '"') == 4 &&
                                line.find('<', 3) == std::string::npos);
            QVERIFY2(whole, line.c_str());
        }
    }

    // Every media suffix, in any case, is listed, under its name without it; a song plays under
    // a picture once its length is known, a clip as it is.
    // A suffix is the name's own, after its last dot: not a folder's, nor a hidden file's name.
    void suffixIsTheNamesOwn()
    {
        const std::pair<const char*, MediaKind> names[] = {
            {"/v/a.avi", MediaKind::Clip},  {"A..MP3", MediaKind::Song},
            {"/v.avi/a", MediaKind::None},  {"/v/.avi", MediaKind::None},
            {".avi", MediaKind::None},      {"a.", MediaKind::None},
            {"a.avi.txt", MediaKind::None}, {"a.avi/", MediaKind::None}};
        for (const auto& [name, kind] : names)
            QVERIFY2(mediaKind(name) == kind, name);
    }

    void everySuffixIsListed_data()
    {
        QTest::addColumn<QString>("suffix");
        QTest::addColumn<bool>("song");
        const char* const clips[] = {"avi", "mp4", "m4v",  "mkv", "webm", "mov",  "mpg", "mpeg",
                                     "m2v", "ogv", "ogm",  "flv", "f4v",  "wmv",  "asf", "3gp",
                                     "3g2", "ts",  "m2ts", "mts", "vob",  "divx", "rm",  "rmvb"};
        const char* const songs[] = {"mp3",  "mp2", "m4a", "aac", "flac", "wav", "ogg", "oga",
                                     "opus", "wma", "mka", "ac3", "ape",  "wv",  "aif", "aiff"};
        for (const char* c : clips)
            QTest::newRow(c) << QString(c) << false;
        for (const char* c : songs)
            QTest::newRow(c) << QString(c) << true;
        // A suffix added to the table gets a row here.
        QCOMPARE(int(std::size(clips) + std::size(songs)), kMediaSuffixCount);
    }

    void everySuffixIsListed()
    {
        QFETCH(QString, suffix);
        QFETCH(bool, song);
        const std::string lower = "Lower." + suffix.toStdString();
        const std::string upper = "Upper." + suffix.toUpper().toStdString();
        const FolderReader read = [&](const std::string& path) {
            FolderListing l;
            l.isFolder = path == "/m";
            l.id = {1, 1};
            if (l.isFolder)
                l.entries = {{upper, false, true, {1, 2}},
                             {"notes." + suffix.toStdString() + "x", false, true, {1, 3}},
                             {lower, false, true, {1, 4}}};
            return l;
        };
        const MediaScan scan = scanMedia({"/m"}, read);
        QCOMPARE(scan.folders.size(), size_t(1));
        QCOMPARE(scan.folders[0].clips, (std::vector<std::string>{"/m/" + lower, "/m/" + upper}));
        QCOMPARE(lastMenuLabels(scan), (QStringList{"Play all", "Lower", "Upper"}));

        MPlayerFiles files("/private", "/app/song-picture", "/");
        for (const std::string& name : {lower, upper}) {
            const MPlayerFiles::Made made = files.aliasFor("/m/" + name);
            QCOMPARE(files.named(made.path).role, song ? MPlayerFiles::Probe : MPlayerFiles::Plain);
        }
    }

    // A song plays under its picture, cut at its length; a length the player gave as 0 (a FLAC
    // stream says none) cuts nothing, or the song would end before a note of it.
    void aSongIsCutAtItsLength_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QString>("options");
        QTest::newRow("known") << 61.5 << "audiofile=/private/1.mp3\nendpos=61.500\n";
        QTest::newRow("a fraction of a second")
            << 0.25 << "audiofile=/private/1.mp3\nendpos=0.250\n";
        QTest::newRow("said as 0") << 0.0 << "audiofile=/private/1.mp3\n";
    }

    void aSongIsCutAtItsLength()
    {
        QFETCH(double, seconds);
        QFETCH(QString, options);
        MPlayerFiles files("/private", "/app/song-picture", "/");
        const MPlayerFiles::Made picture = files.pictureFor("/m/a.mp3", seconds);
        QCOMPARE(picture.path, std::string("/private/1.picture.mkv"));
        QCOMPARE(QString::fromStdString(picture.texts.at(picture.path + ".conf")), options);
    }

    // A clip keeps its suffix only where another in its folder would look the same without it.
    void suffixesGoUnlessNamesWouldClash()
    {
        MediaScan scan;
        scan.folders.push_back(
            {"/v", "v", {}, {"/v/a.avi", "/v/a.mkv", "/v/b.mp3", "/v/c.d.avi"}, false});
        QCOMPARE(lastMenuLabels(scan), (QStringList{"Play all", "a.avi", "a.mkv", "b", "c.d"}));
    }

    // Labels cut to fit, at letter boundaries, with "…"; bytes that are no UTF-8 count as
    // U+FFFD, before the cut as after it.
    void cutToFit_data()
    {
        QTest::addColumn<QByteArray>("label");
        QTest::addColumn<int>("room");
        QTest::addColumn<QByteArray>("shown");
        // Every character is 10 wide, "…" too; a combining mark 5.
        QTest::newRow("fits") << QByteArray("abcde") << 50 << QByteArray("abcde");
        QTest::newRow("cut") << QByteArray("abcdefgh") << 50 << QByteArray("abcd…");
        QTest::newRow("no blank before the ellipsis")
            << QByteArray("abc defgh") << 50 << QByteArray("abc…");
        QTest::newRow("a mark stays with its letter")
            << QByteArray("abce\u0301fgh") << 50 << QByteArray("abc…");
        QTest::newRow("marks and blanks before the cut")
            << QByteArray("ab e\u0301\u0301fgh") << 50 << QByteArray("ab…");
        QTest::newRow("CJK") << QByteArray("映画映画映画") << 40 << QByteArray("映画映…");
        QTest::newRow("no room at all") << QByteArray("abc") << 5 << QByteArray("…");
        QTest::newRow("bad bytes that fit")
            << QByteArray("a\xFF\xC3") << 50 << QByteArray("a\xFF\xC3");
        QTest::newRow("bad bytes before the cut") << QByteArray("a\xE6\x98\xFF"
                                                                "defgh")
                                                  << 50 << QByteArray("a\uFFFD\uFFFDd…");
        QTest::newRow("bad bytes after the cut")
            << QByteArray("abcdefgh\xFF") << 50 << QByteArray("abcd…");
    }

    void cutToFit()
    {
        QFETCH(QByteArray, label);
        QFETCH(int, room);
        QFETCH(QByteArray, shown);
        const auto advance = [](char32_t c) { return c >= 0x300 && c < 0x370 ? 5 : 10; };
        QCOMPARE(QByteArray::fromStdString(fitted(label.toStdString(), room, advance)), shown);
    }

    void naturalOrder()
    {
        const std::vector<std::string> sorted{"b.avi",          "Episode 1.avi",
                                              "episode 2.avi",  "Episode 02b.avi",
                                              "Episode 10.avi", "Episode 10a.avi"};
        for (size_t i = 0; i < sorted.size(); ++i)
            for (size_t j = 0; j < sorted.size(); ++j)
                QVERIFY2(naturalLess(sorted[i], sorted[j]) == (i < j),
                         (sorted[i] + " / " + sorted[j]).c_str());
    }

    // The tree as the menu shows it: folders first, then clips, in natural order; empty
    // folders, link loops and folders that cannot be opened left out; the bounds kept; the
    // subtitle files beside a clip noted.
    void folderTree()
    {
        QTemporaryDir dir;
        const QString d = dir.path();
        touch(d + "/Show/Episode 10.avi");
        touch(d + "/Show/Episode 2.avi");
        touch(d + "/Show/Extras/Making of.mkv");
        touch(d + "/Show/notes.txt");
        touch(d + "/Show/Episode 2.srt");
        touch(d + "/Show/Episode 2.en.ass");
        touch(d + "/b.avi");
        touch(d + "/A folder/c.mp4");
        QDir().mkpath(d + "/Empty/Emptier");
        touch(d + "/Only text/readme.txt");
        QVERIFY(QFile::link(d, d + "/Show/loop"));          // back up the tree
        QVERIFY(QFile::link(d + "/gone", d + "/dangling")); // a folder that cannot be opened
        QDir().mkpath(d + "/Locked");
        touch(d + "/Locked/hidden.avi");
        chmod(QFile::encodeName(d + "/Locked").constData(), 0);
        const bool root = geteuid() == 0; // root opens it all the same

        const MediaScan scan = scanMediaFolders({d.toStdString()});
        QCOMPARE(int(scan.folders.size()), 1);
        const MediaFolder& top = scan.folders[0];
        QStringList folders;
        for (const MediaFolder& f : top.folders)
            folders << QString::fromStdString(f.name);
        QCOMPARE(folders, root ? QStringList({"A folder", "Locked", "Show"})
                               : QStringList({"A folder", "Show"}));
        QCOMPARE(names(top.clips), QStringList{"b.avi"});
        const MediaFolder& show = top.folders.back();
        QCOMPARE(names(show.clips), (QStringList{"Episode 2.avi", "Episode 10.avi"}));
        QCOMPARE(int(show.folders.size()), 1); // Extras; the loop is not entered again
        QCOMPARE(int(scan.subtitles.size()), 1);
        QCOMPARE(names(scan.subtitles.at(show.clips[0])),
                 (QStringList{"Episode 2.en.ass", "Episode 2.srt"}));
        QVERIFY(!top.cut && !show.cut);
        QVERIFY(readAheadAlike(d.toStdString(), scan));
        chmod(QFile::encodeName(d + "/Locked").constData(), 0700);

        const std::vector<Menu> menus = buildMenus(scan);
        const std::string text = menuDefinition(menus);
        // Play a clip opens the only media folder; Show lists Play all, Extras, its clips.
        QVERIFY(text.find("<e name=\"Play a clip\" ok=\"set_menu f1\"/>") != std::string::npos);
        const size_t showMenu = text.find("title=\"Show\"");
        QVERIFY(showMenu != std::string::npos);
        const size_t playAll = text.find("Play all", showMenu);
        const size_t extras = text.find("Extras", showMenu);
        const size_t two = text.find("name=\"Episode 2\"", showMenu);
        const size_t ten = text.find("name=\"Episode 10\"", showMenu);
        QVERIFY(playAll < extras && extras < two && two < ten);
        QVERIFY(text.find(d.toStdString() + "/") == std::string::npos);
    }

    void boundsCutTheListWithAnEllipsis()
    {
        QTemporaryDir dir;
        const QString d = dir.path();
        for (int i = 0; i < kMaxEntries + 10; ++i)
            touch(QString("%1/many/clip %2.avi").arg(d).arg(i));
        QString deep = d + "/deep";
        for (int level = 0; level <= kMaxDepth + 2; ++level)
            deep += QString("/level %1").arg(level);
        touch(deep + "/bottom.avi");
        touch(d + "/deep/top.avi");

        const MediaScan scan = scanMediaFolders({d.toStdString()});
        const MediaFolder& top = scan.folders.at(0);
        const MediaFolder& deepest = top.folders.at(0); // "deep" before "many"
        const MediaFolder& many = top.folders.at(1);
        QCOMPARE(int(many.clips.size()), kMaxEntries);
        QVERIFY(many.cut);
        QCOMPARE(QFileInfo(QString::fromStdString(many.clips.back())).fileName(),
                 QString("clip %1.avi").arg(kMaxEntries - 1));
        // Below the depth bound nothing is listed, and the folder says it was cut.
        const MediaFolder* f = &deepest;
        int depth = 1;
        while (!f->folders.empty()) {
            f = &f->folders.front();
            ++depth;
        }
        QVERIFY(depth <= kMaxDepth + 1);
        QVERIFY(f->cut);
        QVERIFY(readAheadAlike(d.toStdString(), scan));
        const std::string text = menuDefinition(buildMenus(scan));
        QVERIFY(text.find("<e name=\"...\" ok=\"\"/>") != std::string::npos);
    }

    // Whether each step changed the store (when not, its file is not written again), and where
    // clip "/a" starts after and with which tracks, as kept and as read back. Steps: "CLIP
    // POSITION LENGTH" the clip left there, "CLIP chose AUDIO SUBTITLE", "CLIP finished", "CLIP
    // start" (from the start); changes: one letter a step, y changed, n not. A clip is kept from
    // 10 s in to more than 10 s before its end; the tracks chosen stay when its position goes.
    void resumeStoreSteps_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("changes");
        QTest::addColumn<double>("startAt");
        QTest::addColumn<QString>("tracks");
        const QString none = "-2 -2";
        QTest::newRow("kept") << QStringList{"/a 30 100"} << "y" << 30.0 << none;
        QTest::newRow("10 s in, kept") << QStringList{"/a 10 100"} << "y" << 10.0 << none;
        QTest::newRow("not 10 s in") << QStringList{"/a 9.9 100"} << "n" << 0.0 << none;
        QTest::newRow("more than 10 s before the end, kept")
            << QStringList{"/a 89.9 100"} << "y" << 89.9 << none;
        QTest::newRow("10 s before the end") << QStringList{"/a 90 100"} << "n" << 0.0 << none;
        QTest::newRow("a name with a line feed")
            << QStringList{"/a\nb 30 100"} << "n" << 0.0 << none;
        QTest::newRow("kept, then too near the start: forgotten")
            << QStringList{"/a 30 100", "/a 5 100", "/a 5 100"} << "yyn" << 0.0 << none;
        QTest::newRow("left again where it was")
            << QStringList{"/a 30 100", "/a 30 100"} << "yn" << 30.0 << none;
        QTest::newRow("left again elsewhere")
            << QStringList{"/a 30 100", "/a 31 100", "/a 31 120"} << "yyy" << 31.0 << none;
        QTest::newRow("left where it was, another left since: the order changed")
            << QStringList{"/a 30 100", "/b 30 100", "/a 30 100"} << "yyy" << 30.0 << none;
        QTest::newRow("tracks chosen, kept with the position")
            << QStringList{"/a chose 2 -1", "/a 30 100"} << "yy" << 30.0 << "2 -1";
        QTest::newRow("the tracks stay once it is finished")
            << QStringList{"/a 30 100", "/a chose 2 -1", "/a finished"} << "yyy" << 0.0 << "2 -1";
        QTest::newRow("... once it is left too near the start")
            << QStringList{"/a chose 2 3", "/a 30 100", "/a 5 100", "/a 5 100"} << "yyyn" << 0.0
            << "2 3";
        QTest::newRow("... once it starts from the start")
            << QStringList{"/a 30 100", "/a chose 1 -1", "/a start", "/a start"} << "yyyn" << 0.0
            << "1 -1";
        QTest::newRow("nothing chosen: from the start, it goes")
            << QStringList{"/a 30 100", "/a start", "/a start"} << "yyn" << 0.0 << none;
        QTest::newRow("keep (-2) keeps what was chosen")
            << QStringList{"/a chose 2 -1", "/a chose -2 4", "/a chose 2 -2"} << "yyn" << 0.0
            << "2 4";
        QTest::newRow("nothing chosen") << QStringList{"/a chose -2 -2"} << "n" << 0.0 << none;
    }
    void resumeStoreSteps()
    {
        QFETCH(QStringList, steps);
        QFETCH(QString, changes);
        QFETCH(double, startAt);
        QFETCH(QString, tracks);
        ResumeStore store;
        QString got;
        for (const QString& s : steps) {
            const QStringList w = s.split(' ');
            const std::string clip = w[0].toStdString();
            got += (w[1] == "chose"      ? store.chose(clip, {w[2].toInt(), w[3].toInt()})
                    : w[1] == "finished" ? store.finished(clip)
                    : w[1] == "start"    ? store.forgetPosition(clip)
                                         : store.left(clip, w[1].toDouble(), w[2].toDouble()))
                       ? 'y'
                       : 'n';
        }
        QCOMPARE(got, changes);
        ResumeStore again;
        QVERIFY(again.load(store.text()));
        for (const ResumeStore* kept : {&store, &again}) {
            const TrackChoice c = kept->tracksFor("/a");
            QCOMPARE(kept->startAt("/a"), startAt);
            QCOMPARE(QString("%1 %2").arg(c.audio).arg(c.subtitle), tracks);
        }
    }

    // The store read back from its text; a clip played to its end forgotten; the oldest going;
    // the file's versions.
    void resumeStore()
    {
        ResumeStore store;
        store.left("/v/a.avi", 30, 100);
        store.left("/v/b.avi", 50, 100);
        store.left("/v/b.avi", 60, 100);

        ResumeStore again;
        QVERIFY(again.load(store.text()));
        QCOMPARE(again.startAt("/v/a.avi"), 30.0);
        QCOMPARE(again.startAt("/v/b.avi"), 60.0);
        QVERIFY(again.finished("/v/a.avi"));
        QVERIFY(!again.finished("/v/a.avi")); // nothing left to forget: nothing to save
        QCOMPARE(again.startAt("/v/a.avi"), 0.0);
        for (int i = 0; i < kMaxClips; ++i)
            again.left("/v/" + std::to_string(i) + ".avi", 20, 100);
        QCOMPARE(again.startAt("/v/b.avi"), 0.0); // the oldest went
        QCOMPARE(again.startAt("/v/0.avi"), 20.0);

        // Version 1 is read; version 2, with the tracks chosen, written.
        QVERIFY(again.load("tamblin positions 1\n30.000 100.000 /v/a b.avi\n"));
        QCOMPARE(again.startAt("/v/a b.avi"), 30.0);
        QVERIFY(again.chose("/v/a b.avi", {3, -1}));
        QVERIFY(again.text().rfind("tamblin positions 2\n", 0) == 0);

        // Text that is not ours is refused whole, and written anew at the first chance.
        for (const char* bad : {"garbage\n", "tamblin positions 1\n12 x /v/a.avi\n",
                                "tamblin positions 1\n50 20 /v/a.avi\n",
                                "tamblin positions 1\n30 100 1 -1 /v/a.avi\n",
                                "tamblin positions 2\n30 100 /v/a.avi\n",
                                "tamblin positions 2\n30 100 x -1 /v/a.avi\n",
                                "tamblin positions 2\n30 100 1 -3 /v/a.avi\n"}) {
            ResumeStore s;
            QVERIFY(!s.load(bad));
            QCOMPARE(s.startAt("/v/a.avi"), 0.0);
            QVERIFY(s.left("/v/a.avi", 5, 100));
            QVERIFY(!s.left("/v/a.avi", 5, 100));
        }
    }

    // Rows "TRACK: NAME", the track as tracksOf() gives it, each third in its list: the
    // language's code in its forms; a title that says the language is said once; "und" is no
    // language; a language the table lacks is given by its code; a file's by its name.
    void trackLabels()
    {
        for (const QString row :
             {"1 fre: Français", "1 fra: Français", "1 fr_FR.UTF-8: Français", "1 FR-ca: Français",
              "1 eng commentary: English (commentary)", "1 jpn: 日本語", "1 nob: Norsk",
              "1 ger Deutsch: Deutsch", "1 - Director's cut: Director's cut", "1 und: Track 3",
              "1 tlh: tlh", "1 @/v/My.Film.pt-BR.SRT: Português", "1 @/v/Film.srt: Track 3"}) {
            const QString track = row.section(": ", 0, 0);
            QCOMPARE(track + ": " + trackLabel(tracksOf(track).at(0), 3).c_str(), row);
        }
    }

    // The tracks a clip starts with for the viewer's languages; sound track 2 plays at first.
    // Rows: sound tracks and subtitles as tracksOf() gives them, the languages, the choice
    // ("-": kKeep, "off": kOff).
    void tracksForLanguages()
    {
        const QString enFr = "1 eng, 2 fre", subs = "3 ger, 4 fre, 5 eng";
        const QString rows[][4] = {
            {enFr, subs, "fra,EN", "2 off"},        // sound in the first: no subtitles
            {"1 eng, 2 ita", subs, "fr,en", "1 4"}, // in the second: subtitles in the first
            {"1 eng", "3 eng", "fr,en", "1 3"},     // ... else in the next that has them
            {"1 ita", subs, "de,en", "- 3"},        // in none: the file's, subtitles likewise
            {enFr, subs, "ja", "- off"},
            {enFr, subs, "", "- off"},
            {"1 -, 2 -", "3 -", "en", "- off"},               // no language in the file
            {"1 eng commentary, 2 eng", subs, "en", "2 off"}, // of two, the one playing
            {"1 eng, 3 eng", subs, "en", "1 off"},            // ... else the first
            {"1 eng", "3 @/v/F.srt, 4 @/v/F.fr.srt", "fr", "- 4"}};
        const auto id = [](int i) {
            return i == TrackChoice::kKeep  ? QString("-")
                   : i == TrackChoice::kOff ? QString("off")
                                            : QString::number(i);
        };
        for (const auto& [audio, subtitles, languages, choice] : rows) {
            const TrackChoice c = chooseByLanguage(
                {tracksOf(audio), tracksOf(subtitles), {}, 2, -1}, strings(languages));
            QCOMPARE(languages + ": " + id(c.audio) + " " + id(c.subtitle),
                     languages + ": " + choice);
        }
    }

    void clockTimes()
    {
        const std::pair<double, const char*> times[] = {
            {7, "0:07"},       {754.9, "12:34"},    {599.9996, "10:00"}, {3599, "59:59"},
            {3723, "1:02:03"}, {36000, "10:00:00"}, {-5, "0:00"},        {NAN, "0:00"}};
        for (const auto& [seconds, shown] : times)
            QCOMPARE(clockTime(seconds), std::string(shown));
    }

    // The subtitle files among a folder's names that belong to the clip: each suffix in any
    // case; with languages; a clip with dots in its name; not other clips' subtitles, nor a
    // name after the clip's that is no language. Each is a subtitle file to the scan, which
    // matches clips only in folders that hold one.
    void sidecarSubtitleNames()
    {
        const char* const rows[][3] = {
            {"/v/Film.mkv", "Film.mkv,Film.srt,Film.SSA,Film.Ass,Film.sub,Film.idx,Film.srt.bak",
             "Film.Ass,Film.srt,Film.SSA,Film.sub"},
            {"Film.mkv", "Film.fre.srt,Film.pt-BR.srt,Film.fr.ass",
             "Film.fr.ass,Film.fre.srt,Film.pt-BR.srt"},
            {"/v/Mr. Smith 2.0.avi", "Mr. Smith 2.srt,Mr. Smith 2.0.srt,Mr. Smith 2.0.en.srt",
             "Mr. Smith 2.0.en.srt,Mr. Smith 2.0.srt"},
            {"/v/Film.avi",
             "Film.avi,Film.Cut.avi,Film.Cut.srt,Film 2.srt,Films.srt,film.srt,Film.en.avi,"
             "Film.en.srt,Film.en.forced.srt,Film.forced.srt",
             ""}};
        for (const auto& [clip, names, subtitles] : rows) {
            const std::vector<std::string> found = sidecarSubtitles(clip, strings(names));
            QCOMPARE(joined(found), QString(subtitles));
            for (const std::string& name : found)
                QVERIFY2(isSubtitleFile(name), name.c_str());
        }
    }

    // TAMBLIN_LANGUAGES (trimmed, empty parts dropped), else the locale's; the variables not
    // in a row are unset.
    void viewerLanguageList()
    {
        const char* const rows[][2] = {
            {"TAMBLIN_LANGUAGES= fr, ,en-GB,,fre;LANG=de_DE.UTF-8", "fr,en"},
            {"TAMBLIN_LANGUAGES=,;LANG=XX_YY.UTF-8", "xx"},
            {"LANGUAGE=pt_BR:pt:en;LC_ALL=de_DE.UTF-8", "pt,en"},
            {"LC_ALL=sv_SE.UTF-8;LC_MESSAGES=fi_FI;LANG=da_DK", "sv"},
            {"LC_MESSAGES=fi_FI;LANG=da_DK", "fi"},
            {"LC_ALL=C;LC_MESSAGES=C.UTF-8;LANG=POSIX", ""}};
        std::map<QByteArray, QByteArray> saved; // unset and empty are alike here
        for (const char* n : {"TAMBLIN_LANGUAGES", "LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"})
            saved[n] = qgetenv(n);
        for (const auto& [environment, languages] : rows) {
            for (const auto& variable : saved)
                qunsetenv(variable.first);
            for (const QString& e : QString(environment).split(';'))
                qputenv(e.section('=', 0, 0).toLatin1(), e.section('=', 1).toUtf8());
            QCOMPARE(QString(environment) + ": " + joined(viewerLanguages()),
                     QString(environment) + ": " + languages);
        }
        for (const auto& [name, value] : saved)
            qputenv(name, value);
    }

    // The speech service's language from the locale's variables, first set first.
    void speechLanguages_data()
    {
        QTest::addColumn<QStringList>("variables"); // LANGUAGE, LC_ALL, LC_MESSAGES, LANG
        QTest::addColumn<QString>("language");
        QTest::newRow("a locale's language") << QStringList{"", "", "", "fr_FR.UTF-8"} << "fr";
        QTest::newRow("LANGUAGE first, the first it lists")
            << QStringList{"de:en", "", "", "fr_FR.UTF-8"} << "de";
        QTest::newRow("LC_ALL before LC_MESSAGES") << QStringList{"", "ja_JP", "es_ES", ""} << "ja";
        QTest::newRow("a modifier") << QStringList{"", "", "sr@latin", ""} << "sr";
        QTest::newRow("C: none") << QStringList{"", "", "", "C.UTF-8"} << "";
        QTest::newRow("POSIX: none") << QStringList{"", "POSIX", "", "fr_FR"} << "";
        QTest::newRow("nothing set") << QStringList{"", "", "", ""} << "";
    }
    void speechLanguages()
    {
        QFETCH(QStringList, variables);
        QFETCH(QString, language);
        QByteArrayList v;
        for (const QString& s : variables)
            v << s.toUtf8();
        QCOMPARE(QString::fromStdString(speechLanguage(v[0], v[1], v[2], v[3])), language);
    }

    // Speech as the run starts: the environment, else the viewer's last choice, kept beside the
    // positions.
    void speechAtTheStart_data()
    {
        QTest::addColumn<QString>("environment"); // "-": unset
        QTest::addColumn<QString>("kept");        // "-": no file
        QTest::addColumn<bool>("on");
        QTest::newRow("TAMBLIN_SPEECH=1") << "1"
                                          << "-" << true;
        QTest::newRow("TAMBLIN_SPEECH=0 over a choice of on") << "0"
                                                              << "on\n"
                                                              << false;
        QTest::newRow("TAMBLIN_SPEECH=1 over a choice of off") << "1"
                                                               << "off\n"
                                                               << true;
        QTest::newRow("the choice: on") << "-"
                                        << "on\n"
                                        << true;
        QTest::newRow("the choice: off") << "-"
                                         << "off\n"
                                         << false;
        QTest::newRow("no choice yet") << "-"
                                       << "-" << false;
    }
    void speechAtTheStart()
    {
        QFETCH(QString, environment);
        QFETCH(QString, kept);
        QFETCH(bool, on);
        QTemporaryDir dir;
        const std::string file = speechFile(dir.path().toStdString() + "/tamblin/positions");
        QCOMPARE(QString::fromStdString(file), dir.path() + "/tamblin/speech");
        std::string why;
        if (kept != "-")
            QVERIFY(writePositions(file, kept.toStdString(), &why));
        const QByteArray env = environment.toUtf8();
        QCOMPARE(speechWanted(environment == "-" ? nullptr : env.constData(), file), on);
        QCOMPARE(speechFile(""), std::string());
    }

    // The positions file is replaced whole, never written in place: a write that fails leaves
    // the old file as it was, and nothing but the file is left in its folder.
    void positionsFileIsReplacedWhole()
    {
        QCOMPARE(positionsFile("/s", "/h"), std::string("/s/tamblin/positions"));
        QCOMPARE(positionsFile(nullptr, "/h"), std::string("/h/.local/state/tamblin/positions"));
        QCOMPARE(positionsFile("relative", "/h"), std::string("/h/.local/state/tamblin/positions"));

        QTemporaryDir dir;
        const std::string file = dir.path().toStdString() + "/state/tamblin/positions";
        std::string why, text;
        QVERIFY(!readPositions(file, &text, &why));
        QVERIFY(why.find("No such file") != std::string::npos);
        QVERIFY(writePositions(file, "first\n", &why));
        struct stat before;
        QCOMPARE(stat(file.c_str(), &before), 0);
        QVERIFY(writePositions(file, "second\n", &why));
        struct stat after;
        QCOMPARE(stat(file.c_str(), &after), 0);
        QVERIFY(after.st_ino != before.st_ino);
        QVERIFY(readPositions(file, &text, &why));
        QCOMPARE(text, std::string("second\n"));
        QCOMPARE(QDir(dir.path() + "/state/tamblin").entryList(QDir::Files),
                 QStringList{"positions"});
        QCOMPARE(QFileInfo(dir.path() + "/state/tamblin").permissions() &
                     (QFile::ReadGroup | QFile::ReadOther),
                 QFile::Permissions());

        // The temporary file cannot be made: the old file stays.
        const QString blocker = QString::fromStdString(file) + ".tmp" + QString::number(getpid());
        QVERIFY(QDir().mkpath(blocker));
        QVERIFY(!writePositions(file, "third\n", &why));
        QVERIFY(readPositions(file, &text, &why));
        QCOMPARE(text, std::string("second\n"));
    }

    // Events: "chose A B" (gives the files handed to the player), "start A" (gives what goes
    // after it, "still" or "menu", the clip that played to its end and the one the menu comes
    // back on), "fail A".
    void clipFlow_data()
    {
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<QStringList>("results");
        QTest::newRow("the background loops, still only at first")
            << QStringList{"start /bg.avi", "start /bg.avi"}
            << QStringList{"/bg.avi | still |  | ", "/bg.avi |  |  | "};
        QTest::newRow("a chosen clip, then the menu again on it")
            << QStringList{"start /bg.avi", "chose /v/a.avi", "start /v/a.avi", "start /bg.avi"}
            << QStringList{"/bg.avi | still |  | ", "/v/a.avi /bg.avi", " | menu |  | ",
                           "/bg.avi | still | /v/a.avi | /v/a.avi"};
        QTest::newRow("play all") << QStringList{"start /bg.avi", "chose /v/a.avi /v/b.avi",
                                                 "start /v/a.avi", "start /v/b.avi",
                                                 "start /bg.avi"}
                                  << QStringList{"/bg.avi | still |  | ",
                                                 "/v/a.avi /v/b.avi /bg.avi", " | menu |  | ",
                                                 " |  | /v/a.avi | ",
                                                 "/bg.avi | still | /v/b.avi | /v/b.avi"};
        QTest::newRow("a clip left earlier resumes")
            << QStringList{"start /bg.avi", "chose /v/resume.avi"}
            << QStringList{"/bg.avi | still |  | ", "/v/resume.avi@42 /bg.avi"};
        QTest::newRow("a clip that cannot be played: back on it, not finished")
            << QStringList{"start /bg.avi", "chose /v/a.avi", "start /v/a.avi", "fail /v/a.avi",
                           "start /bg.avi"}
            << QStringList{"/bg.avi | still |  | ", "/v/a.avi /bg.avi", " | menu |  | ",
                           "/bg.avi | still |  | /v/a.avi | unplayable"};
        QTest::newRow("play all passes over one, also the first")
            << QStringList{"start /bg.avi",  "chose /v/a.avi /v/b.avi /v/c.avi",
                           "fail /v/a.avi",  "start /v/b.avi",
                           "start /v/c.avi", "fail /v/c.avi",
                           "start /bg.avi"}
            << QStringList{"/bg.avi | still |  | ", "/v/a.avi /v/b.avi /v/c.avi /bg.avi",
                           " | menu |  | ", " |  | /v/b.avi | ", "/bg.avi | still |  | /v/c.avi"};
        QTest::newRow("play all whose only playable clip ends, then a chosen clip")
            << QStringList{"start /bg.avi",  "chose /v/a.avi /v/b.avi", "start /v/a.avi",
                           "fail /v/b.avi",  "start /bg.avi",           "chose /v/b.avi",
                           "start /v/b.avi", "fail /v/b.avi",           "start /bg.avi"}
            << QStringList{"/bg.avi | still |  | ",
                           "/v/a.avi /v/b.avi /bg.avi",
                           " | menu |  | ",
                           "/bg.avi | still |  | /v/b.avi",
                           "/v/b.avi /bg.avi",
                           " | menu |  | ",
                           "/bg.avi | still |  | /v/b.avi | unplayable"};
        QTest::newRow("the media argument: nothing follows it")
            << QStringList{"start /v/a.avi"} << QStringList{" |  |  | "};
    }

    void clipFlow()
    {
        QFETCH(QStringList, events);
        QFETCH(QStringList, results);
        ResumeStore store;
        store.left("/v/resume.avi", 42, 100);
        const bool startMenu = events.first() == "start /bg.avi";
        ClipFlow flow(startMenu ? "/bg.avi" : "", &store);
        const auto items = [](const std::vector<PlayItem>& list) {
            QStringList words;
            for (const PlayItem& i : list)
                words << QString::fromStdString(i.path) +
                             (i.startAt > 0 ? "@" + QString::number(i.startAt) : QString());
            return words.join(' ');
        };
        QStringList got;
        for (const QString& e : events) {
            const QStringList words = e.split(' ');
            if (words[0] == "chose") {
                std::vector<std::string> files;
                for (const QString& w : words.mid(1))
                    files.push_back(w.toStdString());
                got << items(flow.chosen(files));
            } else if (words[0] == "fail") {
                flow.failed(words[1].toStdString());
            } else {
                const ClipFlow::Start s = flow.started(words[1].toStdString());
                got << items(s.append) + " | " +
                           (s.stillPicture ? "still"
                            : s.fromMenu   ? "menu"
                                           : "") +
                           " | " + QString::fromStdString(s.finished) + " | " +
                           QString::fromStdString(s.ended) + (s.unplayable ? " | unplayable" : "");
            }
        }
        QCOMPARE(got, results);
    }

    void mediaFolders()
    {
        QCOMPARE(mediaDirectories("/a::/b", "/app/"), (std::vector<std::string>{"/a", "/b"}));
        const std::vector<std::string> byDefault = mediaDirectories(nullptr, "/app/");
        QCOMPARE(byDefault.back(), std::string("/app/"));
    }

    // The sticks in the mount table below the removable roots (TAMBLIN_REMOVABLE as given; a
    // null string: unset, for the user "ann"), each "label @ mount point" in the menu's order.
    void removableMounts_data()
    {
        QTest::addColumn<QString>("removable");
        QTest::addColumn<QString>("mountinfo");
        QTest::addColumn<QStringList>("sticks");
        const QString system = mountLine(1, "/", "/", "/dev/sda1") +
                               mountLine(2, "/proc", "/", "proc") + mountLine(3, "/mnt/usb");
        QTest::newRow("blanks, a tab and a backslash escaped")
            << "/media" << system + mountLine(40, "/media/ann/My\\040Films\\011and\\134more")
            << QStringList{"My Films\tand\\more @ /media/ann/My Films\tand\\more"};
        QTest::newRow("a bind mount: the point counts, not the root in its file system")
            << "/media"
            << system + mountLine(40, "/media/ann/STICK") +
                   mountLine(41, "/media/ann/films", "/media/ann/decoy")
            << QStringList{"films @ /media/ann/films", "STICK @ /media/ann/STICK"};
        QTest::newRow("a mount over a mount is one")
            << "/media"
            << system + mountLine(40, "/media/ann/STICK") +
                   mountLine(41, "/media/ann/STICK", "/", "/dev/sdc1")
            << QStringList{"STICK @ /media/ann/STICK"};
        QTest::newRow("a mount inside a stick is part of it")
            << "/media"
            << system + mountLine(40, "/media/ann/STICK/inner") + mountLine(41, "/media/ann/STICK")
            << QStringList{"STICK @ /media/ann/STICK"};
        QTest::newRow("names in any script, in natural order")
            << "/media"
            << system + mountLine(40, "/media/ann/映画") + mountLine(41, "/media/ann/Stick 10") +
                   mountLine(42, "/media/ann/Ελληνικά") + mountLine(43, "/media/bob/stick 2")
            << QStringList{"stick 2 @ /media/bob/stick 2", "Stick 10 @ /media/ann/Stick 10",
                           "Ελληνικά @ /media/ann/Ελληνικά", "映画 @ /media/ann/映画"};
        QTest::newRow("mounts outside the roots, and a root mounted itself, are no sticks")
            << "/media"
            << system + mountLine(40, "/media", "/", "tmpfs") + mountLine(41, "/media2/x") +
                   mountLine(42, "/medi") + mountLine(43, "/media/ann/S")
            << QStringList{"S @ /media/ann/S"};
        QTest::newRow("a root with a trailing slash")
            << "/media/ann/"
            << system + mountLine(40, "/media/ann/S") + mountLine(41, "/media/bob/T")
            << QStringList{"S @ /media/ann/S"};
        QTest::newRow("malformed lines are skipped")
            << "/media"
            << QString("\ngarbage\n36 35 98:0 / /media/ann/cut rw,noatime\n") +
                   "37 35 98:0 / /media/ann/nodash rw master:1 vfat /dev/sdb1 rw\n" +
                   "38 35 98:0 / /media/ann/short rw - vfat\n" + mountLine(39, "relative/point") +
                   mountLine(40, "/media/ann/odd\\04") + mountLine(41, "/media/ann/end\\") +
                   "42 35 98:0 / /media/ann/last rw - vfat"
            << QStringList{"end\\ @ /media/ann/end\\", "odd\\04 @ /media/ann/odd\\04"};
        QTest::newRow("unset: /media and the user's /run/media")
            << QString()
            << system + mountLine(40, "/run/media/ann/A") + mountLine(41, "/run/media/bob/B") +
                   mountLine(42, "/media/C")
            << QStringList{"A @ /run/media/ann/A", "C @ /media/C"};
        QTest::newRow("a list with an empty part")
            << "/a::/b"
            << system + mountLine(40, "/a/s") + mountLine(41, "/b/t") + mountLine(42, "/media/u")
            << QStringList{"s @ /a/s", "t @ /b/t"};
        QTest::newRow("set but empty: no roots at all")
            << "" << system + mountLine(40, "/media/ann/S") << QStringList();
    }

    void removableMounts()
    {
        QFETCH(QString, removable);
        QFETCH(QString, mountinfo);
        QFETCH(QStringList, sticks);
        const QByteArray env = removable.toUtf8();
        const std::vector<std::string> roots =
            removableRoots(removable.isNull() ? nullptr : env.constData(), "ann");
        QStringList got;
        for (const Mount& m : ::removableMounts(mountinfo.toStdString(), roots))
            got << QString::fromStdString(m.label + " @ " + m.mountPoint);
        QCOMPARE(got, sticks);
    }

    // Folders asked of the read-ahead, in the scan's order or out of it, again, or not there,
    // come as read in turn, each with the stamp of its path as it stands.
    void readAheadServesFoldersAsTheyAre()
    {
        QTemporaryDir dir;
        const std::string d = dir.path().toStdString();
        std::vector<std::string> asked{d};
        for (int i = 1; i <= 40; ++i) {
            const std::string s = d + "/s" + std::to_string(i);
            touch(QString::fromStdString(s + "/t/clip.mkv"));
            asked.insert(asked.end(), {s, s + "/t"});
        }
        QVERIFY(QFile::link(dir.path(), dir.path() + "/s1/loop"));
        asked.insert(asked.end(), {d + "/s40", d + "/s7/t", d + "/s1/loop", d + "/gone"});
        const auto described = [](const FolderListing& l) {
            std::string text = std::to_string(l.isFolder) + std::to_string(l.id.second);
            for (const FolderEntry& e : l.entries)
                text += " " + e.name + std::to_string(e.isFolder) + std::to_string(e.isFile);
            return text;
        };
        FolderReadAhead ahead;
        for (const std::string& path : asked) {
            PathStamp stamp;
            const FolderListing listing = ahead.read(path, &stamp);
            QCOMPARE(described(listing), described(readFolder(path)));
            QVERIFY2(stamp == stampOf(path), path.c_str());
        }
    }

    // The sticks' scans, off the loop: each done one wakes the loop's descriptor and is
    // collected once; a stick forgotten while queued or under way never comes back.
    void stickScans()
    {
        QTemporaryDir dir;
        const QString a = dir.filePath("A"), b = dir.filePath("B"), c = dir.filePath("C");
        touch(a + "/films/one.mkv");
        touch(a + "/two.avi");
        touch(b + "/three.avi");
        touch(c + "/four.avi");
        StickScanner scanner;
        QVERIFY(scanner.fd() >= 0);
        scanner.scan(a.toStdString());
        scanner.scan(b.toStdString());
        scanner.forget(b.toStdString());
        scanner.scan(c.toStdString());
        std::vector<std::pair<std::string, MediaScan>> got;
        pollfd ready{scanner.fd(), POLLIN, 0};
        while (got.size() < 2 && poll(&ready, 1, 10000) == 1)
            for (auto& d : scanner.done())
                got.push_back(std::move(d));
        QCOMPARE(got.size(), size_t(2));
        QCOMPARE(QString::fromStdString(got[0].first), a);
        QCOMPARE(QString::fromStdString(got[1].first), c);
        const MediaFolder& stick = got[0].second.folders.at(0);
        QCOMPARE(names(stick.clips), QStringList{"two.avi"});
        QCOMPARE(names(stick.folders.at(0).clips), QStringList{"one.mkv"});
        // Each is collected once (a wake may come after its scan was taken: it finds nothing).
        QVERIFY(scanner.done().empty());

        // Gone with scans still queued: the worker ends without finishing them.
        StickScanner leaving;
        for (int i = 0; i < 100; ++i)
            leaving.scan((a + QString::number(i)).toStdString());
    }

    // Where no thread can be made, the adapter goes on without: the read-ahead reads each folder
    // itself, sticks go unread and Sleep is refused. In a child with no task left to it.
    void withoutThreads()
    {
        QTemporaryDir dir;
        touch(dir.filePath("s/clip.mkv"));
        QVERIFY(chmod(QFile::encodeName(dir.path()).constData(), 0755) == 0);
        const std::string d = dir.path().toStdString();
        const pid_t child = fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            const rlimit none{0, 0};
            if (setgid(65534) != 0 || setuid(65534) != 0 || setrlimit(RLIMIT_NPROC, &none) != 0 ||
                threadOrNone([] {}).joinable())
                _exit(2); // the limit does not hold here
            FolderReadAhead ahead;
            PathStamp stamp;
            const bool read = ahead.read(d, &stamp).entries.size() == 1 && stamp == stampOf(d) &&
                              ahead.read(d + "/s", &stamp).entries.size() == 1;
            LogindRequest sleep;
            _exit(read && StickScanner().fd() < 0 && !sleep.start("Suspend") ? 0 : 1);
        }
        int status = 0;
        QCOMPARE(waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status));
        if (WEXITSTATUS(status) == 2)
            QSKIP("no limit on a user's tasks here");
        QCOMPARE(WEXITSTATUS(status), 0);
    }

    // The window's line, its id and size in, the real player's options out; the picture is
    // framed to the window when its size is known.
    void playerArgumentsFromTheWindowsLine_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("wid");
        QTest::addColumn<QString>("size");
        QTest::addColumn<bool>("startMenu");
        QTest::addColumn<QString>("filters");
        QTest::addColumn<QStringList>("tail");

        const QStringList window{"-slave", "-input", "file=/run/pipe",
                                 "-quiet", "-nortc", "-nocache"};
        QTest::newRow("start menu, in a window")
            << window + QStringList{"-menu-startup", "/app/background.avi"} << "4194310"
            << "" << true << "format=bgr32"
            << QStringList{"-wid",   "4194310", "-zoom",    "-fs",           "-slave",
                           "-quiet", "-nortc",  "-nocache", "-menu-startup", "/app/background.avi"};
        QTest::newRow("media, no window")
            << window + QStringList{"-ao", "null", "/v/clip.avi"} << ""
            << "" << false << "format=bgr32"
            << QStringList{"-slave", "-quiet", "-nortc", "-nocache", "-ao", "null", "/v/clip.avi"};
        QTest::newRow("a window id that is not a number is not passed")
            << window + QStringList{"x.avi"} << "12; rm"
            << "" << false << "format=bgr32"
            << QStringList{"-slave", "-quiet", "-nortc", "-nocache", "x.avi"};
        QTest::newRow("the picture framed to a window of known size")
            << window + QStringList{"x.avi"} << "7"
            << "800x480" << false
            << "dsize=800:480:0,scale=0:0,format=yv12,expand=800:484,"
               "crop=800:480:0:2,scale=800:480,format=bgr32"
            << QStringList{"-dr",    "-wid",   "7",        "-fs",  "-slave",
                           "-quiet", "-nortc", "-nocache", "x.avi"};
    }

    void playerArgumentsFromTheWindowsLine()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, wid);
        QFETCH(QString, size);
        QFETCH(bool, startMenu);
        QFETCH(QString, filters);
        QFETCH(QStringList, tail);
        std::vector<std::string> in;
        for (const QString& a : args)
            in.push_back(a.toStdString());
        const QByteArray w = wid.toLatin1();
        const PlayerArguments out =
            playerArguments(in, "/tmp/m.conf", w.isEmpty() ? nullptr : w.constData(),
                            parseWindowSize(size.toLatin1().constData()), {}, "/tmp/list");
        QCOMPARE(out.fifo, std::string("/run/pipe"));
        QCOMPARE(out.startMenu, startMenu);
        QStringList got;
        for (const std::string& o : out.options)
            got << QString::fromStdString(o);
        const QStringList head{"-vo",           "x11",         "-vf",
                               filters,         "-input",      "nodefault-bindings:conf=/dev/null",
                               "-nomouseinput", "-nolirc",     "-use-filedir-conf",
                               "-identify",     "-noautosub",  "-menu",
                               "-menu-cfg",     "/tmp/m.conf", "-menu-chroot",
                               "/tmp/list"};
        QCOMPARE(got, head + tail);
    }

    // A player started before the window: the window's line read (or none), what follows from
    // the window left to an option file, and that file's text reaching each of MPlayer's two
    // opens, the one waiting in the FIFO and the one after.
    void playerStartedBeforeTheWindow()
    {
        const auto told = [](const char* text, bool end) {
            int ends[2];
            if (pipe(ends) != 0)
                return WindowInfo{};
            if (write(ends[1], text, strlen(text)) < 0 || end)
                close(ends[1]);
            const WindowInfo info = waitForWindow(ends[0], 50);
            if (!end)
                close(ends[1]);
            return info;
        };
        QCOMPARE(told("4194310 800x480\n", true).wid, std::string("4194310"));
        QCOMPARE(told("4194310 800x480\n", false).size.height, 480);
        for (const char* none : {"", "4194310 800x480", "4194310\n", "12; rm 800x480\n",
                                 "4194310 0x480\n", "4194310  800x480\n"})
            QVERIFY2(told(none, true).wid.empty() && !told(none, true).size.valid(), none);
        QVERIFY(told("4194310 800", false).wid.empty()); // silent past the wait

        const PlayerArguments before =
            playerArgumentsBeforeWindow({"-slave", "x.avi"}, "/m.conf", "/w.conf", "/list");
        const std::vector<std::string> head{"-vo", "x11", "-include", "/w.conf", "-input"};
        QVERIFY(std::equal(head.begin(), head.end(), before.options.begin()));
        QCOMPARE(before.options.back(), std::string("x.avi"));
        QVERIFY(std::find(before.options.begin(), before.options.end(), "-wid") ==
                before.options.end());
        QCOMPARE(
            mplayerWindowFile("7", parseWindowSize("800x480"), {"-font", "DejaVu Sans"}),
            std::string(
                "vf=\"dsize=800:480:0,scale=0:0,format=yv12,expand=800:484,crop=800:480:0:2,"
                "scale=800:480,format=bgr32\"\nfont=\"DejaVu Sans\"\ndr=yes\nwid=\"7\"\nfs=yes\n"));
        QCOMPARE(mpvWindowFile("7"), std::string("wid=7\n"));
        QCOMPARE(mpvWindowFile(""), std::string());

        QTemporaryDir dir;
        const std::string path = dir.filePath("window.conf").toStdString();
        OptionFile file;
        QVERIFY(file.create(path));
        const int waiting = open(path.c_str(), O_RDONLY); // goes through at once
        QVERIFY(waiting >= 0);
        QVERIFY(file.serve("wid=7\n"));
        QByteArray got(64, '\0');
        const ssize_t n = read(waiting, got.data(), got.size());
        QCOMPARE(got.left(int(n)), QByteArray("wid=7\n"));
        QCOMPARE(read(waiting, got.data(), got.size()), ssize_t(0)); // then its end
        close(waiting);
        QFile after(QString::fromStdString(path));
        QVERIFY(after.open(QIODevice::ReadOnly));
        QCOMPARE(after.readAll(), QByteArray("wid=7\n"));
    }

    // WIDTHxHEIGHT, each side at least 16 and at most five digits; anything else is no size.
    void windowSize()
    {
        for (const char* good : {"800x480", "16x16", "99999x99999"}) {
            const WindowSize size = parseWindowSize(good);
            QCOMPARE(QString("%1x%2").arg(size.width).arg(size.height), QString(good));
        }
        for (const char* bad :
             {"", "800", "800x", "800x480x", "0x480", "15x16", "16x15", "123456x2", "a x b"})
            QVERIFY2(!parseWindowSize(bad).valid(), bad);
        QVERIFY(!parseWindowSize(nullptr).valid());
    }

    // Events, one a line: "file" (a file starts), "still" (the background starts afresh, to be
    // held still), "send C was visible" (a command on its way,
    // with the menu's visibility before and after, 0 or 1), "entry C" (run by the player for
    // a menu entry), "answer yes|no".
    void pauseHold_data()
    {
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<QStringList>("sent");
        QTest::addColumn<bool>("paused");
        QTest::addColumn<int>("hold");

        const int none = PauseHold::None, menu = PauseHold::Menu, still = PauseHold::Still;
        QTest::newRow("the start menu's background stands still from its start")
            << QStringList{"still"} << QStringList{"pause"} << true << still;
        QTest::newRow("menu keys and a hidden menu keep it still")
            << QStringList{"still", "send menu down 1 1", "send menu cancel 1 0"}
            << QStringList{"pause", "menu down", "menu cancel"} << true << still;
        QTest::newRow("playback keys keep it still, menu up or down")
            << QStringList{"still", "send volume +10 1 1", "send seek +40 0 0"}
            << QStringList{"pause", "pausing_keep volume +10", "pausing_keep seek +40"} << true
            << still;
        QTest::newRow("the user's pause sets it going")
            << QStringList{"still", "send menu cancel 1 0", "send pause 0 0", "file"}
            << QStringList{"pause", "menu cancel", "pause"} << false << none;
        QTest::newRow("a menu opened over a playing clip pauses it in the same pass")
            << QStringList{"file", "send set_menu main 0 1"}
            << QStringList{"set_menu main", "pause"} << true << menu;
        QTest::newRow("... until the menu closes, not before")
            << QStringList{"file", "send set_menu main 0 1", "send menu cancel 1 1",
                           "send menu cancel 1 0"}
            << QStringList{"set_menu main", "pause", "menu cancel", "menu cancel", "pause"} << false
            << none;
        QTest::newRow("a playback command under the menu's hold keeps the pause")
            << QStringList{"file", "send set_menu main 0 1", "send volume +10 1 1",
                           "send seek +40 1 1"}
            << QStringList{"set_menu main", "pause", "pausing_keep volume +10",
                           "pausing_keep seek +40"}
            << true << menu;
        QTest::newRow("a pause of the user's own under the menu stands")
            << QStringList{"file", "send set_menu main 0 1", "send pause 1 1", "send pause 1 1",
                           "send menu cancel 1 0"}
            << QStringList{"set_menu main", "pause", "pause", "pause", "menu cancel"} << true
            << none;
        QTest::newRow("... also from the menu's own entry")
            << QStringList{"file", "send set_menu main 0 1", "entry pause"}
            << QStringList{"set_menu main", "pause"} << false << none;
        QTest::newRow("a paused clip is left as the user paused it")
            << QStringList{"file", "send pause 0 0", "send set_menu main 0 1",
                           "send menu cancel 1 0"}
            << QStringList{"pause", "set_menu main", "menu cancel"} << true << none;
        QTest::newRow("playback commands end a pause of the user's own")
            << QStringList{"file", "send pause 0 0", "send seek +40 0 0"}
            << QStringList{"pause", "seek +40"} << false << none;
        QTest::newRow("prefixed commands go as they are")
            << QStringList{"file", "send pausing_keep_force get_property pause 0 0",
                           "send pausing osd 0 0"}
            << QStringList{"pausing_keep_force get_property pause", "pausing osd"} << true << none;
        QTest::newRow("a new file ends the hold of the one before")
            << QStringList{"file", "send set_menu main 0 1", "send loadfile x 1 1", "file"}
            << QStringList{"set_menu main", "pause", "loadfile x"} << false << none;
        QTest::newRow("the player's own answer wins")
            << QStringList{"still", "answer no"} << QStringList{"pause"} << false << none;
    }

    void pauseHold()
    {
        QFETCH(QStringList, events);
        QFETCH(QStringList, sent);
        QFETCH(bool, paused);
        QFETCH(int, hold);

        PauseHold h;
        QStringList got;
        auto take = [&](const std::vector<std::string>& lines) {
            for (const std::string& l : lines)
                got << QString::fromStdString(l);
        };
        for (const QString& e : events) {
            const QString what = e.section(' ', 0, 0);
            if (what == "file" || what == "still") {
                take(h.fileStarted(what == "still"));
            } else if (what == "send") {
                const QString command = e.section(' ', 1, -3);
                take(h.linesFor(command.toStdString(), e.section(' ', -2, -2) == "1",
                                e.section(' ', -1) == "1"));
            } else if (what == "entry") {
                h.ranByMenu(e.section(' ', 1).toStdString());
            } else if (what == "answer") {
                h.answered(e.section(' ', 1) == "yes");
            }
        }
        QCOMPARE(got, sent);
        QCOMPARE(h.paused(), paused);
        QCOMPARE(int(h.hold()), hold);
    }

    void findingTheRealPlayer()
    {
        QTemporaryDir dir;
        const QString self = dir.path() + "/self/mplayer";
        const QString real = dir.path() + "/real/mplayer";
        QDir(dir.path()).mkpath("self");
        QDir(dir.path()).mkpath("real");
        for (const QString& p : {self, real}) {
            QFile f(p);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
        }
        const QString path =
            dir.path() + "/self:" + dir.path() + "/nothing:" + dir.path() + "/real";
        std::string why;
        QCOMPARE(findRealPlayer(nullptr, path.toLatin1(), self.toStdString(), &why),
                 real.toStdString());
        QCOMPARE(
            findRealPlayer(nullptr, (dir.path() + "/self").toLatin1(), self.toStdString(), &why),
            std::string());
        QVERIFY(!why.empty());
        QCOMPARE(findRealPlayer(self.toLatin1(), path.toLatin1(), self.toStdString(), &why),
                 std::string());
        QCOMPARE(findRealPlayer(real.toLatin1(), "", self.toStdString(), &why), real.toStdString());
        // A bare name is looked up on PATH, past the adapter itself.
        QCOMPARE(findRealPlayer("mplayer", path.toLatin1(), self.toStdString(), &why),
                 real.toStdString());
        QCOMPARE(findRealPlayer("mpv", path.toLatin1(), self.toStdString(), &why), std::string());
        QCOMPARE(why, std::string("TAMBLIN_PLAYER=mpv is not on PATH"));
    }

    // The player's command channel never holds up the loop: a player behind gets every line,
    // whole and in order, once it reads; one gone, or one that reads nothing at all, is not
    // waited for, and what is dropped for it is dropped a line at a time.
    void outboxToASlowReader_data()
    {
        QTest::addColumn<QString>("reader");
        QTest::addColumn<int>("lines"); // of 1 KiB each, sent before the reader reads
        QTest::newRow("reads late") << "late" << 1000;
        QTest::newRow("has gone") << "gone" << 1;
        QTest::newRow("never reads") << "never" << int(Outbox::kMostWaiting / 1024) + 100;
    }
    void outboxToASlowReader()
    {
        QFETCH(QString, reader);
        QFETCH(int, lines);
        int pair[2];
        QCOMPARE(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
        QVERIFY(setNonBlocking(pair[0], true));
        if (reader == "gone") {
            signal(SIGPIPE, SIG_IGN); // as the adapter has it
            close(pair[1]);
        }
        Outbox out(pair[0]);
        std::string sent;
        int taken = 0;
        for (int i = 0; i < lines; ++i) {
            std::string line = std::to_string(i);
            line.resize(1023, '.');
            line += '\n';
            if (out.send(line)) {
                sent += line;
                ++taken;
            }
        }
        if (reader == "gone") {
            QVERIFY(out.gone() && !out.waiting() && taken == 0);
            close(pair[0]);
            return;
        }
        QVERIFY(out.waiting());
        QVERIFY(out.waitingBytes() <= Outbox::kMostWaiting);
        if (reader == "late")
            QCOMPARE(taken, lines);
        else
            QVERIFY(taken >= int(Outbox::kMostWaiting / 1024) && taken < lines);
        std::string got;
        char buf[65536];
        while (got.size() < sent.size()) {
            pollfd p[2] = {{pair[0], POLLOUT, 0}, {pair[1], POLLIN, 0}};
            QVERIFY(poll(p, 2, 5000) > 0);
            if (p[0].revents)
                out.flush();
            const ssize_t n = p[1].revents ? read(pair[1], buf, sizeof buf) : 0;
            QVERIFY(n >= 0);
            got.append(buf, size_t(n));
        }
        QVERIFY(!out.waiting());
        QVERIFY(got == sent);
        close(pair[0]);
        close(pair[1]);
    }
};

QTEST_APPLESS_MAIN(AdapterPiecesTest)
#include "tst_adapterPieces.moc"
