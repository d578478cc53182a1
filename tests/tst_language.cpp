// The menu in the viewer's language, on the real player: the start menu's and a message's words
// as the catalogue gives them, drawn in a font that has each of their characters, the menu query
// answered as in English, and the log on standard output byte for byte the same in every
// language (its lines are a contract, not words for a viewer).
#include "adapterSession.h"
#include "menuFont.h"

#include <QProcess>
#include <QTest>

#include <fontconfig/fontconfig.h>

namespace {

// The catalogue's words for a text in a language, as gettext(1) finds them in the build tree.
QString catalogueWords(const QString& language, const char* text)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LANGUAGE", language);
    env.insert("LANG", "C.UTF-8");
    env.remove("LC_ALL");
    env.remove("LC_MESSAGES");
    env.insert("TEXTDOMAINDIR", LOCALE_DIR);
    p.setProcessEnvironment(env);
    p.start("gettext", {"-d", "tamblin", "-s", "--", QString::fromUtf8(text)});
    p.waitForFinished();
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

// How many of the characters the font that fontconfig matches for the family lacks: a player
// handed it draws those as placeholder boxes.
int charactersLacking(const QString& family, const QString& text)
{
    const std::string pattern = fontPattern(family.toStdString());
    FcPattern* asked = FcNameParse(reinterpret_cast<const FcChar8*>(pattern.c_str()));
    FcConfigSubstitute(nullptr, asked, FcMatchPattern);
    FcDefaultSubstitute(asked);
    FcResult result;
    FcPattern* font = FcFontMatch(nullptr, asked, &result);
    FcCharSet* has = nullptr;
    int lacking = int(text.size());
    if (font && FcPatternGetCharSet(font, FC_CHARSET, 0, &has) == FcResultMatch) {
        lacking = 0;
        for (const uint c : text.toUcs4())
            lacking += c != ' ' && !FcCharSetHasChar(has, c);
    }
    if (font)
        FcPatternDestroy(font);
    FcPatternDestroy(asked);
    // As the adapter does once it has its font: nothing of fontconfig's is left for the leak
    // check.
    FcFini();
    return lacking;
}

// What one run in a language showed and said.
struct LanguageRun
{
    QImage menu;   // the start menu on screen
    QString font;  // the menu's font, as the adapter chose it
    QString shown; // the menu query's answers: with the menu up, then after F2
    QString log;   // the window's standard output, its run's folder named APP/
};

} // namespace

class LanguageTest : public QObject
{
    Q_OBJECT

  private:
    QTemporaryDir scratch;
    QString background;
    std::unique_ptr<Xvfb> x;

    // The screen once the menu's white letters are on it and two screenshots in a row agree.
    QImage settledMenu()
    {
        QImage last, now;
        const auto letters = [](const QImage& shot) {
            int n = 0;
            for (int y = 0; y < shot.height(); ++y)
                for (int i = 0; i < shot.width(); ++i)
                    n += qGray(shot.pixel(i, y)) > 200;
            return n;
        };
        const bool settled = waitUntil(
            [&] {
                now = screenshot(*x, scratch.path());
                const bool still = !last.isNull() && differingPixels(now, last) == 0;
                last = now;
                return still && letters(now) > 0;
            },
            20000);
        return settled ? now : QImage();
    }

