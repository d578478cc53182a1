// The adapter's core with each player's driver, without I/O: events at given times in, actions
// out, each with the time it came. Event orderings and deadlines, a table for each player.
#include "controller.h"
#include "lineSplitter.h"
#include "mediaMenu.h"
#include "mplayerDriver.h"
#include "mplayerMenu.h"
#include "mpvDriver.h"
#include "mpvTracks.h"

#include <QRegularExpression>
#include <QTest>

#include <algorithm>
#include <csignal>
#include <memory>
#include <sstream>

namespace {

// main: Play a clip, Pause or resume, On-screen display, Speech: on/off, Quit; f1: Play all, a,
// b, c (a song).
std::vector<Menu> menus(const MenuOptions& options = {})
{
    MediaScan scan;
    scan.folders.push_back({"/v", "v", {}, {"/v/a.avi", "/v/b.avi", "/v/c.mp3"}, false});
    return buildMenus(scan, options);
}

// A stick's tree from "/m/S a.avi d/b.avi": its clips, those in a folder below it in that one.
MediaScan stickScan(const QStringList& words)
{
    MediaScan scan;
    MediaFolder root{
        words[0].toStdString(), words[0].section('/', -1).toStdString(), {}, {}, false};
    for (const QString& w : words.mid(1)) {
        const std::string clip = root.path + "/" + w.toStdString();
        if (!w.contains('/')) {
            root.clips.push_back(clip);
            continue;
        }
        const std::string folder = root.path + "/" + w.section('/', 0, 0).toStdString();
        if (root.folders.empty() || root.folders.back().path != folder)
            root.folders.push_back({folder, w.section('/', 0, 0).toStdString(), {}, {}, false});
        root.folders.back().clips.push_back(clip);
    }
    scan.folders.push_back(root);
    return scan;
}

// Tracks as "audio 1:fre: 2:eng:commentary on 1; subtitles 1:eng: +3::/v/b.srt on -1; chapters
// 0:Opening 7.5:" ("+" for a file beside the clip, ID:LANGUAGE:TITLE, START:TITLE).
QString tracksText(const ClipTracks& t)
{
    QString audio, subtitles, chapters;
    for (const auto& [text, tracks] : {std::pair{&audio, &t.audio}, {&subtitles, &t.subtitles}}) {
        for (const Track& k : *tracks)
            *text += QString(" %1%2:").arg(k.external ? "+" : "").arg(k.id) +
                     QString::fromStdString(k.language + ":" + k.title);
    }
    for (const Chapter& c : t.chapters)
        chapters += QString(" %1:").arg(c.start) + QString::fromStdString(c.title);
    return QString("audio%1 on %2; subtitles%3 on %4; chapters%5")
        .arg(audio, QString::number(t.audioOn), subtitles, QString::number(t.subtitleOn), chapters);
}

// The invisible digits that order a listed menu's names, shown as {0}, {1} and {2}.
QString digitsShown(QString text)
{
    for (int d = 0; d < 3; ++d)
        text.replace(QChar(0x200B + d), QString("{%1}").arg(d));
    return text;
}

// The core with one player's driver, fed a table's events. The start menu is up over the
// background "/app/bg.avi", or (startMenu false) the run plays "/v/a.avi" given as its media.
//
// Events, one a line: "@T" the time is now T ms (deadlines on the way are met at their time),
// "<TEXT" a line of the player's output, "?TEXT" of its errors, "$" it ended, "%" the window
// went, "^" a termination signal, "+CLIP AT LENGTH" the clip was left there in an earlier run;
// anything else a command from the window. In mpv's output "{id:TEXT}" stands for the id of the
// last request sent that holds TEXT ("{idfirst:TEXT}", the first): ids are the driver's to
// choose.
// Results: "@T action", for what goes to the player, to the window (answers), to the log,
// signals, files and links, listed menus' names, positions saved, and mpv's "#" traces.
//
// Alone: the driver without the core, its events told as results ("tracks ..."). The file on
// mpv's command line has "/v/a.srt" beside it. Events: "@T" and "<TEXT" as above, "=A S"
// selectTracks(A, S) (-2 keep, -1 off), "~S" seekTo(S), "!CLIP SUBTITLE..." play the clip in
// place of what plays (bytes as %XX), "list A|B" a listed menu about to open, and "menu BEFORE
// AFTER COMMAND" a menu command with the menu's depth before and after it.
class Run
{
  public:
    enum Player { MPlayer, Mpv };
    Run(Player player, bool startMenu, bool alone = false, const MenuOptions& options = {})
        : player_(player), built_(menus(options)), model_(built_, "main", startMenu),
          flow_(startMenu ? "/app/bg.avi" : "", &store_)
    {
        if (player == MPlayer) {
            auto mplayer = std::make_unique<MPlayerDriver>(out_, "/private", "/app/song.mkv", "/");
            mplayer->setMenuLists("/private/list", nullptr);
            driver_ = std::move(mplayer);
        } else {
            const std::u32string characters = menuCharacters(built_, "> _");
            overlay_ = std::make_unique<MenuOverlay>(
                OverlayMetrics(chooseMenuFont(characters), characters, 640, 480));
            auto mpv = std::make_unique<MpvDriver>(out_, model_, *overlay_, "/private",
                                                   startMenu ? "/app/bg.avi" : "/v/a.avi");
            mpv->start(0,
                       alone ? std::vector<std::string>{"/v/a.srt"} : std::vector<std::string>{});
            out_.take(); // the watches, the log's level, the first overlay
            driver_ = std::move(mpv);
        }
        driver_->attach(&events_); // the core's own, when there is one
        if (alone)
            return;
        core_ = std::make_unique<Controller>(model_, flow_, store_, *driver_, out_);
        core_->setSessionEnd("/run/session-end");
    }

    Controller& core() { return *core_; }
    Actions& out() { return out_; }

    QStringList feed(const QStringList& events)
    {
        for (const QString& e : events) {
            const std::string rest = e.mid(1).toStdString();
            if (e.startsWith('@'))
                until(e.mid(1).toLongLong());
            else if (!core_)
                toDriver(e);
            else if (e.startsWith('<'))
                core_->playerOutput(withIds(rest) + "\n", now_);
            else if (e.startsWith('?'))
                core_->playerErrors(rest + "\n", now_);
            else if (e == "$")
                core_->playerEnded(now_);
            else if (e == "%")
                core_->windowGone(now_);
            else if (e == "^")
                core_->terminate(now_);
            else if (e.startsWith('&'))
                core_->mountsChanged(mounts(e.mid(1)), now_);
            else if (e.startsWith('*'))
                core_->stickRead(e.mid(1).section(' ', 0, 0).toStdString(),
                                 stickScan(e.mid(1).split(' ')), now_);
            else if (e.startsWith("#sleep "))
                core_->sleepAnswered(e.endsWith("done"), now_);
            else if (e == "#speaking" || e == "#silent")
                core_->speaking(e == "#speaking", now_);
            else if (e.startsWith('+'))
                store_.left(e.section(' ', 0, 0).mid(1).toStdString(),
                            e.section(' ', 1, 1).toDouble(), e.section(' ', 2, 2).toDouble());
            else
                core_->windowLine(e.toStdString() + "\n", now_);
            take();
        }
        return got_;
    }

    // A tick that leaves a deadline at or before its time would have the loop spin: how the
    // first one came about, or empty.
    QString livelock;

  private:
    static std::vector<Mount> mounts(const QString& points)
    {
        std::vector<Mount> list;
        for (const QString& p : points.split(' ', Qt::SkipEmptyParts))
            list.push_back({p.toStdString(), p.section('/', -1).toStdString()});
        return list;
    }

    void toDriver(const QString& e)
    {
        const QStringList words = e.mid(1).split(' ');
        if (e.startsWith('<')) {
            driver_->outputLine(withIds(e.mid(1).toStdString()) + "\n", now_);
        } else if (e.startsWith('=')) {
            driver_->selectTracks({words.value(0).toInt(), words.value(1).toInt()}, now_);
        } else if (e.startsWith('~')) {
            driver_->seekTo(words.value(0).toDouble(), now_);
        } else if (e.startsWith('!')) {
            PlayItem item;
            for (const QString& w : words)
                (item.path.empty() ? item.path : item.subtitles.emplace_back()) =
                    QByteArray::fromPercentEncoding(w.toUtf8()).toStdString();
            driver_->play({item}, true, now_);
        } else if (e.startsWith("list ")) {
            Menu menu{"audio", "Sound track", {}, true};
            for (const QString& label : e.mid(5).split('|'))
                menu.entries.push_back({label.toStdString(), MenuEntry::Command, "@x", {}});
            driver_->listMenu(menu, now_);
        } else { // "menu BEFORE AFTER COMMAND", shown before when it was open
            const MenuStep step{words[1] != "0",    true, words[1].toULong(), words[2].toULong(),
                                MenuModel::Nothing, {}};
            driver_->command(e.section(' ', 3).toStdString(), step, now_);
        }
    }

