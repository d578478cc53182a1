// The menu as the adapter draws it over mpv: what Debian's libass draws of a name, and what
// Debian's mpv then shows on a virtual screen.
#include "inkOf.h"
#include "mediaMenu.h"
#include "menuOverlay.h"
#include "menuText.h"
#include "mplayerMenu.h"
#include "spawn.h"

#include <QTemporaryDir>
#include <QTest>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <poll.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

// One event line: its tag blocks, the rest, and where it goes. (Names are checked against
// libass itself, below: this only finds plain labels and positions.)
struct Drawn
{
    std::vector<std::string> blocks; // the leading one first
    std::string text;
    int x = -1, y = -1;
};

Drawn parse(const std::string& line)
{
    Drawn d;
    for (size_t i = 0; i < line.size();) {
        const size_t end = line[i] == '{' ? line.find('}', i) : std::string::npos;
        if (end != std::string::npos) {
            d.blocks.push_back(line.substr(i + 1, end - i - 1));
            i = end + 1;
        } else {
            d.text += line[i++];
        }
    }
    if (!d.blocks.empty())
        sscanf(d.blocks[0].c_str(), "\\an%*d\\pos(%d,%d)", &d.x, &d.y);
    return d;
}

std::vector<Drawn> drawn(const std::string& events)
{
    std::vector<Drawn> lines;
    std::istringstream in(events);
    for (std::string line; std::getline(in, line);)
        lines.push_back(parse(line));
    return lines;
}

Menu menu(const std::string& title, const std::vector<std::string>& labels)
{
    Menu m{"main", title, {}};
    for (const std::string& l : labels)
        m.entries.push_back({l, MenuEntry::Nothing, "", {}});
    return m;
}

// What the adapter measures for the model's menus.
std::u32string characters(const MenuModel& model)
{
    return menuCharacters(model.menus(), "");
}

