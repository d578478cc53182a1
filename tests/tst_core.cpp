// The adapter's core with MPlayer's driver, without I/O: events at given times in, actions out,
// each with the time it came. Event orderings and deadlines, one table.
#include "controller.h"
#include "lineSplitter.h"
#include "mediaMenu.h"
#include "mplayerDriver.h"
#include "mpvDriver.h"

#include <QTest>

#include <csignal>

namespace {

// main: Play a clip, Pause or resume, On-screen display, Quit; f1: Play all, a, b, c (a song).
std::vector<Menu> menus()
{
    MediaScan scan;
    scan.folders.push_back({"/v", "v", {}, {"/v/a.avi", "/v/b.avi", "/v/c.mp3"}, false});
    return buildMenus(scan);
}

QString render(const Action& a)
{
    const QString text = QString::fromStdString(a.text).trimmed();
    switch (a.kind) {
    case Action::ToPlayer:
        return "> " + text;
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
        return "save";
    case Action::MakeLink:
        return QString::fromStdString("link " + a.path + " -> " + a.text);
    case Action::WriteFile:
        return QString::fromStdString("write " + a.path + ": ") + QString(text).replace('\n', ' ');
    default:
        return {};
    }
}

// The core with MPlayer's driver, the start menu up and the background "/app/bg.avi".
struct MPlayerRig
{
    MenuModel model{menus(), "main", true};
    ResumeStore store;
    ClipFlow flow{"/app/bg.avi", &store};
    Actions out;
    MPlayerDriver driver{out, "/private", "/app/song.mkv", "/"};
    Controller core{model, flow, store, driver, out};
};

} // namespace

class CoreTest : public QObject
{
    Q_OBJECT