    long long deadline() const { return core_ ? core_->deadline() : driver_->deadline(); }

    void until(long long target)
    {
        for (long long due = deadline(); due >= 0 && due <= target && livelock.isEmpty();
             due = deadline()) {
            now_ = std::max(now_, due);
            core_ ? core_->tick(now_) : driver_->tick(now_);
            take();
            const long long next = deadline();
            if (next >= 0 && next <= now_)
                livelock = QString("at @%1, due again at @%2 after: %3")
                               .arg(now_)
                               .arg(next)
                               .arg(got_.join(" | "));
        }
        now_ = std::max(now_, target);
    }

    void take()
    {
        for (const Action& a : out_.take()) {
            const QString r = render(a);
            if (!r.isEmpty())
                got_ << QString("@%1 %2").arg(now_).arg(r);
        }
        for (const PlayerEvents::Event& e : events_.take()) {
            if (e.kind == PlayerEvents::Event::TracksKnown)
                got_ << QString("@%1 tracks %2").arg(now_).arg(tracksText(e.tracks));
        }
    }

    QString render(const Action& a)
    {
        const QString text = QString::fromStdString(a.text).trimmed();
        switch (a.kind) {
        case Action::ToPlayer:
            // MPlayer's questions about a clip's tracks, asked as each file starts, are left
            // out of the tables with the core: the driver's own tables are about them.
            if (player_ == MPlayer && core_ &&
                text.contains(
                    QRegularExpression("get_property (switch_audio|sub_demux|sub_file)$")))
                return {};
            return player_ == Mpv ? request(a.text) : "> " + text;
        case Action::ToWindow:
            // The player's other lines pass on as they came: only answers are of interest here.
            return text.contains("ANS_") ? "window " + text : QString();
        case Action::ToLog:
            return "log " + text;
        case Action::Signal:
            return a.signal == SIGSTOP   ? "STOP"
                   : a.signal == SIGCONT ? "CONT"
                   : a.signal == SIGTERM ? "TERM"
                   : a.signal == SIGKILL ? "KILL"
                                         : "signal";
        case Action::SavePositions:
            // The positions kept, without the file's first line.
            return ("save " + text.section('\n', 1).replace('\n', "; ")).trimmed();
        case Action::MakeLink:
            return QString::fromStdString("link " + a.path + " -> " + a.text);
        case Action::WriteFile:
            return QString::fromStdString("write " + a.path + ": ") +
                   QString(text).replace('\n', ' ');
        case Action::ListFolder:
            return QString::fromStdString("list " + a.path + ": ") +
                   digitsShown(text).replace('\n', " | ");
        case Action::ScanStick:
            return QString::fromStdString("scan " + a.path);
        case Action::ForgetStick:
            return QString::fromStdString("forget " + a.path);
        case Action::AskLogind:
            return "ask logind " + text;
        case Action::Say:
            return (a.signal == Action::kCutOff ? "say! " : "say ") + text;
        case Action::SaveSpeech:
            return "keep speech " + text;
        case Action::Trace:
            return (player_ == Mpv || text.startsWith("# sound")) && text.startsWith("# ")
                       ? text
                       : QString();
        }
        return {};
    }

    // An mpv request, the overlay by whether it shows anything; its id is kept.
    QString request(const std::string& line)
    {
        const nlohmann::json message = nlohmann::json::parse(line);
        const nlohmann::json c = message["command"];
        if (message.contains("request_id"))
            requests_.emplace_back(message["request_id"].get<long long>(), c.dump());
        if (c.is_object() && c.value("name", "") == "osd-overlay")
            return c.value("data", "").empty() ? "> overlay hidden" : "> overlay shown";
        return "> " + QString::fromStdString(c.dump());
    }

    std::string withIds(std::string line) const
    {
        for (size_t at; (at = line.find("{id")) != std::string::npos;) {
            const bool first = line.compare(at, 9, "{idfirst:") == 0;
            const size_t from = line.find(':', at) + 1, end = line.find('}', at);
            const std::string wanted = line.substr(from, end - from);
            std::string id = "-1";
            for (const auto& [sent, command] : requests_) {
                if (command.find(wanted) != std::string::npos && !(first && id != "-1"))
                    id = std::to_string(sent);
            }
            line.replace(at, end + 1 - at, id);
        }
        return line;
    }

    Player player_;
    std::vector<Menu> built_;
    MenuModel model_;
    ResumeStore store_;
    ClipFlow flow_;
    Actions out_;
    std::unique_ptr<MenuOverlay> overlay_;
    std::unique_ptr<PlayerDriver> driver_;
    std::unique_ptr<Controller> core_;
    PlayerEvents events_; // the driver's, when it has no core
    long long now_ = 0;
    QStringList got_;
    std::vector<std::pair<long long, std::string>> requests_; // id, command
};

} // namespace

class CoreTest : public QObject
{
    Q_OBJECT

    static void addColumns()
    {
        QTest::addColumn<bool>("startMenu");
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<QStringList>("actions");
    }
    static void check(Run::Player player, bool alone = false)
    {
        QFETCH(bool, startMenu);
        QFETCH(QStringList, events);
        QFETCH(QStringList, actions);
        Run run(player, startMenu, alone);
        const QStringList got = run.feed(events);
        QVERIFY2(run.livelock.isEmpty(), qPrintable("livelock " + run.livelock));
        if (got != actions) // QCOMPARE says only where they part
            qDebug().noquote() << "got:\n" + got.join('\n');
        QCOMPARE(got, actions);
    }

  private slots:
    void mplayerOrderings_data();
    void mplayerOrderings() { check(Run::MPlayer); }
    void mpvOrderings_data();
    void mpvOrderings() { check(Run::Mpv); }
    void mplayerTracks_data();
    void mplayerTracks() { check(Run::MPlayer, true); }
    void mpvTracks_data();
    void mpvTracks() { check(Run::Mpv, true); }
    void mpvTrackLists();

    void sticks_data();
    void sticks()
    {
        QFETCH(bool, startMenu);
        QFETCH(QStringList, events);
        QFETCH(QStringList, actions);
        MenuOptions options;
        options.removable = options.powerOff = options.sleep = true;
        Run run(Run::MPlayer, startMenu, false, options);
        if (QTest::currentDataTag() == QLatin1String("a notice from the run before"))
            run.core().setNotice(kPowerOffRefusedMenu);
        const QStringList got = run.feed(events);
        QVERIFY2(run.livelock.isEmpty(), qPrintable("livelock " + run.livelock));
        if (got != actions)
            qDebug().noquote() << "got:\n" + got.join('\n');
        QCOMPARE(got, actions);
    }

    // What is said, and the sound turned down while it is: the actions of speech alone.
    void speech_data();
    void speech()
    {
        QFETCH(int, player);
        QFETCH(bool, on);
        QFETCH(QStringList, events);
        QFETCH(QStringList, said);
        Run run(Run::Player(player), true);
        run.core().setSpeech(on);
        const QRegularExpression ofSpeech(" say| keep speech| # sound|volume| TERM$| > quit$");
        const QStringList got = run.feed(events).filter(ofSpeech);
        if (got != said)
            qDebug().noquote() << "got:\n" + got.join('\n');
        QCOMPARE(got, said);
    }

    void listedNames_data();
    void listedNames();
    void listedNamesKeepTheOrder();

    // A line longer than the loop holds reaches the window in pieces: an answer in between
    // starts a line of its own.
    void answersAfterAPieceOfALine()
    {
        Run run(Run::MPlayer, true);
        LineSplitter lines("\r\n", 16);
        const std::string bytes(40, 'x');
        lines.append(bytes.data(), bytes.size());
        std::string piece;
        while (lines.next(&piece))
            run.core().playerOutput(piece, 0);
        run.core().windowLine("get_menu_visibility\n", 0);
        std::string window;
        for (const Action& a : run.out().take()) {
            if (a.kind == Action::ToWindow)
                window += a.text;
        }
        QCOMPARE(window, std::string(32, 'x') + "\nANS_MENU_VISIBILITY=1\n");
    }
};