bool within(int ms, const std::function<bool()>& done)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// Debian's mpv in a window of its own at the top left of a larger Xvfb screen, its IPC on a
// socket; everything it starts ends with it.
class MpvScreen
{
  public:
    MpvScreen(int width, int height) : width_(width), height_(height)
    {
        // Xvfb names the display it finds free; -br keeps the screen around the window black.
        int named[2];
        if (pipe2(named, O_CLOEXEC) != 0)
            return;
        const std::string screen = std::to_string(width + 64) + "x" + std::to_string(height + 64);
        xvfb_ = spawnProcess({"/usr/bin/Xvfb",
                              {"Xvfb", "-displayfd", "1", "-br", "-noreset", "-nolisten", "tcp",
                               "-screen", "0", screen + "x24"},
                              {},
                              -1,
                              named[1]});
        close(named[1]);
        char c;
        pollfd p{named[0], POLLIN, 0};
        while (poll(&p, 1, 20000) > 0 && read(named[0], &c, 1) == 1 && c != '\n')
            display_ += c;
        close(named[0]);
        int ends[2];
        if (display_.size() < 2 || socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
            return;
        const std::string size = std::to_string(width) + "x" + std::to_string(height);
        mpv_ = spawnProcess(
            {"/usr/bin/mpv",
             {"mpv", "--no-config", "--vo=x11", "--ao=null", "--idle=yes", "--force-window=yes",
              "--input-ipc-client=fd://0", "--no-terminal", "--osc=no", "--load-scripts=no",
              "--no-border", "--geometry=" + size + "+0+0"},
             {"DISPLAY=" + display_},
             ends[1]});
        close(ends[1]);
        socket_ = ends[0];
    }
    ~MpvScreen()
    {
        close(socket_); // mpv quits when its end closes
        end(mpv_, 0);
        end(xvfb_, SIGTERM);
    }
    bool started() const { return mpv_ > 0; }
    bool show(const std::string& events) const
    {
        const nlohmann::json command = {{"command",
                                         {{"name", "osd-overlay"},
                                          {"id", 1},
                                          {"format", "ass-events"},
                                          {"data", events},
                                          {"res_x", width_},
                                          {"res_y", height_},
                                          {"z", 0}}}};
        const std::string line = command.dump() + "\n";
        return write(socket_, line.data(), line.size()) == ssize_t(line.size());
    }
    // Takes a screenshot of the whole screen.
    bool shoot()
    {
        const std::string file = dir_.filePath("screen.ppm").toStdString();
        const pid_t import =
            spawnProcess({"/usr/bin/import",
                          {"import", "-window", "root", "-depth", "8", "ppm:" + file},
                          {"DISPLAY=" + display_}});
        int status, depth = 0;
        if (import <= 0 || waitpid(import, &status, 0) != import)
            return false;
        std::ifstream in(file, std::ios::binary);
        std::string magic;
        in >> magic >> shotWidth_ >> shotHeight_ >> depth;
        in.get();
        rgb_.assign(size_t(shotWidth_ * shotHeight_ * 3), 0);
        in.read(reinterpret_cast<char*>(rgb_.data()), std::streamsize(rgb_.size()));
        return in.good() && magic == "P6" && depth == 255;
    }
    int shotWidth() const { return shotWidth_; }
    int shotHeight() const { return shotHeight_; }
    const unsigned char* at(int x, int y) const { return &rgb_[size_t(y * shotWidth_ + x) * 3]; }
    bool white(int x, int y) const
    {
        return std::min({at(x, y)[0], at(x, y)[1], at(x, y)[2]}) > 200;
    }
    bool near(int x, int y, int r, int g, int b) const
    {
        const unsigned char* p = at(x, y);
        return std::abs(p[0] - r) < 12 && std::abs(p[1] - g) < 12 && std::abs(p[2] - b) < 12;
    }

  private:
    static void end(pid_t pid, int signal)
    {
        int status;
        if (pid <= 0)
            return;
        if (signal)
            kill(pid, signal);
        if (!within(5000, [&] { return waitpid(pid, &status, WNOHANG) == pid; })) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
        }
    }
    int width_, height_;
    std::string display_ = ":";
    pid_t xvfb_ = -1, mpv_ = -1;
    int socket_ = -1;
    QTemporaryDir dir_;
    int shotWidth_ = 0, shotHeight_ = 0;
    std::vector<unsigned char> rgb_;
};

} // namespace

class MenuOverlayTest : public QObject
{
    Q_OBJECT

    MenuFont latin_ = chooseMenuFont(U"Tamblin> _");