  private slots:
    // Events, one a line: "@T" the time is now T ms (deadlines on the way are met at their
    // time), "<TEXT" a line of the player's output, "?TEXT" of its errors, "$" it ended, "%" the
    // window went, "^" a termination signal; anything else a command from the window. Results:
    // "@T action", for every action but the trace, at the time it came.
    void orderingsAndDeadlines_data()
    {
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<QStringList>("actions");
        const QString bg = "<Playing /app/bg.avi.";
        const QString started = "<Starting playback...";

        const QString link = "@0 link /private/1.avi -> /app/bg.avi";
        const QString again = "@0 > pausing_keep loadfile '/private/1.avi' 1";
        QTest::newRow("the start menu's background is held still, then rests")
            << QStringList{bg, started, "@1000", "<ANS_pause=yes", "@2000"}
            << QStringList{"@0 > pause", link, again,
                           "@150 > pausing_keep_force get_property pause", "@1060 STOP"};
        QTest::newRow("a key wakes the resting player before its command")
            << QStringList{bg, started, "@300", "<ANS_pause=yes", "@400", "menu down", "@550"}
            << QStringList{"@0 > pause",
                           link,
                           again,
                           "@150 > pausing_keep_force get_property pause",
                           "@360 STOP",
                           "@400 CONT",
                           "@400 > menu down",
                           "@550 > pausing_keep_force get_property pause"};
        QTest::newRow("a command between the question and its answer: no rest")
            << QStringList{bg, started, "@200", "menu down", "<ANS_pause=yes", "@300"}
            << QStringList{"@0 > pause", link, again,
                           "@150 > pausing_keep_force get_property pause", "@200 > menu down"};
        QTest::newRow("after a submenu opens or closes, the next command waits for a frame")
            << QStringList{"@200", "menu ok", "@400", "menu cancel", "menu down", "@500"}
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
            << QStringList{bg,          started,   "@100", "menu ok",
                           "menu down", "menu ok", "@300", "<Playing /private/2.avi.",
                           started}
            << chooseA;
        QTest::newRow("a clip that cannot be played: the menu comes back on it, with a word")
            << QStringList{bg,          started,   "@100",  "menu ok",
                           "menu down", "menu ok", "@300",  "<Playing /private/2.avi.",
                           "@310",      bg,        started, "@400"}
            << chooseA + QStringList{"@310 log tamblin-adapter: cannot play /v/a.avi",
                                     "@310 > pause",
                                     "@310 > pausing_keep loadfile '/private/1.avi' 1",
                                     "@310 > menu up", "@310 > set_menu unplayable"};
        QTest::newRow("a song plays under a picture, cut at its length")
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
            << QStringList{"<Playing /v/a.avi.",
                           started,
                           "@1000",
                           "quit 0",
                           "@1100",
                           "<ANS_time_pos=42.0",
                           "<ANS_length=100.0",
                           "@1200"}
            << QStringList{"@1000 > pausing_keep_force get_property time_pos",
                           "@1000 > pausing_keep_force get_property length", "@1100 save",
                           "@1100 > quit 0"};
        QTest::newRow("... or, when it does not say, a short while")
            << QStringList{"<Playing /v/a.avi.", started, "@1000", "quit 0", "@2000"}
            << QStringList{"@1000 > pausing_keep_force get_property time_pos",
                           "@1000 > pausing_keep_force get_property length", "@1400 > quit 0"};
        QTest::newRow("Quit from the player's menu ends the run, and the session: no more rest")
            << QStringList{"@200", "menu up", "@400", "menu ok", "@2000"}
            << QStringList{"@200 > menu up", "@350 > pausing_keep_force get_property pause",
                           "@400 write /run/session-end: ", "@400 > menu ok"};
        QTest::newRow("the window gone without a quit: quit, then terminate, then kill")
            << QStringList{"@100", "%", "@5000"}
            << QStringList{"@100 > quit",
                           "@2100 log tamblin-adapter: the player did not quit, terminating it",
                           "@2100 TERM", "@4100 KILL"};
        QTest::newRow("a player that ends within the grace is left alone")
            << QStringList{"@100", "%", "@2099", "$", "@9000"} << QStringList{"@100 > quit"};
        QTest::newRow("a termination signal reaches a resting player")
            << QStringList{bg, started, "@300", "<ANS_pause=yes", "@400", "^", "@3000"}
            << QStringList{"@0 > pause", link,
                           again,        "@150 > pausing_keep_force get_property pause",
                           "@360 STOP",  "@400 TERM",
                           "@400 CONT",  "@2400 KILL"};
        QTest::newRow("a player without a display is ended once")
            << QStringList{"?vo: couldn't open the X11 display (:9)!",
                           "?vo: couldn't open the X11 display (:9)!", "@100"}
            << QStringList{"@0 log vo: couldn't open the X11 display (:9)!",
                           "@0 log tamblin-adapter: the player cannot open its X display (\"vo: "
                           "couldn't open the X11 display (:9)!\"); ending it",
                           "@0 TERM", "@0 log vo: couldn't open the X11 display (:9)!"};
        QTest::newRow("our answers go on lines of their own, the player's pass on")
            << QStringList{"get_menu_visibility", "<ANS_volume=50",
                           "pausing_keep_force get_property pause", "<ANS_pause=no"}
            << QStringList{"@0 window ANS_MENU_VISIBILITY=1", "@0 window ANS_volume=50",
                           "@0 > pausing_keep_force get_property pause", "@0 window ANS_pause=no"};
    }

    void orderingsAndDeadlines()
    {
        QFETCH(QStringList, events);
        QFETCH(QStringList, actions);
        MPlayerRig rig;
        Controller& core = rig.core;
        Actions& out = rig.out;
        core.setSessionEnd("/run/session-end");
        long long now = 0;
        QStringList got;
        const auto take = [&] {
            for (const Action& a : out.take()) {
                const QString r = render(a);
                if (!r.isEmpty())
                    got << QString("@%1 %2").arg(now).arg(r);
            }
        };
        for (const QString& e : events) {
            const std::string rest = e.mid(1).toStdString();
            if (e.startsWith('@')) {
                const long long target = e.mid(1).toLongLong();
                for (long long due = core.deadline(); due >= 0 && due <= target;
                     due = core.deadline()) {
                    now = std::max(now, due);
                    core.tick(now);
                    take();
                    if (core.deadline() == due)
                        break;
                }
                now = target;
            } else if (e.startsWith('<')) {
                core.playerOutput(rest + "\n", now);
            } else if (e.startsWith('?')) {
                core.playerErrors(rest + "\n", now);
            } else if (e == "$") {
                core.playerEnded(now);
            } else if (e == "%") {
                core.windowGone(now);
            } else if (e == "^") {
                core.terminate(now);
            } else {
                core.windowLine(e.toStdString() + "\n", now);
            }
            take();
        }
        QCOMPARE(got, actions);
    }