void CoreTest::mplayerOrderings_data()
{
    addColumns();
    const QString bg = "<Playing /app/bg.avi.";
    const QString started = "<Starting playback...";

    const QString link = "@0 link /private/1.avi -> /app/bg.avi";
    const QString again = "@0 > pausing_keep loadfile '/private/1.avi' 1";
    const QStringList held{"@0 > pause", link, again,
                           "@150 > pausing_keep_force get_property pause"};
    QTest::newRow("the start menu's background is held still, then rests")
        << true << QStringList{bg, started, "@1000", "<ANS_pause=yes", "@2000"}
        << held + QStringList{"@1060 STOP"};
    QTest::newRow("a key wakes the resting player before its command")
        << true << QStringList{bg, started, "@300", "<ANS_pause=yes", "@400", "menu down", "@550"}
        << held + QStringList{"@360 STOP", "@400 CONT", "@400 > menu down",
                              "@550 > pausing_keep_force get_property pause"};
    QTest::newRow("a command between the question and its answer: no rest")
        << true << QStringList{bg, started, "@200", "menu down", "<ANS_pause=yes", "@300"}
        << held + QStringList{"@200 > menu down"};
    QTest::newRow("after a submenu opens or closes, the next command waits for a frame")
        << true << QStringList{"@200", "menu ok", "@400", "menu cancel", "menu down", "@500"}
        << QStringList{"@200 > menu ok", "@350 > pausing_keep_force get_property pause",
                       "@400 > menu cancel", "@500 > menu down"};
    const QStringList chooseA{"@0 > pause",
                              link,
                              again,
                              "@100 > menu ok",
                              "@100 link /private/2.avi -> /v/a.avi",
                              "@100 write /private/list1: /private/2.avi /private/1.avi",
                              "@200 > menu down",
                              "@200 > menu ok",
                              "@200 > loadlist '/private/list1'",
                              "@300 > menu hide"};
    QTest::newRow("a clip chosen from the menu, its menu closed once it plays")
        << true << QStringList{bg,          started,   "@100", "menu ok",
                               "menu down", "menu ok", "@300", "<Playing /private/2.avi.",
                               started}
        << chooseA;
    QTest::newRow("a clip that cannot be played: the menu comes back on it, with a word")
        << true << QStringList{bg,          started,   "@100",  "menu ok",
                               "menu down", "menu ok", "@300",  "<Playing /private/2.avi.",
                               "@310",      bg,        started, "@400"}
        << chooseA + QStringList{"@310 log tamblin-adapter: cannot play /v/a.avi", "@310 > pause",
                                 "@310 > pausing_keep loadfile '/private/1.avi' 1",
                                 "@310 > menu up", "@310 > set_menu unplayable"};
    QTest::newRow("a song plays under a picture, cut at its length")
        << true
        << QStringList{bg,
                       started,
                       "@100",
                       "menu ok",
                       "@200",
                       "menu up",
                       "menu ok",
                       "@300",
                       "<Playing /private/2.probe.mp3.",
                       "<ID_LENGTH=61.50",
                       "<Playing /private/2.picture.mkv.",
                       started,
                       "@301"}
        << QStringList{"@0 > pause",
                       link,
                       again,
                       "@100 > menu ok",
                       "@200 > menu up",
                       "@200 > menu ok",
                       "@200 link /private/2.mp3 -> /v/c.mp3",
                       "@200 link /private/2.probe.mp3 -> /v/c.mp3",
                       "@200 write /private/2.probe.mp3.conf: ao=null identify=yes",
                       "@200 write /private/list1: /private/2.probe.mp3 /private/1.avi",
                       "@200 > loadlist '/private/list1'",
                       "@300 link /private/2.picture.mkv -> /app/song.mkv",
                       "@300 write /private/2.picture.mkv.conf: audiofile=/private/2.mp3 "
                       "endpos=61.500",
                       "@300 write /private/list2: /private/2.picture.mkv /private/1.avi",
                       "@300 > loadlist '/private/list2'",
                       "@300 > menu hide",
                       "@300 > osd_show_text \"c\" 4000"};
    QTest::newRow("the window's quit waits until the clip has said where it is")
        << true << QStringList{"<Playing /v/a.avi.",
                               started,
                               "@1000",
                               "quit 0",
                               "@1100",
                               "<ANS_time_pos=42.0",
                               "<ANS_length=100.0",
                               "@1200"}
        << QStringList{"@1000 > pausing_keep_force get_property time_pos",
                       "@1000 > pausing_keep_force get_property length",
                       "@1100 save 42.000 100.000 -2 -2 /v/a.avi", "@1100 > quit 0"};
    QTest::newRow("... or, when it does not say, a short while")
        << true << QStringList{"<Playing /v/a.avi.", started, "@1000", "quit 0", "@2000"}
        << QStringList{"@1000 > pausing_keep_force get_property time_pos",
                       "@1000 > pausing_keep_force get_property length", "@1400 > quit 0"};
    QTest::newRow("Quit from the player's menu ends the run, and the session: no more rest")
        << true << QStringList{"@200", "menu up", "@400", "menu ok", "@2000"}
        << QStringList{"@200 > menu up", "@350 > pausing_keep_force get_property pause",
                       "@400 write /run/session-end: ", "@400 > menu ok"};
    QTest::newRow("the window gone without a quit: quit, then terminate, then kill")
        << true << QStringList{"@100", "%", "@5000"}
        << QStringList{"@100 > quit",
                       "@2100 log tamblin-adapter: the player did not quit, terminating it",
                       "@2100 TERM", "@4100 KILL"};
    QTest::newRow("a player that ends within the grace is left alone")
        << true << QStringList{"@100", "%", "@2099", "$", "@9000"} << QStringList{"@100 > quit"};
    QTest::newRow("a termination signal reaches a resting player")
        << true << QStringList{bg, started, "@300", "<ANS_pause=yes", "@400", "^", "@3000"}
        << held + QStringList{"@360 STOP", "@400 TERM", "@400 CONT", "@2400 KILL"};
    QTest::newRow("a player without a display is ended once")
        << true
        << QStringList{"?vo: couldn't open the X11 display (:9)!",
                       "?vo: couldn't open the X11 display (:9)!", "@100"}
        << QStringList{"@0 log vo: couldn't open the X11 display (:9)!",
                       "@0 log tamblin-adapter: the player cannot open its X display (\"vo: "
                       "couldn't open the X11 display (:9)!\"); ending it",
                       "@0 TERM", "@0 log vo: couldn't open the X11 display (:9)!"};
    QTest::newRow("our answers go on lines of their own, the player's pass on")
        << true
        << QStringList{"get_menu_visibility", "<ANS_volume=50",
                       "pausing_keep_force get_property pause", "<ANS_pause=no"}
        << QStringList{"@0 window ANS_MENU_VISIBILITY=1", "@0 window ANS_volume=50",
                       "@0 > pausing_keep_force get_property pause", "@0 window ANS_pause=no"};

    // A clip chosen from the menu plays: "/v/a.avi", as /private/2.avi. At 1000 the menu opens
    // over it, and b or Quit is chosen: first, where the clip is.
    const QStringList playingA{bg,          started,   "@100", "menu ok",
                               "menu down", "menu ok", "@300", "<Playing /private/2.avi.",
                               started};
    const QStringList aPlays =
        chooseA + QStringList{"@450 > pausing_keep_force get_property pause"};
    const QStringList chooseB{"@1000",     "set_menu main", "menu ok",
                              "menu down", "menu down",     "menu ok"};
    const QStringList chooseQuit{"@1000", "set_menu main", "menu up", "menu ok"};
    const QStringList answers{"<ANS_time_pos=42.0", "<ANS_length=100.0"};
    const QStringList menuOver{"@1000 > set_menu main", "@1000 > pause"};
    const QStringList asked{"@1000 > pausing_keep_force get_property time_pos",
                            "@1000 > pausing_keep_force get_property length"};
    // Keys after the menu opened by name wait for it to be drawn.
    const QStringList bPlays{"@1200 > menu down", "@1200 > menu down", "@1200 > menu ok",
                             "@1200 > loadlist '/private/list2'"};
    const QString bChosen = "@1100 > menu ok", quitChosen = "@1100 > menu up",
                  sessionEnds = "@1000 write /run/session-end: ";
    QTest::newRow("choosing another clip while one plays: where it was left is kept first")
        << true
        << playingA + chooseB +
               QStringList{"@1050", answers[0], answers[1], "@1200", "<Playing /private/3.avi.",
                           started, "@2000"}
        << aPlays + menuOver + asked +
               QStringList{"@1050 save 42.000 100.000 -2 -2 /v/a.avi",
                           "@1050 link /private/3.avi -> /v/b.avi",
                           "@1050 write /private/list2: /private/3.avi /private/1.avi", bChosen} +
               bPlays +
               QStringList{"@1200 > menu hide", "@1350 > pausing_keep_force get_property pause"};
    // Left partway, the clip asks where to start: Resume from.
    QTest::newRow("a clip that played to its end forgets where it was left")
        << true
        << QStringList{"+/v/a.avi 42 100"} + playingA.mid(0, 6) + QStringList{"@250", "menu ok"} +
               playingA.mid(6) + QStringList{"@5000", bg, started, "@5001"}
        << chooseA.mid(0, 4) +
               QStringList{"@200 > menu down",
                           "@200 > menu ok",
                           "@200 list /private/list: {0}Resume from 0:42 | {1}From the start",
                           "@200 > set_menu start",
                           "@250 link /private/2.avi -> /v/a.avi",
                           "@250 write /private/list1: /private/2.avi /private/1.avi",
                           "@300 > menu ok",
                           "@300 > loadlist '/private/list1'"} +
               chooseA.mid(9) + QStringList{"@300 > seek 42.000 2",
                                            "@450 > pausing_keep_force get_property pause",
                                            "@5000 save",
                                            "@5000 > pause",
                                            "@5000 > pausing_keep loadfile '/private/1.avi' 1",
                                            "@5000 > menu up",
                                            "@5000 > menu cancel"};
    QTest::newRow("terminated while a clip is being left")
        << true
        << playingA + chooseQuit + QStringList{"@1050", "^", "@1100"} + answers +
               QStringList{"@5000"}
        << aPlays + menuOver + asked +
               QStringList{sessionEnds,       "@1050 TERM",
                           quitChosen,        "@1100 save 42.000 100.000 -2 -2 /v/a.avi",
                           "@1100 > menu ok", "@3050 KILL"};
    QTest::newRow("the window gone while a clip is being left")
        << true
        << playingA + chooseB + QStringList{"@1050", "%", "@1100"} + answers + QStringList{"@5000"}
        << aPlays + menuOver + asked +
               QStringList{bChosen, "@1100 save 42.000 100.000 -2 -2 /v/a.avi",
                           "@1100 link /private/3.avi -> /v/b.avi",
                           "@1100 write /private/list2: /private/3.avi /private/1.avi"} +
               bPlays +
               QStringList{"@1200 > quit",
                           "@3050 log tamblin-adapter: the player did not quit, terminating it",
                           "@3050 TERM"};
    QTest::newRow("the window gone once the player has ended: nothing is due")
        << true << QStringList{"@100", "$", "%", "@5000"} << QStringList{"@100 > quit"};
    // Answers to questions asked before a file starts may never come: they pass to the window,
    // and the core waits out its bound.
    QTest::newRow("a file that starts while a clip is being left waits its turn")
        << true
        << playingA + chooseQuit + QStringList{"@1050", bg, started, "@1100"} + answers +
               QStringList{"@5000"}
        << aPlays + menuOver + asked +
               QStringList{sessionEnds,
                           quitChosen,
                           "@1100 window ANS_time_pos=42.0",
                           "@1100 window ANS_length=100.0",
                           "@1400 > menu ok",
                           "@1500 > pause",
                           "@1500 > pausing_keep loadfile '/private/1.avi' 1",
                           "@1500 > menu cancel"};
}

