// The menu as the adapter draws it over mpv: what Debian's libass draws of a name, and what
// Debian's mpv then shows on a virtual screen.
#include "menuOverlay.h"
#include "menuText.h"
#include "mplayerMenu.h"
#include "spawn.h"

#include <QRect>
#include <QTemporaryDir>
#include <QTest>

#include <ass/ass.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H
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

// Which pixels of a frame have ink, at half cover or more.
struct Ink
{
    int width, height;
    std::vector<unsigned char> on;
    Ink(int w, int h) : width(w), height(h), on(size_t(w * h)) {}
    void cover(int x, int y, int alpha)
    {
        if (x >= 0 && y >= 0 && x < width && y < height && alpha >= 128)
            on[size_t(y * width + x)] = 1;
    }
    bool at(int x, int y) const
    {
        return x >= 0 && y >= 0 && x < width && y < height && on[size_t(y * width + x)];
    }
    QRect box() const
    {
        QRect r;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                if (at(x, y))
                    r |= QRect(x, y, 1, 1);
        return r;
    }
};

// The events as Debian's libass draws them, with the fonts fontconfig has, as mpv's are, in a
// frame of the overlay's size with `margin` pixels more on each side (every \pos moved by as
// much), where whatever lies outside the window would show. Letters only, or all the ink:
// outlines and the bar too.
Ink libassInk(const std::string& events, int width, int height, const MenuFont& font,
              bool lettersOnly = true, int margin = 0)
{
    width += 2 * margin;
    height += 2 * margin;
    ASS_Library* library = ass_library_init();
    ass_set_message_cb(
        library, [](int, const char*, va_list, void*) {}, nullptr);
    ASS_Renderer* renderer = ass_renderer_init(library);
    ass_set_frame_size(renderer, width, height);
    ass_set_storage_size(renderer, width, height);
    ass_set_fonts(renderer, font.file.c_str(), "sans-serif", ASS_FONTPROVIDER_AUTODETECT, nullptr,
                  1);
    std::string script =
        "[Script Info]\nScriptType: v4.00+\nPlayResX: " + std::to_string(width) +
        "\nPlayResY: " + std::to_string(height) +
        "\n\n[V4+ Styles]\nFormat: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, "
        "OutlineColour, BackColour, Bold, Italic, Underline, StrikeOut, ScaleX, ScaleY, Spacing, "
        "Angle, BorderStyle, Outline, Shadow, Alignment, MarginL, MarginR, MarginV, Encoding\n"
        "Style: Default,sans-serif,20,&H00FFFFFF,&H00FFFFFF,&H00000000,&H00000000,0,0,0,0,100,100,"
        "0,0,1,0,0,7,0,0,0,1\n\n[Events]\nFormat: Layer, Start, End, Style, Name, MarginL, "
        "MarginR, MarginV, Effect, Text\n";
    std::istringstream lines(events);
    for (std::string line; std::getline(lines, line);) {
        int x, y, end = 0;
        const size_t pos = line.find("\\pos(");
        if (pos != std::string::npos &&
            sscanf(line.c_str() + pos, "\\pos(%d,%d)%n", &x, &y, &end) == 2 && end > 0)
            line.replace(pos, size_t(end),
                         "\\pos(" + std::to_string(x + margin) + "," + std::to_string(y + margin) +
                             ")");
        script += "Dialogue: 0,0:00:00.00,0:01:00.00,Default,,0,0,0,," + line + "\n";
    }
    ASS_Track* track = ass_read_memory(library, script.data(), script.size(), nullptr);
    Ink ink(width, height);
    for (const ASS_Image* i = track ? ass_render_frame(renderer, track, 1000, nullptr) : nullptr; i;
         i = i->next) {
        if (lettersOnly && i->type != ASS_Image::IMAGE_TYPE_CHARACTER)
            continue;
        const int opacity = 255 - int(i->color & 0xff);
        for (int y = 0; y < i->h; ++y)
            for (int x = 0; x < i->w; ++x)
                ink.cover(i->dst_x + x, i->dst_y + y, i->bitmap[y * i->stride + x] * opacity / 255);
    }
    if (track)
        ass_free_track(track);
    ass_renderer_done(renderer);
    ass_library_done(library);
    return ink;
}