    // A run in LANGUAGE ("" for none: the program's own English) for a viewer of LANGUAGES (which
    // choose the clips' tracks, and bring their own names into the menus' characters): the
    // start menu, or in a session the NOTICE of a refusal over it; a key the window does not
    // know (the focus taken in); the menus closed one by one with F2, and the run ended by it.
    bool runIn(const QString& language, const QString& languages, const QString& notice,
               LanguageRun* seen)
    {
        AdapterSession s(x.get(), background);
        QProcessEnvironment& env = s.run.env();
        env.remove("LC_ALL");
        env.remove("LC_MESSAGES");
        env.insert("LANG", "C.UTF-8");
        env.insert("TAMBLIN_LANGUAGES", languages);
        if (language.isEmpty())
            env.remove("LANGUAGE");
        else
            env.insert("LANGUAGE", language);
        if (!notice.isEmpty()) {
            env.insert("TAMBLIN_SESSION_END", scratch.path() + "/session-end");
            env.insert("TAMBLIN_POWER", "power-off,restart,sleep");
            env.insert("TAMBLIN_NOTICE", notice);
        }
        s.run.start({"-ao null"});
        const qulonglong wid = s.run.waitForWindow();
        if (!wid || !s.run.focusTakenIn(wid) || !s.waitFor(restMark(), 1, 20000))
            return false;
        seen->menu = settledMenu();
        for (const QString& l : s.traceLines()) {
            if (l.startsWith("# font "))
                seen->font = l.mid(7);
        }
        seen->shown = s.menuAnswer();
        for (int menus = 0; menus < 3 && !seen->shown.endsWith("=0"); ++menus) {
            const int rests = s.count(restMark());
            x->run("xdotool", {"key", "F2"});
            if (!s.waitFor(restMark(), rests + 1, 20000))
                return false;
            seen->shown += " " + s.menuAnswer();
        }
        x->run("xdotool", {"key", "F2"});
        if (!s.run.waitForExit(20000))
            return false;
        seen->log = s.run.out().replace(s.run.appDir(), "APP/");
        return !seen->menu.isNull();
    }

  private slots:
    void initTestCase()
    {
        background = scratch.path() + "/background.avi";
        QVERIFY(makeFlatClip(background, "0x203860", "320x240", 15, 1));
        x = std::make_unique<Xvfb>(640, 480);
    }
    void cleanupTestCase() { x.reset(); }

    void menuInTheLanguage_data()
    {
        // The viewer's languages are French throughout: a Japanese menu must bring its font
        // itself, from its own words. The English menu it is compared with is drawn in the
        // font the language needs, so that only the words differ.
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("englishFor");
        QTest::addColumn<QString>("notice");
        QTest::addColumn<QStringList>("texts"); // what is on screen, as the msgids have it
        const QStringList start{"Play a clip", "Pause or resume", "On-screen display", "Quit"};
        QTest::newRow("French start menu") << "fr"
                                           << "fr"
                                           << "" << start;
        QTest::newRow("Japanese start menu") << "ja"
                                             << "ja"
                                             << "" << start;
        QTest::newRow("French message")
            << "fr"
            << "fr"
            << "power-off-refused" << QStringList{"Power off was refused"};
        QTest::newRow("Japanese message") << "ja"
                                          << "ja"
                                          << "sleep-refused" << QStringList{"Sleep was refused"};
    }

    void menuInTheLanguage()
    {
        QFETCH(QString, language);
        QFETCH(QString, englishFor);
        QFETCH(QString, notice);
        QFETCH(QStringList, texts);
        QString words;
        for (const QString& text : texts) {
            const QString w = catalogueWords(language, text.toUtf8().constData());
            QVERIFY2(!w.isEmpty() && w != text, qPrintable(language + " has no words for " + text));
            words += w + " ";
        }
        LanguageRun seen, english;
        QVERIFY(runIn(language, "fr", notice, &seen));
        QVERIFY(runIn("", englishFor, notice, &english));
        QVERIFY2(charactersLacking(seen.font, words) == 0,
                 qPrintable(seen.font + " lacks characters of: " + words));
        QCOMPARE(seen.font, english.font);
        // Other words on screen, where the English ones stood.
        const int differ = differingPixels(seen.menu, english.menu);
        QVERIFY2(differ > seen.menu.width() * seen.menu.height() / 2000,
                 qPrintable(QString("%1 pixels differ from the English menu").arg(differ)));
        QCOMPARE(seen.shown, english.shown);
        QCOMPARE(seen.log, english.log);
    }
};

QTEST_GUILESS_MAIN(LanguageTest)
#include "tst_language.moc"