void CoreTest::mpvOrderings_data()
{
    addColumns();
    const QString bg = R"(<{"event":"start-file","playlist_entry_id":1})";
    const QString holdStill = R"(> ["set_property","pause",true])";
    const QString play = R"(> ["set_property","pause",false])";
    const QString appendBg =
        R"(> {"flags":"append","name":"loadfile","options":{},"url":"/app/bg.avi"})";
    const QString pausedNow = R"(<{"event":"property-change","id":1,"name":"pause","data":true})";
    // As each file opens, its tracks are asked for.
    const QStringList askTracks{R"(@0 > ["get_property","track-list"])",
                                R"(@0 > ["get_property","chapter-list"])"};
    QTest::newRow("the start menu's background is held still")
        << true << QStringList{bg} << QStringList{"@0 " + holdStill, "@0 " + appendBg};
    // Tests and benchmarks take a screenshot at rest: the picture must be there by then.
    QTest::newRow("at rest only once the file's first picture is shown")
        << true << QStringList{bg,
                               pausedNow,
                               R"(<{"event":"file-loaded"})",
                               "@400",
                               R"(<{"event":"playback-restart"})",
                               "@549",
                               "@550"}
        << QStringList{"@0 " + holdStill, "@0 " + appendBg} + askTracks +
               QStringList{"@150 > overlay shown", "@550 # at rest"};
    // A clip chosen from the start menu (below Play all: a, above it: the song c), and what
    // that sends.
    const auto choose = [&](const QString& key, const QString& clip) {
        return QStringList{
            bg,
            "menu ok",
            key,
            "menu ok",
            QString(R"(<{"request_id":{id:%1},"error":"success","data":{"playlist_entry_id":3}})")
                .arg(clip),
            R"(<{"event":"start-file","playlist_entry_id":3})"};
    };
    const auto plays = [&](const QString& clip) {
        return QStringList{
            "@0 " + holdStill,
            "@0 " + appendBg,
            "@0 > overlay shown",
            "@0 > overlay shown",
            QString(R"(@0 > {"flags":"replace","name":"loadfile","options":{},"url":"%1"})")
                .arg(clip),
            "@0 " + appendBg,
            "@0 > overlay hidden",
            "@0 " + play};
    };
    const QStringList chosen = choose("menu down", "/v/a.avi"), played = plays("/v/a.avi");
    QTest::newRow("a clip from the menu plays, the menu goes") << true << chosen << played;
    QTest::newRow("a song from the menu says its name as it starts")
        << true << choose("menu up", "/v/c.mp3")
        << plays("/v/c.mp3") + QStringList{R"(@0 > ["show-text","c",4000])"};
    QTest::newRow("a clip that cannot be played: the menu back on it, with a word")
        << true
        << chosen +
               QStringList{
                   R"(<{"request_id":{id:/app/bg.avi},"error":"success","data":{"playlist_entry_id":4}})",
                   R"(<{"event":"end-file","reason":"error","playlist_entry_id":3,"file_error":"unrecognized file format"})",
                   R"(<{"event":"start-file","playlist_entry_id":4})"}
        << played + QStringList{"@0 # could not play /v/a.avi: unrecognized file format",
                                "@0 log tamblin-adapter: cannot play /v/a.avi",
                                "@0 " + holdStill,
                                "@0 " + appendBg,
                                "@0 > overlay shown",
                                "@0 > overlay shown"};
    // What decodes is said as each video starts, and again only when it changes.
    const auto decoder = [](const char* data) {
        return QString(R"(<{"event":"property-change","id":2,"name":"hwdec-current","data":%1})")
            .arg(data);
    };
    QTest::newRow("what decodes, in the log")
        << false
        << QStringList{bg, decoder(R"("no")"), decoder(R"("no")"), decoder("null"),
                       decoder(R"("vaapi")")}
        << QStringList{"@0 " + play, "@0 log tamblin-adapter: mpv decodes in software",
                       "@0 log tamblin-adapter: mpv decodes in hardware (vaapi)"};
    // A redraw asked for within a frame of the pause can be lost: the menu is sent again a
    // frame and a half after it, at the file's frame rate or, when it does not say, at 10.
    for (const auto& [fps, due] : {std::pair{"25", 60}, std::pair{"null", 150}}) {
        const QString rate =
            QStringLiteral(R"(<{"event":"property-change","id":3,"name":"container-fps",)"
                           R"("data":%1})")
                .arg(fps);
        QTest::addRow("F1 over a playing clip at %s fps: held, and drawn again once paused", fps)
            << false << QStringList{bg,
                                    rate,
                                    "set_menu main",
                                    pausedNow,
                                    "@" + QString::number(due - 1),
                                    "@" + QString::number(due)}
            << QStringList{"@0 " + play, "@0 > overlay shown", "@0 " + holdStill,
                           QString("@%1 > overlay shown").arg(due)};
    }
    QTest::newRow("queries answered as MPlayer answers them")
        << false
        << QStringList{"pausing_keep_force get_property pause",
                       R"(<{"request_id":{id:"pause"]},"error":"success","data":true})",
                       "get_property time_pos",
                       R"(<{"request_id":{id:"time-pos"},"error":"property unavailable"})",
                       "get_menu_visibility"}
        << QStringList{R"(@0 > ["get_property","pause"])", "@0 window ANS_pause=yes",
                       R"(@0 > ["get_property","time-pos"])",
                       "@0 window ANS_ERROR=PROPERTY_UNAVAILABLE",
                       "@0 window ANS_MENU_VISIBILITY=0"};
    // mpv refuses a seek until the file is open (MPlayer reads it only then): it waits.
    QTest::newRow("seeks before the file is open wait for it")
        << false << QStringList{"seek 15 2", bg, "seek 5", R"(<{"event":"file-loaded"})", "seek 1"}
        << QStringList{"@0 " + play} + askTracks +
               QStringList{R"(@0 > ["osd-auto","seek",15.0,"absolute"])",
                           R"(@0 > ["osd-auto","seek",5.0,"relative"])",
                           R"(@0 > ["osd-auto","seek",1.0,"relative"])"};
    // The run's media, "/v/a.avi", has played a while: the window's quit asks where it is, and
    // the player answers (time, length) at 1100. A refusal, or a value that is no position, is
    // no answer: the quit waits out the core's bound.
    const QStringList asked{"@0 " + play, R"(@1000 > ["get_property","time-pos"])",
                            R"(@1000 > ["get_property","duration"])"};
    const QString success = R"(<{"request_id":{id:%1},"error":"success","data":%2})";
    const struct
    {
        const char *name, *at, *length;
        bool kept;
    } answers[] = {
        {"position replies", "42.5", "100", true},
        {"a refused position query", nullptr, "100", false},
        {"a length that is no number", "42", R"("100")", false},
    };
    for (const auto& a : answers) {
        const QString at = a.at ? success.arg("time-pos", a.at)
                                : R"(<{"request_id":{id:time-pos},"error":"property unavailable"})";
        QTest::newRow(a.name) << false
                              << QStringList{bg,      "@1000", "quit 0",
                                             "@1100", at,      success.arg("duration", a.length),
                                             "@2000"}
                              << asked +
                                     (a.kept
                                          ? QStringList{"@1100 save 42.500 100.000 -2 -2 /v/a.avi",
                                                        R"(@1100 > ["quit",0])"}
                                          : QStringList{R"(@1400 > ["quit",0])"});
    }
    QTest::newRow("unknown commands")
        << false << QStringList{bg, "dvdnav up", "get_property nosuch", "@1000"}
        << QStringList{"@0 " + play, "@0 # no such command for mpv: dvdnav up",
                       "@0 # no such command for mpv: get_property nosuch"};
    QTest::newRow("lines that are not mpv's")
        << false
        << QStringList{bg, "<not json", "<[1,2]", R"(<{"request_id":99,"error":"success"})",
                       "@1000"}
        << QStringList{"@0 " + play, "@0 # not a message from mpv: not json",
                       "@0 # not a message from mpv: [1,2]"};
    QTest::newRow("an end-file with an error drops the seeks that waited for it")
        << false
        << QStringList{"seek 15 2",
                       "seek 5",
                       bg,
                       R"(<{"event":"end-file","reason":"error","playlist_entry_id":1,"file_error":"loading failed"})",
                       R"(<{"event":"start-file","playlist_entry_id":1})",
                       R"(<{"event":"file-loaded"})",
                       "@1000"}
        << QStringList{"@0 " + play, "@0 # could not play /v/a.avi: loading failed",
                       "@0 log tamblin-adapter: cannot play /v/a.avi"} +
               askTracks;
    QTest::newRow("idle once the run ends: no second quit")
        << false << QStringList{bg, "quit", R"(<{"event":"idle"})", "@1000"}
        << QStringList{"@0 " + play, R"(@0 > ["get_property","time-pos"])",
                       R"(@0 > ["get_property","duration"])", R"(@400 > ["quit",0])"};
    QTest::newRow("a file that starts while a clip is being left: held still in turn")
        << true
        << chosen +
               QStringList{
                   "@1000",
                   "set_menu main",
                   "menu up",
                   "menu ok",
                   "@1050",
                   R"(<{"request_id":{id:/app/bg.avi},"error":"success","data":{"playlist_entry_id":4}})",
                   R"(<{"event":"end-file","reason":"eof","playlist_entry_id":3})",
                   R"(<{"event":"start-file","playlist_entry_id":4})",
                   "@1100",
                   R"(<{"request_id":{id:time-pos},"error":"success","data":42.5})",
                   R"(<{"request_id":{id:duration},"error":"success","data":100})",
                   "@2000"}
        << played +
               QStringList{
                   "@1000 > overlay shown",
                   R"(@1000 > ["set_property","pause",true])",
                   "@1000 > overlay shown",
                   R"(@1000 > ["get_property","time-pos"])",
                   R"(@1000 > ["get_property","duration"])",
                   "@1000 write /run/session-end: ",
                   "@1100 save 42.500 100.000 -2 -2 /v/a.avi",
                   "@1100 > overlay shown",
                   R"(@1100 > ["quit",0])",
                   R"(@1100 > ["set_property","pause",true])",
                   R"(@1100 > {"flags":"append","name":"loadfile","options":{},"url":"/app/bg.avi"})"};
    // More keys than that in the time are not a person's.
    QStringList seeks{bg}, seeksSent = QStringList{"@0 " + play} + askTracks;
    for (int i = 1; i <= 65; ++i) {
        seeks << QString("seek %1").arg(i);
        if (i <= 64)
            seeksSent << QString(R"(@0 > ["osd-auto","seek",%1.0,"relative"])").arg(i);
    }
    QTest::newRow("at most 64 seeks wait for the file to open")
        << false << seeks + QStringList{R"(<{"event":"file-loaded"})"} << seeksSent;
    QTest::newRow("nothing left to play: the run ends")
        << false
        << QStringList{bg, R"(<{"event":"end-file","reason":"eof","playlist_entry_id":1})",
                       R"(<{"event":"idle"})"}
        << QStringList{"@0 " + play, R"(@0 > ["quit",0])"};
}