    // The same core with mpv's driver: what goes out is JSON, what comes in is mpv's replies and
    // events ("<JSON"), the window's lines and the time ("@T"). Results: each request, the
    // overlay as shown or hidden, the window's answers, and the times passed. The argument is the
    // run's first file (on mpv's command line, playlist entry 1): the background, or a media
    // argument.
    void mpvOrderings_data()
    {
        QTest::addColumn<bool>("startMenu");
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<QStringList>("actions");
        const QString bg = R"(<{"event":"start-file","playlist_entry_id":1})";
        const QString holdStill = R"(> ["set_property","pause",true])";
        const QString appendBg =
            R"(> {"flags":"append","name":"loadfile","options":{},"url":"/app/bg.avi"})";
        QTest::newRow("the start menu's background is held still")
            << true << QStringList{bg} << QStringList{holdStill, appendBg};
        // Tests and benchmarks take a screenshot at rest: the picture must be there by then.
        QTest::newRow("at rest only once the file's first picture is shown")
            << true
            << QStringList{bg,
                           R"(<{"event":"property-change","id":1,"name":"pause","data":true})",
                           R"(<{"event":"file-loaded"})",
                           "@400",
                           R"(<{"event":"playback-restart"})",
                           "@549",
                           "@550"}
            << QStringList{holdStill,   appendBg, "> overlay shown", "@400", "@549",
                           "# at rest", "@550"};
        // A clip chosen from the start menu, and what that sends.
        const QStringList chosen{
            bg,
            "menu ok",
            "menu down",
            "menu ok",
            R"(<{"request_id":10,"error":"success","data":{"playlist_entry_id":3}})",
            R"(<{"event":"start-file","playlist_entry_id":3})"};
        const QStringList played{
            holdStill,
            appendBg,
            "> overlay shown",
            "> overlay shown",
            R"(> {"flags":"replace","name":"loadfile","options":{},"url":"/v/a.avi"})",
            appendBg,
            "> overlay hidden",
            R"(> ["set_property","pause",false])"};
        QTest::newRow("a clip from the menu plays, the menu goes") << true << chosen << played;
        QTest::newRow("a clip that cannot be played: the menu back on it, with a word")
            << true
            << chosen +
                   QStringList{
                       R"(<{"request_id":11,"error":"success","data":{"playlist_entry_id":4}})",
                       R"(<{"event":"end-file","reason":"error","playlist_entry_id":3,"file_error":"unrecognized file format"})",
                       R"(<{"event":"start-file","playlist_entry_id":4})"}
            << played + QStringList{"log tamblin-adapter: cannot play /v/a.avi", holdStill,
                                    appendBg, "> overlay shown", "> overlay shown"};
        // A redraw asked for within a frame of the pause can be lost: the menu is sent again a
        // frame and a half after it, at the file's frame rate or, when it does not say, at 10.
        for (const auto& [fps, due] : {std::pair{"25", 60}, std::pair{"null", 150}}) {
            const QString rate =
                QStringLiteral(R"(<{"event":"property-change","id":3,"name":"container-fps",)"
                               R"("data":%1})")
                    .arg(fps);
            QTest::addRow("F1 over a playing clip at %s fps: held, and drawn again once paused",
                          fps)
                << false
                << QStringList{R"(<{"event":"start-file","playlist_entry_id":1})",
                               rate,
                               "set_menu main",
                               R"(<{"event":"property-change","id":1,"name":"pause","data":true})",
                               "@" + QString::number(due - 1),
                               "@" + QString::number(due)}
                << QStringList{R"(> ["set_property","pause",false])",
                               "> overlay shown",
                               R"(> ["set_property","pause",true])",
                               "@" + QString::number(due - 1),
                               "> overlay shown",
                               "@" + QString::number(due)};
        }
        QTest::newRow("queries answered as MPlayer answers them")
            << false
            << QStringList{"pausing_keep_force get_property pause",
                           R"(<{"request_id":5,"error":"success","data":true})",
                           "get_property time_pos",
                           R"(<{"request_id":6,"error":"property unavailable"})",
                           "get_menu_visibility"}
            << QStringList{R"(> ["get_property","pause"])", "window ANS_pause=yes",
                           R"(> ["get_property","time-pos"])",
                           "window ANS_ERROR=PROPERTY_UNAVAILABLE", "window ANS_MENU_VISIBILITY=0"};
        // mpv refuses a seek until the file is open (MPlayer reads it only then): it waits.
        QTest::newRow("seeks before the file is open wait for it")
            << false
            << QStringList{"seek 15 2", R"(<{"event":"start-file","playlist_entry_id":1})",
                           "seek 5", R"(<{"event":"file-loaded"})", "seek 1"}
            << QStringList{R"(> ["set_property","pause",false])",
                           R"(> ["osd-auto","seek",15.0,"absolute"])",
                           R"(> ["osd-auto","seek",5.0,"relative"])",
                           R"(> ["osd-auto","seek",1.0,"relative"])"};
        QTest::newRow("nothing left to play: the run ends")
            << false
            << QStringList{R"(<{"event":"start-file","playlist_entry_id":1})",
                           R"(<{"event":"end-file","reason":"eof","playlist_entry_id":1})",
                           R"(<{"event":"idle"})"}
            << QStringList{R"(> ["set_property","pause",false])", R"(> ["quit",0])"};
    }

