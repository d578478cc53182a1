// The player's command line and the FIFO's shell command: bytes as they came, one shell word
// for each path, the user's option string as the shell splits it.
#include "player/commandLine.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

namespace {

// What the shell makes of a line: the words it would run, one a line. popen hands the shell
// the bytes as they are.
QList<QByteArray> shellWords(const QByteArray& line)
{
    FILE* sh = popen(("printf '%s\\n' " + line).constData(), "r");
    QByteArray out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, sh)) > 0)
        out.append(buf, qsizetype(n));
    pclose(sh);
    QList<QByteArray> words = out.split('\n');
    words.removeLast();
    return words;
}

} // namespace

class CommandLineTest : public QObject
{
    Q_OBJECT

  private slots:
    void theDevicesDefaultsAsTheyWere()
    {
        const QByteArray app = applicationDirectory(nullptr);
        QCOMPARE(commandLine(app, fifoPath(nullptr), {"tamblin"}),
                 QByteArray("/mmc/mmca1/.system/QTDownLoad/tamblin/mplayer -slave -input "
                            "file=/ezxlocal/.mplayer/pipe -quiet -nortc -nocache -menu-startup "
                            "/mmc/mmca1/.system/QTDownLoad/tamblin/background.avi"));
        QCOMPARE(commandLine("/app/", "/run/pipe", {"tamblin", "-ao null", "/v/clip.avi"}),
                 QByteArray("/app/mplayer -slave -input file=/run/pipe -quiet -nortc -nocache "
                            "-ao null /v/clip.avi"));
        QCOMPARE(mediaArgument({"tamblin"}, "/app/"),
                 QByteArray("-menu-startup /app/background.avi"));
        QCOMPARE(extraOptions({"tamblin", "-ao null"}), QByteArray("-ao null "));
    }

    // Every path reaches the shell's command as the same bytes, as one word, and runs nothing.
    void pathsAreOneWordEach_data()
    {
        QTest::addColumn<QByteArray>("path");
        QTest::newRow("space") << QByteArray("/tmp/My Film.mkv");
        QTest::newRow("quote") << QByteArray("/tmp/it's.avi");
        QTest::newRow("semicolon") << QByteArray("/tmp/a;touch pwned.avi");
        QTest::newRow("command") << QByteArray("/tmp/$(touch pwned).avi");
        QTest::newRow("backquote") << QByteArray("/tmp/`touch pwned`.avi");
        QTest::newRow("UTF-8") << QByteArray("/tmp/M\xc3\xbasica.avi");
        QTest::newRow("Latin-1") << QByteArray("/tmp/M\xfasica.avi");
        QTest::newRow("invalid UTF-8") << QByteArray("/tmp/\xff\xfe\x80.avi");
        QTest::newRow("dash first") << QByteArray("-clip.avi");
        QTest::newRow("empty") << QByteArray();
    }

    void pathsAreOneWordEach()
    {
        QFETCH(QByteArray, path);
        QTemporaryDir dir;
        QVERIFY(QDir::setCurrent(dir.path()));
        QCOMPARE(shellWords(shellWord(path)), QList<QByteArray>{path});
        QCOMPARE(shellWords(shellWord(path) + " " + shellWord(path)),
                 (QList<QByteArray>{path, path}));

        // The media argument, the application folder and the FIFO path alike.
        const QByteArray app = path + "/";
        const QList<QByteArray> withMedia =
            shellWords(commandLine(app, path, {"tamblin", "-ao null", path}));
        QCOMPARE(withMedia,
                 (QList<QByteArray>{app + "mplayer", "-slave", "-input", "file=" + path, "-quiet",
                                    "-nortc", "-nocache", "-ao", "null", path}));
        const QList<QByteArray> startMenu = shellWords(commandLine(app, path, {"tamblin"}));
        QCOMPARE(startMenu.last(), app + "background.avi");
        QVERIFY(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
    }

    void plainPathsAreLeftAsTheyAre()
    {
        for (const QByteArray& plain : {QByteArray("/a/b-c_d.e:f,g+h@i%j=k/l.avi")})
            QCOMPARE(shellWord(plain), plain);
        QCOMPARE(shellWord("a b"), QByteArray("'a b'"));
        QCOMPARE(shellWord("it's"), QByteArray("'it'\\''s'"));
    }
};

QTEST_APPLESS_MAIN(CommandLineTest)
#include "tst_commandLine.moc"