// MPlayer's driver alone: a clip's tracks from what -identify prints and the player answers,
// tracks chosen, seeks, subtitle files beside the clip, and a listed menu's folder.
void CoreTest::mplayerTracks_data()
{
    addColumns();
    const auto row = [](const char* name, const QStringList& events, const QStringList& actions) {
        QTest::newRow(name) << false << events << actions;
    };
    // Lines of -identify's, "ID_" left out, one a word.
    const auto identify = [](const QString& lines) {
        QStringList out;
        for (const QString& l : lines.split(' '))
            out << "<ID_" + l;
        return out;
    };
    const QString started = "<Starting playback...";
    const QString ask = "@0 > pausing_keep_force get_property ";
    const QString keep = "@0 > pausing_keep_force ";
    const QStringList asked{ask + "switch_audio", ask + "sub_demux"};
    const QStringList askedWithFiles = asked + QStringList{ask + "sub_file"};
    // What -identify prints of a Matroska clip with two sound tracks, a subtitle track and two
    // chapters, as Debian's MPlayer prints it.
    const QStringList identified =
        QStringList{"<Playing /v/a.mkv."} +
        identify("CHAPTER_ID=0 CHAPTER_0_START=0 CHAPTER_0_END=10000 CHAPTER_0_NAME=Opening "
                 "CHAPTER_ID=1 CHAPTER_1_START=10500 AUDIO_ID=0 AID_0_LANG=eng AUDIO_ID=1 "
                 "AID_1_LANG=fre AID_1_NAME=Doublage SUBTITLE_ID=3 SID_3_NAME=Forced=yes "
                 "LENGTH=120.03") +
        QStringList{started};
    const QString known = "@0 tracks audio 0:eng: 1:fre:Doublage on %1; subtitles 3::Forced=yes "
                          "on %2; chapters 0:Opening 10.5:";
    const QStringList playing = identified + QStringList{"<ANS_switch_audio=1", "<ANS_sub_demux=3"};
    const QStringList reported = asked + QStringList{known.arg(1).arg(3)};
    row("the tracks from -identify, what is on as the player answers; a track found while the "
        "clip plays is reported again, one known is not",
        playing + identify("AUDIO_ID=1 AUDIO_ID=2 VIDEO_ASPECT=1.3333"),
        reported + QStringList{QString(known).replace("Doublage", "Doublage 2::").arg(1).arg(3)});
    row("a refused question answers the oldest, and is kept from the window",
        identified + QStringList{"<ANS_ERROR=PROPERTY_UNAVAILABLE", "<ANS_sub_demux=-1"},
        asked + QStringList{known.arg(-1).arg(-1)});
    // Chosen quietly (set_property draws nothing on the picture), without ending or stepping a
    // pause; the player is asked again, and only the last round of answers counts.
    row("tracks chosen, then asked again; an answered round overtaken is not reported",
        playing + QStringList{"=0 -1", "=-2 3", "<ANS_switch_audio=0", "<ANS_sub_demux=-1",
                              "<ANS_switch_audio=0", "<ANS_sub_demux=3"},
        reported + QStringList{keep + "set_property switch_audio 0", keep + "set_property sub -1"} +
            asked + QStringList{keep + "set_property sub_demux 3"} + asked +
            QStringList{known.arg(0).arg(3)});
    row("seeks keep the menu's pause",
        playing + QStringList{"~12.5", "menu 0 1 set_menu main", "~600", "@100"},
        reported + QStringList{"@0 > seek 12.500 2", "@0 > set_menu main", "@0 > pause",
                               "@100 > pausing_keep seek 600.000 2"});

    // Files beside the clip: a plain path goes as it is, another through an alias; one that the
    // player cannot load is passed over. Loading one turns it on: what was on is put back.
    const QStringList clipWithFiles{
        "@0 link /private/1.mkv -> /v/a.mkv", "@0 write /private/list1: /private/1.mkv",
        "@0 > loadlist '/private/list1'", "@0 link /private/2.srt -> /v/it's.en.srt"};
    const QStringList loads{"!/v/a.mkv /v/a.srt /v/gone.srt /v/it's.en.srt",
                            "<Playing /private/1.mkv.", "<ID_SUBTITLE_ID=0", started};
    const QStringList loaded{"<ID_FILE_SUB_ID=0", "<ID_FILE_SUB_FILENAME=/v/a.srt",
                             "<ID_FILE_SUB_ID=1", "<ID_FILE_SUB_FILENAME=/private/2.srt"};
    const QStringList sentLoads{keep + "sub_load '/v/a.srt'", keep + "sub_load '/v/gone.srt'",
                                keep + "sub_load '/private/2.srt'"};
    const QString withFiles = "@0 tracks audio on %1; subtitles 0:: +1000::/v/a.srt "
                              "+1001::/v/it's.en.srt on %2; chapters";
    const QString noTracks = "@0 tracks audio on %1; subtitles on %2; chapters";
    row("files beside the clip, loaded once it plays, reported by their paths",
        loads + QStringList{"<ANS_switch_audio=-1", "<ANS_sub_demux=0"} + loaded +
            QStringList{"<ANS_switch_audio=-1", "<ANS_sub_demux=0", "<ANS_sub_file=-1"},
        clipWithFiles + asked + sentLoads + QStringList{keep + "set_property sub_demux 0"} +
            askedWithFiles +
            QStringList{"@0 tracks audio on -1; subtitles 0:: on 0; chapters",
                        withFiles.arg(-1).arg(0)});
    row("chosen before the clip plays: a file is put on once it is loaded",
        loads.mid(0, 2) +
            QStringList{"=1 1001", started, "<ANS_switch_audio=1", "<ANS_sub_demux=-1"} + loaded +
            QStringList{"<ANS_switch_audio=1", "<ANS_sub_demux=-1", "<ANS_sub_file=1"},
        clipWithFiles + QStringList{keep + "set_property switch_audio 1"} + asked + sentLoads +
            QStringList{keep + "set_property sub_file 1"} + askedWithFiles +
            QStringList{noTracks.arg(1).arg(-1),
                        QString(withFiles).replace("0:: ", "").arg(1).arg(1001)});
    row("... unless another choice came after it",
        loads.mid(0, 2) +
            QStringList{"=-2 1000", "=-2 -1", started, "<ANS_switch_audio=0", "<ANS_sub_demux=-1"},
        clipWithFiles + QStringList{keep + "set_property sub -1"} + asked + sentLoads +
            QStringList{keep + "set_property sub -1"} + askedWithFiles +
            QStringList{noTracks.arg(0).arg(-1)});
    row("a song under its picture has nothing to choose, and is not asked",
        QStringList{"!/v/c.mp3", "<Playing /private/1.probe.mp3.", "<ID_AUDIO_ID=0",
                    "<ID_LENGTH=61.50", "<Playing /private/1.picture.mkv.", "<ID_AUDIO_ID=0",
                    started, "=0 -1"},
        QStringList{
            "@0 link /private/1.mp3 -> /v/c.mp3", "@0 link /private/1.probe.mp3 -> /v/c.mp3",
            "@0 write /private/1.probe.mp3.conf: ao=null identify=yes",
            "@0 write /private/list1: /private/1.probe.mp3", "@0 > loadlist '/private/list1'",
            "@0 link /private/1.picture.mkv -> /app/song.mkv",
            "@0 write /private/1.picture.mkv.conf: audiofile=/private/1.mp3 endpos=61.500",
            "@0 write /private/list2: /private/1.picture.mkv", "@0 > loadlist '/private/list2'",
            noTracks.arg(-1).arg(-1)});
    // The menu reads its folder as it opens: after what is held back before the command that
    // opens it.
    row("a listed menu's folder is written in turn with the commands held back",
        {"menu 0 1 set_menu main", "menu 1 2 menu ok", "menu 2 1 menu cancel", "list Off|● English",
         "menu 1 2 menu ok", "@300"},
        {"@0 > set_menu main", "@0 > pause", "@100 > menu ok", "@200 > menu cancel",
         "@300 list /private/list: {0}Off | {1}● English", "@300 > menu ok"});
}

