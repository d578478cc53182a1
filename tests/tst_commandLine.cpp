// The player's command line and the FIFO's shell command: bytes as they came, one shell word
// for each path, the user's option string as the shell splits it.
#include "platform/toolkitOptions.h"
#include "player/commandLine.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

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

QByteArray bytes(const std::string& text)
{
    return QByteArray::fromStdString(text);
}

class CommandLineTest : public QObject
{
    Q_OBJECT

  private slots:
    // Built with the device's layout, the device's places, as they always were; built to be
    // installed, the private folder beside the executable and the user's runtime folder.
    void builtInPlaces()
    {
        if (deviceLayout()) {
            QCOMPARE(
                bytes(commandLine(applicationDirectory(nullptr), fifoPath(nullptr), {"tamblin"})),
                QByteArray("/mmc/mmca1/.system/QTDownLoad/tamblin/mplayer -slave -input "
                           "file=/ezxlocal/.mplayer/pipe -quiet -nortc -nocache "
                           "-menu-startup /mmc/mmca1/.system/QTDownLoad/tamblin/background.avi"));
        } else {
            // Found from the executable, as a plain path: here build/tests/../libexec/tamblin.
            const QString appDir = QCoreApplication::applicationDirPath() + "/../libexec/tamblin";
            QCOMPARE(bytes(applicationDirectory(nullptr)),
                     QFile::encodeName(QDir::cleanPath(appDir)) + "/");
            qputenv("XDG_RUNTIME_DIR", "/run/user/7");
            QCOMPARE(bytes(fifoPath(nullptr)), QByteArray("/run/user/7/tamblin-pipe"));
            qunsetenv("XDG_RUNTIME_DIR");
            QCOMPARE(bytes(fifoPath(nullptr)),
                     "/tmp/tamblin-" + QByteArray::number(geteuid()) + "/pipe");
        }
        QCOMPARE(bytes(applicationDirectory("/mine/")), QByteArray("/mine/"));
        QCOMPARE(bytes(fifoPath("/mine/pipe")), QByteArray("/mine/pipe"));
    }

    // Without a runtime folder the FIFO's folder is made for the user alone, and refused when
    // others could use it.
    void privateFifoFolder()
    {
        if (deviceLayout())
            QSKIP("the device's FIFO has a fixed place");
        qunsetenv("XDG_RUNTIME_DIR");
        const std::string fifo = fifoPath(nullptr);
        const QByteArray folder = bytes(fifo.substr(0, fifo.rfind('/')));
        const QByteArray aside = folder + ".aside";
        const bool existed = ::rename(folder.constData(), aside.constData()) == 0;
        std::string why;
        QVERIFY(fifoFolderUsable(fifo, &why));
        struct stat st;
        QVERIFY(lstat(folder.constData(), &st) == 0 && S_ISDIR(st.st_mode));
        QCOMPARE(st.st_mode & 0777, mode_t(0700));
        QVERIFY(fifoFolderUsable(fifo, &why)); // as it is now
        chmod(folder.constData(), 0755);
        QVERIFY(!fifoFolderUsable(fifo, &why));
        QVERIFY(why.find("may be used by others") != std::string::npos);
        rmdir(folder.constData());
        QVERIFY(symlink("/tmp", folder.constData()) == 0);
        QVERIFY(!fifoFolderUsable(fifo, &why));
        QVERIFY(why.find("is not a folder") != std::string::npos);
        unlink(folder.constData());
        QVERIFY(fifoFolderUsable("/elsewhere/pipe", &why)); // only that folder has rules
        if (existed)
            ::rename(aside.constData(), folder.constData());
        else
            rmdir(folder.constData());
    }

    // The launch goes before Qt only where Qt would take none of the arguments.
    void toolkitOptionsKeepTheLaunch()
    {
        const auto early = [](std::vector<const char*> args) {
            args.insert(args.begin(), "tamblin");
            return toolkitTakesNoArgument(int(args.size()), args.data());
        };
        QVERIFY(early({}));
        QVERIFY(early({"-ao null -fs", "/v/-style.avi"}));
        QVERIFY(early({"-fs", "-geometry 100x100"})); // one word with a blank: not Qt's
        for (const char* qt : {"-platform", "--platform", "-style=fusion", "-display", "-name",
                               "-reverse", "--qwindowgeometry=1x1"})
            QVERIFY2(!early({"-ao null", qt}), qt);
    }

    void theCommandLine()
    {
        QCOMPARE(bytes(commandLine("/app/", "/run/pipe", {"tamblin", "-ao null", "/v/clip.avi"})),
                 QByteArray("/app/mplayer -slave -input file=/run/pipe -quiet -nortc -nocache "
                            "-ao null /v/clip.avi"));
        QCOMPARE(bytes(mediaArgument({"tamblin"}, "/app/")),
                 QByteArray("-menu-startup /app/background.avi"));
        QCOMPARE(bytes(extraOptions({"tamblin", "-ao null"})), QByteArray("-ao null "));
    }

    // Every path reaches the shell's command as the same bytes, as one word, and runs nothing;
    // a plain one is left as it is, readable in the log.
    void pathsAreOneWordEach_data()
    {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<bool>("plain");
        QTest::newRow("plain") << QByteArray("/a/b-c_d.e:f,g+h@i%j=k/l.avi") << true;
        QTest::newRow("space") << QByteArray("/tmp/My Film.mkv") << false;
        QTest::newRow("quote") << QByteArray("/tmp/it's.avi") << false;
        QTest::newRow("semicolon") << QByteArray("/tmp/a;touch pwned.avi") << false;
        QTest::newRow("command") << QByteArray("/tmp/$(touch pwned).avi") << false;
        QTest::newRow("backquote") << QByteArray("/tmp/`touch pwned`.avi") << false;
        QTest::newRow("UTF-8") << QByteArray("/tmp/M\xc3\xbasica.avi") << false;
        QTest::newRow("Latin-1") << QByteArray("/tmp/M\xfasica.avi") << false;
        QTest::newRow("invalid UTF-8") << QByteArray("/tmp/\xff\xfe\x80.avi") << false;
        QTest::newRow("dash first") << QByteArray("-clip.avi") << true;
        QTest::newRow("empty") << QByteArray() << false;
    }

    void pathsAreOneWordEach()
    {
        QFETCH(QByteArray, path);
        QFETCH(bool, plain);
        QTemporaryDir dir;
        QVERIFY(QDir::setCurrent(dir.path()));
        const std::string word = shellWord(path.toStdString());
        QCOMPARE(bytes(word) == path, plain);
        QCOMPARE(shellWords(bytes(word)), QList<QByteArray>{path});
        QCOMPARE(shellWords(bytes(word + " " + word)), (QList<QByteArray>{path, path}));

        // The media argument, the application folder and the FIFO path alike.
        const QByteArray app = path + "/";
        const std::string a = app.toStdString(), p = path.toStdString();
        const QList<QByteArray> withMedia =
            shellWords(bytes(commandLine(a, p, {"tamblin", "-ao null", p})));
        QCOMPARE(withMedia,
                 (QList<QByteArray>{app + "mplayer", "-slave", "-input", "file=" + path, "-quiet",
                                    "-nortc", "-nocache", "-ao", "null", path}));
        const QList<QByteArray> startMenu = shellWords(bytes(commandLine(a, p, {"tamblin"})));
        QCOMPARE(startMenu.last(), app + "background.avi");
        QVERIFY(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
    }
};

QTEST_GUILESS_MAIN(CommandLineTest)
#include "tst_commandLine.moc"