// The characters themselves, each glyph of the font put after the one before with FreeType
// alone: no markup is read. Sized as libass sizes a font for \fs (the font's Windows ascent and
// descent, else its own, span the size).
Ink literalInk(const std::u32string& text, double fs, int width, int height, const MenuFont& font)
{
    Ink ink(width, height);
    FT_Library library;
    FT_Face face;
    if (FT_Init_FreeType(&library) != 0)
        return ink;
    if (FT_New_Face(library, font.file.c_str(), font.index, &face) == 0) {
        const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
        const auto* hhea = static_cast<const TT_HoriHeader*>(FT_Get_Sfnt_Table(face, FT_SFNT_HHEA));
        double scale = 1;
        if (os2 && hhea && os2->usWinAscent + os2->usWinDescent != 0)
            scale =
                double(hhea->Ascender - hhea->Descender) / (os2->usWinAscent + os2->usWinDescent);
        FT_Size_RequestRec request{FT_SIZE_REQUEST_TYPE_REAL_DIM, 0, FT_Long(fs * scale * 64), 0,
                                   0};
        FT_Request_Size(face, &request);
        FT_Pos pen = 8 * 64;
        const int baseline = height / 2;
        for (char32_t c : text) {
            if (FT_Load_Char(face, c, FT_LOAD_NO_HINTING) != 0)
                continue;
            FT_GlyphSlot g = face->glyph;
            FT_Outline_Translate(&g->outline, pen & 63, 0);
            if (FT_Render_Glyph(g, FT_RENDER_MODE_NORMAL) == 0) {
                for (unsigned y = 0; y < g->bitmap.rows; ++y)
                    for (unsigned x = 0; x < g->bitmap.width; ++x)
                        ink.cover(int(pen >> 6) + g->bitmap_left + int(x),
                                  baseline - g->bitmap_top + int(y),
                                  g->bitmap.buffer[y * unsigned(g->bitmap.pitch) + x]);
            }
            pen += g->linearHoriAdvance >> 10; // 16.16 to 26.6, unhinted as libass places them
        }
        FT_Done_Face(face);
    }
    FT_Done_FreeType(library);
    return ink;
}

// The same letters in the same places: the boxes of ink agree to a pixel or two, and the ink of
// each has ink within a pixel of it in the other, but for a few pixels (two rasterisers place
// and edge glyphs a little differently; a glyph more or less, or one for another, leaves whole
// strokes without a match).
QString sameLetters(const Ink& drawn, const Ink& literal)
{
    const QRect d = drawn.box(), l = literal.box();
    const auto text = [](const QRect& r) {
        return QString("%1x%2").arg(r.width()).arg(r.height());
    };
    if (l.isEmpty() || std::abs(d.width() - l.width()) > 2 || std::abs(d.height() - l.height()) > 2)
        return "drawn " + text(d) + ", the characters " + text(l);
    const auto unmatched = [](const Ink& a, QPoint aAt, const Ink& b, QPoint bAt, QRect box) {
        int n = 0;
        for (int y = -1; y <= box.height(); ++y)
            for (int x = -1; x <= box.width(); ++x) {
                bool near = false;
                for (int dy = -1; dy <= 1 && !near; ++dy)
                    for (int dx = -1; dx <= 1 && !near; ++dx)
                        near = b.at(bAt.x() + x + dx, bAt.y() + y + dy);
                n += a.at(aAt.x() + x, aAt.y() + y) && !near;
            }
        return n;
    };
    const int lost = unmatched(literal, l.topLeft(), drawn, d.topLeft(), l);
    const int added = unmatched(drawn, d.topLeft(), literal, l.topLeft(), d);
    // Over a long line, a glyph's edge may stand two pixels off: a few such pixels pass.
    int inked = 0;
    for (unsigned char on : literal.on)
        inked += on;
    return (lost + added) * 64 > inked
               ? QString("%1 pixels of the characters not drawn, %2 drawn that are "
                         "not theirs")
                     .arg(lost)
                     .arg(added)
               : QString();
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
    }
    void namesShowLiterally()
    {
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, shown);
        const int w = 640, h = 480;
        MenuModel model({menu(name.toStdString(), {name.toStdString(), "after"})}, "main", true);
        MenuOverlay overlay(latin_, w, h);
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
        MenuOverlay overlay(latin_, 640, 480);
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
        MenuOverlay overlay(latin_, 640, 480);
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
        MenuOverlay overlay(latin_, 640, 480);
        std::vector<size_t> cut;
        for (int width : {640, 1280}) {
            overlay.resize(width, 480);
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

        const int margin = 40;
        MenuOverlay overlay(latin_, width, height);
        MenuModel model(menus, "main", true);
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

    void changedMenuIsDrawnAnew()
    {
        MenuOverlay overlay(latin_, 640, 480);
        MenuModel before({menu("Tamblin", {"old"})}, "main", true);
        MenuModel after({menu("Tamblin", {"new", "more"})}, "main", true);
        QCOMPARE(drawn(overlay.events(before)).at(3).text, std::string("old"));
        QCOMPARE(drawn(overlay.events(after)).at(3).text, std::string("new"));
    }

    // Debian's mpv on Xvfb: the menu shows inside the window, CJK in real glyphs, and an empty
    // overlay takes it away.
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
        const std::vector<std::string> names = {"映画 ネコ", "\u0378\u0379 \u0380\u0381",
                                                std::string(200, 'W'), "{\\fs60\\1c&H0000FF&}x"};
        MenuModel model({menu("Tamblin", names)}, "main", true);
        model.apply("menu down");
        model.apply("menu down"); // the bar behind the long name, away from the rows compared
        MenuOverlay overlay(latin_, w, h);
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