void CoreTest::listedNames_data()
{
    QTest::addColumn<QStringList>("labels");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("as many digits for each, fewest that hold the list")
        << QStringList{"Off", "English", "Français", "Deutsch"}
        << QStringList{"{0}{0}Off", "{0}{1}English", "{0}{2}Français", "{1}{0}Deutsch"};
    QTest::newRow("no slash, no line end; a dot in front is not hidden")
        << QStringList{"Part 1/2", "Line\nend", ".hidden"}
        << QStringList{"{0}Part 1∕2", "{1}Line\u25A1end", "{2}.hidden"};
    QTest::newRow("fitted to the menu's width") << QStringList{"Chapter 12 (1:02:03)", "Short"}
                                                << QStringList{"{0}Chapter 12…", "{1}Short"};
    // The longest name a file can have, cut between two letters: 3 bytes of digits and 126 é.
    QTest::newRow("at most 255 bytes, whole letters")
        << QStringList{QString(200, QChar(0xE9))} << QStringList{"{0}" + QString(126, QChar(0xE9))};
    QTest::newRow("an empty list is one blank entry") << QStringList{} << QStringList{"{0}"};
}

void CoreTest::listedNames()
{
    QFETCH(QStringList, labels);
    QFETCH(QStringList, names);
    std::vector<MenuEntry> entries;
    for (const QString& l : labels)
        entries.push_back({l.toStdString(), MenuEntry::Command, "@x", {}});
    // Stands in for the font's measure: 12 characters' room.
    const LabelFit fit = [](const std::string& label) {
        const QString l = QString::fromStdString(label);
        return (l.size() > 12 ? l.left(10) + "…" : l).toStdString();
    };
    const std::string got =
        ::listedNames(entries, QTest::currentDataTag()[0] == 'f' ? fit : nullptr);
    QCOMPARE(digitsShown(QString::fromStdString(got)), names.join('\n') + '\n');
}

// Sorted by their bytes, as the player's file selector sorts them, the names are the entries in
// their order, each once; and MPlayer's menu definition makes the listed menu a file selector.
void CoreTest::listedNamesKeepTheOrder()
{
    for (int count : {1, 2, 3, 4, 9, 10, 41, 100, 243, 244}) {
        std::vector<MenuEntry> entries;
        for (int i = 0; i < count; ++i)
            entries.push_back({i % 2 ? "Same" : "Zz", MenuEntry::Command, "@x", {}});
        std::istringstream lines(::listedNames(entries, nullptr));
        std::vector<std::string> names;
        for (std::string name; std::getline(lines, name);)
            names.push_back(name);
        QCOMPARE(int(names.size()), count);
        // Each name after the one before it: in order and none twice.
        QVERIFY(std::adjacent_find(names.begin(), names.end(), std::greater_equal<>()) ==
                names.end());
    }
    const std::string definition = menuDefinition({{"audio", "Sound \"track\"", {}, true}});
    QCOMPARE(QString::fromStdString(definition),
             QString("<filesel name=\"audio\" title=\"Sound ”track”\" file-action=\"\" "
                     "dir-action=\"\" ptr=\"> \"/>\n"));
}