    void mpvOrderings()
    {
        QFETCH(bool, startMenu);
        QFETCH(QStringList, events);
        QFETCH(QStringList, actions);
        const std::vector<Menu> built = menus();
        MenuModel model(built, "main", startMenu);
        ResumeStore store;
        ClipFlow flow(startMenu ? "/app/bg.avi" : "", &store);
        Actions out;
        const std::u32string characters = menuCharacters(built, "> _");
        MenuOverlay overlay(chooseMenuFont(characters), characters, 640, 480);
        MpvDriver driver(out, model, overlay, "/private", startMenu ? "/app/bg.avi" : "/v/a.avi");
        driver.start(0);
        out.take(); // the watches, the log's level, the first overlay
        Controller core(model, flow, store, driver, out);
        long long now = 0;
        QStringList got;
        const auto take = [&] {
            for (const Action& a : out.take()) {
                if (a.kind == Action::ToPlayer) {
                    const nlohmann::json c = nlohmann::json::parse(a.text)["command"];
                    got << (c.is_object() && c.value("name", "") == "osd-overlay"
                                ? QString(c.value("data", "").empty() ? "> overlay hidden"
                                                                      : "> overlay shown")
                                : "> " + QString::fromStdString(c.dump()));
                } else if (a.kind == Action::ToWindow || a.kind == Action::ToLog) {
                    got << (a.kind == Action::ToLog ? "log " : "window ") +
                               QString::fromStdString(a.text).trimmed();
                } else if (a.kind == Action::Trace && a.text == "# at rest") {
                    got << "# at rest";
                }
            }
        };
        for (const QString& e : events) {
            if (e.startsWith('@')) {
                now = e.mid(1).toLongLong();
                core.tick(now);
            } else if (e.startsWith('<')) {
                core.playerOutput(e.mid(1).toStdString() + "\n", now);
            } else {
                core.windowLine(e.toStdString() + "\n", now);
            }
            take();
            if (e.startsWith('@'))
                got << e; // what came before it came earlier
        }
        QCOMPARE(got, actions);
    }

    // A line longer than the loop holds reaches the window in pieces: an answer in between
    // starts a line of its own.
    void answersAfterAPieceOfALine()
    {
        MPlayerRig rig;
        Controller& core = rig.core;
        Actions& out = rig.out;
        LineSplitter lines("\r\n", 16);
        const std::string bytes(40, 'x');
        lines.append(bytes.data(), bytes.size());
        std::string piece;
        while (lines.next(&piece))
            core.playerOutput(piece, 0);
        core.windowLine("get_menu_visibility\n", 0);
        std::string window;
        for (const Action& a : out.take()) {
            if (a.kind == Action::ToWindow)
                window += a.text;
        }
        QCOMPARE(window, std::string(32, 'x') + "\nANS_MENU_VISIBILITY=1\n");
    }
};

QTEST_APPLESS_MAIN(CoreTest)
#include "tst_core.moc"