  private slots:
    // A name shows as its characters, whatever markup it holds: the title's and the entry's
    // letters as libass draws them are the characters' own glyphs, set one after another.
    void namesShowLiterally_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("shown");
        QTest::newRow("tags") << QByteArray("{\\fs60\\1c&H0000FF&}x") << QByteArray();
        QTest::newRow("line break") << QByteArray("a\\Nb") << QByteArray();
        QTest::newRow("soft line break") << QByteArray("a\\nb") << QByteArray();
        QTest::newRow("hard space") << QByteArray("a\\hb") << QByteArray();
        QTest::newRow("open brace") << QByteArray("a{b") << QByteArray();
        QTest::newRow("close brace") << QByteArray("a}b") << QByteArray();
        QTest::newRow("escaped braces") << QByteArray("\\{x\\}") << QByteArray();
        QTest::newRow("backslashes") << QByteArray("a\\\\N\\") << QByteArray();
        QTest::newRow("line feed") << QByteArray("one\ntwo") << QByteArray("one two");
        QTest::newRow("carriage return") << QByteArray("one\r\ntwo") << QByteArray("one  two");
        QTest::newRow("markup-like") << QByteArray("<b>\"&amp;\"</b>") << QByteArray();
        QTest::newRow("the mark of the track in use")
            << QByteArray("\u25CF English (commentary)") << QByteArray();
    }
    void namesShowLiterally()
    {
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, shown);
        const int w = 640, h = 480;
        MenuModel model({menu(name.toStdString(), {name.toStdString(), "after"})}, "main", true);
        MenuOverlay overlay(OverlayMetrics(latin_, characters(model), w, h));
        std::vector<std::string> lines;
        std::istringstream in(overlay.events(model));
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        // The bar, the pointer, the title, the name, "after".
        QCOMPARE(lines.size(), size_t(5));
        const std::u32string expected = codePoints((shown.isEmpty() ? name : shown).toStdString());
        for (size_t i : {size_t(2), size_t(3)}) {
            const size_t fs = lines[i].find("\\fs");
            QVERIFY(fs != std::string::npos);
            const Ink literal = literalInk(expected, atof(lines[i].c_str() + fs + 3), w, h, latin_);
            const QString differ = sameLetters(libassInk(lines[i], w, h, latin_), literal);
            QVERIFY2(differ.isEmpty(), qPrintable(QString("line %1: %2").arg(i).arg(differ)));
        }
    }

    void hiddenIsEmpty()
    {
        MenuModel model({menu("Tamblin", {"one"})}, "main", false);
        MenuOverlay overlay(OverlayMetrics(latin_, characters(model), 640, 480));
        QCOMPARE(overlay.events(model), std::string());
        model.apply("menu down");
        QVERIFY(!overlay.events(model).empty());
        model.apply("menu hide");
        QCOMPARE(overlay.events(model), std::string());
    }

    // Drawn in order: the bar, the pointer, the title, the entries shown.
    void scrollingKeepsTheSelectionShown()
    {
        std::vector<std::string> labels;
        for (int i = 0; i < 30; ++i)
            labels.push_back("Entry " + std::to_string(i));
        MenuModel model({menu("Tamblin", labels)}, "main", true);
        MenuOverlay overlay(OverlayMetrics(latin_, characters(model), 640, 480));
        size_t shown = 0;
        int first = 0;
        for (int step = 0; step < 75; ++step) {
            const std::vector<Drawn> d = drawn(overlay.events(model));
            shown = shown ? shown : d.size() - 3;
            QVERIFY(shown >= 11);
            QCOMPARE(d.size() - 3, shown);
            const int wasFirst = first;
            first = std::stoi(d[3].text.substr(6));
            bool found = false;
            for (size_t i = 3; i < d.size(); ++i)
                found =
                    found || (d[i].y == d[1].y && d[i].text == labels[size_t(model.selection())]);
            QVERIFY2(found, qPrintable(QString("step %1").arg(step)));
            // The list stays while the selection is in it, and moves by one when it steps out
            // (a wrap round aside).
            const int selection = model.selection();
            if (step > 0 && selection >= wasFirst && selection < wasFirst + int(shown))
                QCOMPARE(first, wasFirst);
            else if (step > 0 && selection != 0 && selection != 29)
                QCOMPARE(std::abs(first - wasFirst), 1);
            model.apply(step < 40 ? "menu down" : "menu up");
        }
    }

    void longTextIsCutToTheWidth()
    {
        const std::string word = "Longer and longer ";
        std::string long_;
        for (int i = 0; i < 40; ++i)
            long_ += word;
        MenuModel model({menu(long_, {"short", long_})}, "main", true);
        std::vector<size_t> cut;
        for (int width : {640, 1280}) {
            MenuOverlay overlay(OverlayMetrics(latin_, characters(model), width, 480));
            const std::vector<Drawn> d = drawn(overlay.events(model));
            QCOMPARE(d[3].text, std::string("short"));
            for (const Drawn& line : {d[2], d[4]}) {
                const std::string kept = line.text.substr(0, line.text.size() - 3);
                QCOMPARE(line.text.substr(kept.size()), std::string("…"));
                QVERIFY(long_.compare(0, kept.size(), kept) == 0);
                cut.push_back(kept.size());
            }
        }
        QVERIFY(cut[2] > cut[0] * 2 && cut[3] > cut[1] * 2);
    }

    // The size rule, on both players: at each height the title and 11 entries fill the window
    // at the pixel size stated here, MPlayer's and the overlay's the same; as libass draws the
    // overlay, its title, every entry it shows (long ones cut) and the bar lie inside the
    // window, the bar behind the selected entry.
    void menuFillsTheWindow_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("size");  // the font's, in pixels
        QTest::addColumn<int>("pitch"); // from one line to the next
        QTest::newRow("240 lines") << 320 << 240 << 12 << 19;
        QTest::newRow("480 lines") << 640 << 480 << 29 << 39;
        QTest::newRow("720 lines") << 1280 << 720 << 46 << 59;
        QTest::newRow("1080 lines") << 1920 << 1080 << 72 << 89;
    }

    void menuFillsTheWindow()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, size);
        QFETCH(int, pitch);
        std::vector<std::string> labels;
        for (int i = 0; i < 30; ++i)
            labels.push_back("Entry " + std::to_string(i));
        // Long ones, of narrow letters: cut within a pixel or two of the room there is.
        labels[7] = std::string(400, 'l');
        const std::vector<Menu> menus{menu(std::string(400, 'l'), labels)};

        // MPlayer is handed the size as a share of the picture's height.
        const MPlayerMenuLook look = mplayerMenuLook(menus, WindowSize{width, height});
        const auto scale =
            std::find(look.options.begin(), look.options.end(), std::string("-subfont-osd-scale"));
        QVERIFY(scale != look.options.end() && scale + 1 != look.options.end());
        QCOMPARE(int(std::lround(atof((scale + 1)->c_str()) * height / 100)), size);
        // Its definition has the long title and entry cut, the title to the wider room (no
        // pointer before it), and the rest whole.
        const std::string& text = look.definition;
        const size_t title = text.find("title=\"l"), entry = text.find("<e name=\"l");
        QVERIFY(title != std::string::npos && entry != std::string::npos);
        const size_t titleCut = text.find("l\u2026\"", title),
                     entryCut = text.find("l\u2026\"", entry);
        QVERIFY(titleCut != std::string::npos && entryCut != std::string::npos);
        QVERIFY(titleCut - title > entryCut - entry);
        QVERIFY(text.find("<e name=\"Entry 29\"") != std::string::npos);

        const int margin = 40;
        MenuModel model(menus, "main", true);
        MenuOverlay overlay(OverlayMetrics(latin_, characters(model), width, height));
        for (int selection : {0, 7, 29}) {
            while (model.selection() != selection)
                model.apply("menu down");
            const std::string events = overlay.events(model);
            const std::vector<Drawn> d = drawn(events);
            // The bar, the pointer, the title, and 11 entries a pitch apart.
            QCOMPARE(d.size(), size_t(3 + 11));
            for (size_t i = 4; i < d.size(); ++i)
                QCOMPARE(d[i].y - d[i - 1].y, pitch);
            int barWidth = 0, barHeight = 0;
            QCOMPARE(sscanf(d[0].text.c_str(), "m 0 0 l %d 0 %*d %d", &barWidth, &barHeight), 2);
            QCOMPARE(barHeight, pitch);
            QVERIFY(d[0].y <= d[1].y && d[1].y < d[0].y + barHeight);
            QVERIFY(d[0].x >= 0 && d[0].y >= 0 && d[0].x + barWidth <= width &&
                    d[0].y + barHeight <= height);
            const QRect ink = libassInk(events, width, height, latin_, false, margin).box();
            QVERIFY2(QRect(margin, margin, width, height).contains(ink),
                     qPrintable(QString("ink at %1,%2 %3x%4")
                                    .arg(ink.x() - margin)
                                    .arg(ink.y() - margin)
                                    .arg(ink.width())
                                    .arg(ink.height())));
        }
    }

    // A menu given other entries (a listed one, the mark moved to the track now in use) is
    // drawn with them the next time it opens.
    void changedMenuIsDrawnAnew()
    {
        Menu main = menu("Tamblin", {});
        main.entries.push_back({"Sound track", MenuEntry::OpenMenu, "audio", {}});
        MenuModel model({main, {"audio", "Sound track", {}, true}}, "main", true);
        MenuOverlay overlay(OverlayMetrics(latin_, characters(model), 640, 480));
        for (const char* label : {"\u25CF Fran\u00E7ais", "Fran\u00E7ais"}) {
            model.setEntries("audio", {{label, MenuEntry::Command, "@audio 1", {}}});
            model.apply("menu ok");
            QCOMPARE(drawn(overlay.events(model)).at(3).text, std::string(label));
            model.apply("menu cancel");
        }
    }

    // Debian's mpv on Xvfb: the menu shows inside the window, CJK (after the mark of a track in
    // use) in real glyphs, and an empty overlay takes it away.
    void mpvDrawsIt()
    {
        for (const char* tool : {"/usr/bin/Xvfb", "/usr/bin/mpv", "/usr/bin/import"}) {
            if (access(tool, X_OK) != 0)
                QSKIP("Xvfb, mpv and ImageMagick are needed");
        }
        const int w = 640, h = 480;
        MpvScreen screen(w, h);
        QVERIFY2(screen.started(), "Xvfb or mpv did not start");
        // Code points that no font has: where glyphs were missing, both rows would show the
        // same boxes.
        const std::vector<std::string> names = {"● 映画 ネコ", "\u0378\u0379 \u0380\u0381",
                                                std::string(200, 'W'), "{\\fs60\\1c&H0000FF&}x"};
        MenuModel model({menu("Tamblin", names)}, "main", true);
        model.apply("menu down");
        model.apply("menu down"); // the bar behind the long name, away from the rows compared
        MenuOverlay overlay(OverlayMetrics(latin_, characters(model), w, h));
        const std::string events = overlay.events(model);
        const std::vector<Drawn> d = drawn(events);
        QVERIFY(screen.show(events));
        QVERIFY2(within(20000,
                        [&] {
                            return screen.shoot() &&
                                   screen.near(d[0].x + 2, d[0].y + 1, 0x7a, 0x81, 0x8d);
                        }),
                 "the bar did not show");

        int right = 0, inked = 0;
        for (int y = 0; y < screen.shotHeight(); ++y) {
            for (int x = 0; x < screen.shotWidth(); ++x) {
                QVERIFY2(!screen.near(x, y, 255, 0, 0), "a name's tags took effect");
                if (!screen.white(x, y))
                    continue;
                QVERIFY2(x < w - 1 && y < h - 1, "letters outside the window");
                right = std::max(right, x);
                ++inked;
            }
        }
        QVERIFY2(right > w * 9 / 10, "the long name was cut too short");
        // The rows of the CJK name and of the missing glyphs, pixel by pixel.
        int cjkInk = 0, differ = 0;
        const int pitch = d[4].y - d[3].y;
        for (int y = d[3].y; y < d[3].y + pitch; ++y) {
            for (int x = d[3].x; x < w; ++x) {
                cjkInk += screen.white(x, y);
                differ += screen.white(x, y) != screen.white(x, y + pitch);
            }
        }
        QVERIFY2(cjkInk > 100, "no ink where the CJK name is");
        QVERIFY2(differ > cjkInk / 4, "the CJK name is drawn as boxes");

        QVERIFY(screen.show(""));
        const auto blank = [&] {
            for (int y = 0; y < h; ++y) {
                for (int x = 0; x < w; ++x) {
                    if (!screen.near(x, y, 0, 0, 0))
                        return false;
                }
            }
            return true;
        };
        QVERIFY2(within(20000, [&] { return screen.shoot() && blank(); }),
                 "the menu stayed after an empty overlay");
    }
};

QTEST_APPLESS_MAIN(MenuOverlayTest)
#include "tst_menuOverlay.moc"