// mpv's driver alone: the tracks told, subtitle files added, tracks chosen and seeks. /v/a.avi
// (entry 1) has /v/a.srt beside it.
void CoreTest::mpvTracks_data()
{
    addColumns();
    // Its track-list, as a change or an answer, with one sound track or the other selected.
    const QString tracks = R"(<{%1"data":[{"id":1,"type":"audio","lang":"fre","selected":%2},)"
                           R"({"id":2,"type":"audio","title":"commentary","selected":%3},)"
                           R"({"id":1,"type":"sub","external":true,"external-filename":)"
                           R"("/v/a.srt"}]})";
    const QString change = R"("event":"property-change","id":4,"name":"track-list",)";
    const QString answer = R"("request_id":{%1:track-list},"error":"success",)";
    const QString chapters =
        R"x(<{"request_id":{%1:chapter-list},"error":"success","data":)x"
        R"x([{"title":"Opening","time":0},{"title":"(unnamed)","time":7.5}]})x";
    const QString noChapters = R"(<{"request_id":{id:chapter-list},"error":"success","data":[]})";
    const QString told = "@%1 tracks audio 1:fre: 2::commentary on %2; subtitles +1::/v/a.srt on "
                         "-1; chapters 0:Opening 7.5:";
    const QString start = R"(<{"event":"start-file","playlist_entry_id":%1})",
                  loaded = R"(<{"event":"file-loaded"})",
                  aEnds = R"(<{"event":"end-file","reason":"eof","playlist_entry_id":1})",
                  bAdded = R"(<{"request_id":{id:/v/b.avi},"error":"success","data":)"
                           R"({"playlist_entry_id":2}})",
                  loadB = R"(@0 > {"flags":"replace","name":"loadfile","options":{},)"
                          R"("url":"/v/b.avi"})";
    const auto asked = [](int at) {
        return QStringList{QString(R"(@%1 > ["get_property","track-list"])").arg(at),
                           QString(R"(@%1 > ["get_property","chapter-list"])").arg(at)};
    };
    const auto subAdd = [](const QStringList& paths) {
        QStringList sent;
        for (const QString& path : paths)
            sent << QString(R"(@0 > ["sub-add","%1","auto"])").arg(path);
        return sent;
    };
    const QStringList aOpens = subAdd({"/v/a.srt"}) + asked(0);
    // Sound track 1 on, 2 on or neither, as a change; 1 on as an answer; empty lists.
    const QString on1 = tracks.arg(change, "true", "false"),
                  on2 = tracks.arg(change, "false", "true"),
                  onNone = tracks.arg(change, "false", "false"),
                  answered = tracks.arg(answer.arg("id"), "true", "false"),
                  noTracks = "<{" + answer.arg("id") + "\"data\":[]}",
                  noneChanged = "<{" + change + "\"data\":[]}",
                  staleTracks = tracks.arg(answer.arg("idfirst"), "true", "false"),
                  staleChapters = chapters.arg("idfirst");
    const QString startA = start.arg(1), startB = start.arg(2), chaptersA = chapters.arg("id");
    const QStringList aPlays{startA, loaded, answered, chaptersA};

    QTest::newRow("told once the file is open, as it plays, and again when they change")
        << false << QStringList{startA, onNone, loaded, on1,   answered,   chaptersA,
                                on1,    "@100", on2,    aEnds, noneChanged}
        << aOpens + QStringList{told.arg(0).arg(1), told.arg(100).arg(2)};
    QTest::newRow("a clip chosen in place of another: what changes in the other is not told")
        << false << aPlays + QStringList{"!/v/b.avi", on2}
        << aOpens + QStringList{told.arg(0).arg(1), loadB};
    // Here they come once the next file is open, as they might after a short or broken file.
    QTest::newRow("an answer about a file that has ended is none about the next")
        << false << QStringList{startA, loaded,      aEnds,         "!/v/b.avi", bAdded,    startB,
                                loaded, staleTracks, staleChapters, noTracks,    noChapters}
        << aOpens + QStringList{loadB} + asked(0) +
               QStringList{"@0 tracks audio on -1; subtitles on -1; chapters"};

    // Beside /v/b.avi: mpv names them as it was given them (here in another order); one it
    // could not open, one not UTF-8 (through an alias), and the user's own -sub.
    const QString file = R"({"id":%1,"type":"sub","external":true,"external-filename":"%2"})";
    const QString besideB = "<{" + answer.arg("id") + "\"data\":[" + file.arg(1).arg("./u.srt") +
                            "," + file.arg(2).arg("/private/1.srt") + "," +
                            file.arg(3).arg("/v/b.fr.srt") + "," + file.arg(4).arg("/v/b.srt") +
                            "]}";
    QTest::newRow("subtitle files beside a clip: added as it opens, told in the order given")
        << false
        << QStringList{"!/v/b.avi /v/b.srt /v/b.fr.srt /v/gone.srt /v/b%FF.srt",
                       bAdded,
                       startB,
                       loaded,
                       besideB,
                       noChapters}
        << QStringList{"@0 link /private/1.srt -> /v/b\uFFFD.srt", loadB} +
               subAdd({"/v/b.srt", "/v/b.fr.srt", "/v/gone.srt", "/private/1.srt"}) + asked(0) +
               QStringList{"@0 tracks audio on -1; subtitles +4::/v/b.srt +3::/v/b.fr.srt "
                           "+2::/v/b\uFFFD.srt +1::./u.srt on -1; chapters"};

    // mpv takes them only once the file is open, after its subtitle files (a choice may be
    // one of them); then at once. A new file waits again.
    QTest::newRow("tracks chosen and seeks wait for the file to open, then go in order")
        << false << QStringList{"=2 -1", "~7.5",      "=-2 3", "=-2 -2", startA, loaded, "=1 -2",
                                "~0",    "!/v/b.avi", "=2 -2", bAdded,   startB, "@50",  loaded}
        << aOpens +
               QStringList{R"(@0 > ["set_property","aid",2])",
                           R"(@0 > ["set_property","sid","no"])",
                           R"(@0 > ["osd-auto","seek",7.5,"absolute+exact"])",
                           R"(@0 > ["set_property","sid",3])",
                           R"(@0 > ["set_property","aid",1])",
                           R"(@0 > ["osd-auto","seek",0.0,"absolute+exact"])",
                           loadB} +
               asked(50) + QStringList{R"(@50 > ["set_property","aid",2])"};
}

// mpv's lists as the driver tells them, where they are not what a plain file gives: no names,
// no sound, a secondary subtitle, an unnamed chapter (mpv's Matroska reader names one that has
// none "(unnamed)": the core names it); what is not as mpv writes it passed over; lists that are
// no lists.
void CoreTest::mpvTrackLists()
{
    const char* const rows[][3] = {
        {R"([{"id":1,"type":"audio","selected":false},{"id":1,"type":"sub","selected":true,)"
         R"("main-selection":1},{"id":2,"type":"sub","selected":true,"main-selection":0}])",
         R"x([{"title":"(unnamed)","time":15.3},{"title":"","time":20}])x",
         "audio 1:: on -1; subtitles 1:: 2:: on 2; chapters 15.3: 20:"},
        {R"([1,"x",{"type":"audio"},{"id":"2","type":"audio"},{"id":3,"type":"video",)"
         R"("selected":true},{"id":4,"type":"audio","lang":5,"title":null,"selected":"yes"},)"
         R"({"id":5,"type":"sub","selected":true,"main-selection":"0"}])",
         R"([{"time":"1"},{"title":"x"},2,{"time":3,"title":7}])",
         "audio 4:: on -1; subtitles 5:: on -1; chapters 3:"},
        {"{}", "null", "audio on -1; subtitles on -1; chapters"}};
    for (const auto& [trackList, chapterList, told] : rows)
        QCOMPARE(tracksText(clipTracks(nlohmann::json::parse(trackList),
                                       nlohmann::json::parse(chapterList), {})),
                 QString(told));
}

QTEST_APPLESS_MAIN(CoreTest)
#include "tst_core.moc"

void CoreTest::sticks_data()
{
    addColumns();
    const QString bg = "<Playing /app/bg.avi.";
    const QString started = "<Starting playback...";
    const auto row = [](const char* name, const QStringList& events, const QStringList& actions) {
        QTest::newRow(name) << true << events << actions;
    };
    row("a stick plugged in is read, listed beside the media, and its menu redrawn once read",
        {"@1000", "&/m/S", "menu ok", "@1200", "menu down", "menu ok", "@1400",
         "*/m/S a.avi d/b.avi", "@1600"},
        {"@1000 scan /m/S", "@1000 list /private/list: {0}v | {1}S", "@1000 > set_menu places",
         "@1150 > pausing_keep_force get_property pause", "@1200 > menu down",
         "@1200 list /private/list: {0}Reading…", "@1200 > set_menu stick-1",
         "@1350 > pausing_keep_force get_property pause", "@1400 > menu cancel",
         "@1400 list /private/list: {0}Play all | {1}d | {2}a", "@1400 > set_menu stick-1",
         "@1550 > pausing_keep_force get_property pause"});
    row("a stick pulled out while its menu shows: back to the media, without it",
        {"@1000", "&/m/S", "*/m/S a.avi", "menu ok", "@1200", "menu down", "menu ok", "@1400", "&",
         "@1600"},
        {"@1000 scan /m/S", "@1000 list /private/list: {0}v | {1}S", "@1000 > set_menu places",
         "@1150 > pausing_keep_force get_property pause", "@1200 > menu down",
         "@1200 list /private/list: {0}Play all | {1}a", "@1200 > set_menu stick-1",
         "@1350 > pausing_keep_force get_property pause", "@1400 forget /m/S",
         "@1400 > menu cancel", "@1500 > menu cancel", "@1500 list /private/list: {0}v",
         "@1500 > set_menu places"});
    row("a clip from a stick pulled out: where it was kept, the start menu back with a word",
        {bg,
         started,
         "@1000",
         "&/m/S",
         "*/m/S a.avi",
         "menu ok",
         "@1200",
         "menu down",
         "menu ok",
         "@1400",
         "menu down",
         "menu ok",
         "@1600",
         "<Playing /private/2.avi.",
         started,
         "@2000",
         "&",
         "<ANS_time_pos=12.5",
         "<ANS_length=60.0",
         "@2100",
         bg,
         started,
         "@2600"},
        {"@0 > pause",
         "@0 link /private/1.avi -> /app/bg.avi",
         "@0 > pausing_keep loadfile '/private/1.avi' 1",
         "@150 > pausing_keep_force get_property pause",
         "@1000 scan /m/S",
         "@1000 list /private/list: {0}v | {1}S",
         "@1000 > set_menu places",
         "@1150 > pausing_keep_force get_property pause",
         "@1200 > menu down",
         "@1200 list /private/list: {0}Play all | {1}a",
         "@1200 > set_menu stick-1",
         "@1350 > pausing_keep_force get_property pause",
         "@1400 > menu down",
         "@1400 > menu ok",
         "@1400 link /private/2.avi -> /m/S/a.avi",
         "@1400 write /private/list1: /private/2.avi /private/1.avi",
         "@1400 > loadlist '/private/list1'",
         "@1550 > pausing_keep_force get_property pause",
         "@1600 > menu hide",
         "@1750 > pausing_keep_force get_property pause",
         "@2000 forget /m/S",
         "@2000 > pausing_keep_force get_property time_pos",
         "@2000 > pausing_keep_force get_property length",
         "@2000 save 12.500 60.000 -2 -2 /m/S/a.avi",
         "@2000 write /private/list2: /private/1.avi",
         "@2000 > loadlist '/private/list2'",
         "@2100 > pause",
         "@2100 > pausing_keep loadfile '/private/1.avi' 1",
         "@2100 > menu up",
         "@2100 > menu cancel",
         "@2200 > menu cancel",
         "@2300 > set_menu removed",
         "@2450 > pausing_keep_force get_property pause"});
    row("power off: the mark, then the run ends as with Quit",
        {"@1000", "menu up", "menu up", "menu up", "menu ok", "@1200"},
        {"@1000 > menu up", "@1000 > menu up", "@1000 > menu up", "@1000 > menu ok",
         "@1000 write /run/session-end: power-off", "@1000 > quit"});
    row("sleep: the system asked, the menu left as it is; a refusal says so",
        {"@1000", "menu up", "menu up", "menu ok", "@1200", "#sleep refused", "@1400"},
        {"@1000 > menu up", "@1000 > menu up", "@1000 > menu ok", "@1000 ask logind Suspend",
         "@1150 > pausing_keep_force get_property pause", "@1200 > set_menu sleep-refused",
         "@1350 > pausing_keep_force get_property pause"});
    row("power off over a clip: where it was, first",
        {"<Playing /v/a.avi.", started, "@1000", "set_menu main", "menu up", "menu up", "menu up",
         "menu ok", "@1100", "<ANS_time_pos=42.0", "<ANS_length=100.0", "@1600"},
        {"@1000 > set_menu main", "@1000 write /run/session-end: power-off",
         "@1000 > pausing_keep_force get_property time_pos",
         "@1000 > pausing_keep_force get_property length", "@1100 > menu up", "@1100 > menu up",
         "@1100 > menu up", "@1100 > menu ok", "@1100 save 42.000 100.000 -2 -2 /v/a.avi",
         "@1100 > quit"});
    row("a notice from the run before", {bg, started, "@400"},
        {"@0 > pause", "@0 link /private/1.avi -> /app/bg.avi",
         "@0 > pausing_keep loadfile '/private/1.avi' 1", "@0 > set_menu power-off-refused",
         "@150 > pausing_keep_force get_property pause"});
}

void CoreTest::speech_data()
{
    QTest::addColumn<int>("player");
    QTest::addColumn<bool>("on");
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<QStringList>("said");
    const QStringList mplayerBg{"<Playing /app/bg.avi.", "<Starting playback..."};
    const QStringList mpvBg{R"(<{"event":"start-file","playlist_entry_id":1})"};
    // Down and back up the main menu, into the folder's menu and back out of it.
    const QStringList walk{"menu down", "menu down", "menu up",    "menu up",
                           "menu ok",   "menu down", "menu cancel"};
    const QStringList walked{"@0 say! Tamblin",
                             "@0 say Play a clip",
                             "@0 say! Pause or resume",
                             "@0 say! On-screen display",
                             "@0 say! Pause or resume",
                             "@0 say! Play a clip",
                             "@0 say! v",
                             "@0 say Play all",
                             "@0 say! a",
                             "@0 say! Tamblin",
                             "@0 say Play a clip"};
    for (const auto& [player, name, bg] :
         {std::tuple{int(Run::MPlayer), "MPlayer", mplayerBg}, {int(Run::Mpv), "mpv", mpvBg}}) {
        QTest::addRow("%s: a walk of keys, each selection cutting off the last", name)
            << player << true << bg + walk << walked;
        QTest::addRow("%s: silent while off", name)
            << player << false << bg + walk << QStringList{};
        QTest::addRow("%s: F1 held turns it on, the menu said after it, and off", name)
            << player << false
            << bg + QStringList{"tamblin_speech", "menu down", "tamblin_speech", "menu down"}
            << QStringList{"@0 say! Speech on", "@0 say Tamblin",          "@0 say Play a clip",
                           "@0 keep speech on", "@0 say! Pause or resume", "@0 say! Speech off",
                           "@0 keep speech off"};
        QTest::addRow("%s: the menu's entry turns it on, and the menu stays", name)
            << player << false
            << bg + QStringList{"menu down", "menu down", "menu down", "menu ok", "menu up"}
            << QStringList{"@0 say! Speech on", "@0 say Tamblin", "@0 say Speech: on/off",
                           "@0 keep speech on", "@0 say! On-screen display"};
    }
    QTest::newRow(
        "MPlayer: a clip's name as it starts; the display key: where it is, and for how long")
        << int(Run::MPlayer) << true
        << mplayerBg + QStringList{"menu ok",
                                   "menu down",
                                   "menu ok",
                                   "<Playing /v/a.avi.",
                                   "<Starting playback...",
                                   "@500",
                                   "osd",
                                   "<ANS_time_pos=720.4",
                                   "<ANS_length=5712.0",
                                   "@1000",
                                   "pausing_keep osd",
                                   "<ANS_time_pos=59.6",
                                   "<ANS_length=3600.0"}
        << QStringList{"@0 say! Tamblin",
                       "@0 say Play a clip",
                       "@0 say! v",
                       "@0 say Play all",
                       "@0 say! a",
                       "@0 say! a",
                       "@500 say! 12 minutes of 1 hour 35",
                       "@1000 say! 1 minute of 1 hour"};
    // The menu back on the clip's entry, then the message over it, after what is being said.
    QTest::newRow("mpv: a clip that cannot be played: the message waits its turn")
        << int(Run::Mpv) << true
        << mpvBg +
               QStringList{
                   "menu ok",
                   "menu down",
                   "menu ok",
                   R"(<{"request_id":{id:/v/a.avi},"error":"success","data":{"playlist_entry_id":3}})",
                   R"(<{"event":"start-file","playlist_entry_id":3})",
                   R"(<{"request_id":{id:/app/bg.avi},"error":"success","data":{"playlist_entry_id":4}})",
                   R"(<{"event":"end-file","reason":"error","playlist_entry_id":3,"file_error":"unrecognized file format"})",
                   R"(<{"event":"start-file","playlist_entry_id":4})"}
        << QStringList{"@0 say! Tamblin", "@0 say Play a clip", "@0 say! v",
                       "@0 say Play all", "@0 say! a",          "@0 say! a",
                       "@0 say! v",       "@0 say a",           "@0 say This file cannot be played",
                       "@0 say OK"};
    const QStringList mplayerDown(5, "@0 > pausing_keep_force volume -1");
    const QStringList mplayerUp(5, "@0 > pausing_keep_force volume 1");
    QTest::newRow("MPlayer: the sound down while it speaks, and back after")
        << int(Run::MPlayer) << true << QStringList{"#speaking", "#speaking", "#silent", "#silent"}
        << QStringList{"@0 # sound down"} + mplayerDown + QStringList{"@0 # sound up"} + mplayerUp;
    QTest::newRow("MPlayer: Quit brings the sound back before the player hears it")
        << int(Run::MPlayer) << true << QStringList{"#speaking", "quit", "#silent"}
        << QStringList{"@0 # sound down"} + mplayerDown + QStringList{"@0 # sound up"} + mplayerUp +
               QStringList{"@0 > quit"};
    const QString down = R"(@0 > ["no-osd","multiply","volume",0.5])";
    const QString up = R"(@0 > ["no-osd","multiply","volume",2.0])";
    QTest::newRow("mpv: a termination brings the sound back before the player is ended")
        << int(Run::Mpv) << true << QStringList{"#speaking", "^", "#silent", "#speaking"}
        << QStringList{"@0 # sound down", down, "@0 # sound up", up, "@0 TERM"};
    QTest::newRow("mpv: a player that died has no sound to bring back, nor to turn down")
        << int(Run::Mpv) << true << QStringList{"#speaking", "$", "#silent", "#speaking"}
        << QStringList{"@0 # sound down", down};
    QTest::newRow("mpv: speech turned off while it speaks still brings the sound back")
        << int(Run::Mpv) << true << QStringList{"#speaking", "tamblin_speech", "#silent"}
        << QStringList{"@0 # sound down", down, "@0 say! Speech off", "@0 keep speech off",
                       "@0 # sound up",   up};
}
