// Installed like any program: the installed tree, the package's tree, a real install where it
// is safe, the desktop entry, and the device's layout. Each run is plain: no MYPATH, no
// TAMBLIN_FIFO, a runtime folder of its own.
#include "harness.h"

#include <QDir>
#include <QDirIterator>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <csignal>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int run(const QString& program, const QStringList& args, QString* out = nullptr)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    p.waitForFinished(600000);
    if (out)
        *out = QString::fromLocal8Bit(p.readAll());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

QString package()
{
    const QStringList debs =
        QDir(SOURCE_DIR "/build-package").entryList({"tamblin_*.deb"}, QDir::Files);
    return debs.isEmpty() ? QString() : SOURCE_DIR "/build-package/" + debs.first();
}

// Outside CI a missing build only skips, with the command that makes it; in CI it fails.
#define REQUIRE_BUILD(present, command)                                                            \
    do {                                                                                           \
        if (!(present)) {                                                                          \
            if (qgetenv("CI") != "true")                                                           \
                QSKIP("not built yet: " command " makes it");                                      \
            QFAIL("not built: " command " makes it");                                              \
        }                                                                                          \
    } while (0)

} // namespace

class InstallTest : public QObject
{
    Q_OBJECT

  private:
    std::unique_ptr<Xvfb> x;
    QTemporaryDir scratch;

    // Starts the program plainly, waits for the start menu on screen, ends it with F2 twice,
    // and checks that nothing but the FIFO is left in the runtime folder.
    void plainRun(const QString& program, const QString& appDir)
    {
        TamblinRun r(x.get(), nullptr);
        r.setProgram(program);
        r.setFifo(QString());
        for (const char* name :
             {"MYPATH", "TAMBLIN_PLAYER", "TAMBLIN_MEDIA", "TAMBLIN_ADAPTER_TRACE", "STANDIN_DIR"})
            r.env().remove(name);
        const QString runtime = r.root() + "/runtime";
        QDir().mkpath(runtime);
        chmod(QFile::encodeName(runtime).constData(), 0700);
        r.env().insert("XDG_RUNTIME_DIR", runtime);
        r.env().insert("HOME", r.root() + "/home");
        // The adapter's trace goes outside the runtime folder, which must stay clean.
        const QString trace = scratch.path() + "/trace";
        QFile::remove(trace);
        r.env().insert("TAMBLIN_ADAPTER_TRACE", trace);
        r.start({"-ao null"});

        // The start menu: white letters over the background.
        const QString shot = scratch.path() + "/shot.png";
        QVERIFY2(waitUntil(
                     [&] {
                         QFile::remove(shot);
                         x->run("import", {"-window", "root", shot});
                         const QImage image(shot);
                         int letters = 0;
                         for (int y = 0; y < image.height(); y += 2)
                             for (int xx = 0; xx < image.width(); xx += 2)
                                 letters += qGray(image.pixel(xx, y)) > 235;
                         return letters > 200;
                     },
                     30000),
                 "the start menu did not show");
        const qulonglong wid = r.waitForWindow();
        QVERIFY(wid);
        x->focus(wid);
        x->run("xdotool", {"key", "F2"});
        // The menu closed before the second key, which then ends the run.
        QVERIFY(waitUntil(
            [&] {
                QFile f(trace);
                return f.open(QIODevice::ReadOnly) && f.readAll().contains("\n> menu cancel\n");
            },
            10000));
        x->run("xdotool", {"key", "F2"});
        QVERIFY(r.waitForExit(20000));
        QCOMPARE(r.exitCode(), 0);
        QVERIFY(r.out().contains("\nMYPATH: (unset)\n"));
        QVERIFY2(r.out().contains("\nvideo cmd: -menu-startup " + appDir + "background.avi\n"),
                 qPrintable(r.out()));
        QCOMPARE(QDir(runtime).entryList(QDir::AllEntries | QDir::System | QDir::Hidden |
                                         QDir::NoDotAndDotDot),
                 QStringList{"tamblin-pipe"});
        struct stat st;
        QVERIFY(lstat(QFile::encodeName(runtime + "/tamblin-pipe").constData(), &st) == 0 &&
                S_ISFIFO(st.st_mode));
    }

  private slots:
    void initTestCase() { x = std::make_unique<Xvfb>(640, 480); }
    void cleanupTestCase() { x.reset(); }

    void installedTree()
    {
        const QString prefix = scratch.path() + "/prefix";
        QString out;
        QCOMPARE(run("cmake", {"--install", BUILD_DIR, "--prefix", prefix}, &out), 0);
        for (const char* file :
             {"bin/tamblin", "bin/tamblin-session", "libexec/tamblin/mplayer",
              "libexec/tamblin/tamblin-window.so", "libexec/tamblin/background.avi",
              "share/applications/tamblin.desktop", "share/xsessions/tamblin.desktop",
              "share/wayland-sessions/tamblin.desktop",
              "share/icons/hicolor/scalable/apps/tamblin.svg", "share/man/man1/tamblin.1.gz",
              "share/man/man1/tamblin-session.1.gz", "share/doc/tamblin/README.md",
              "share/doc/tamblin/docs/booting.md", "share/doc/tamblin/copyright",
              "share/doc/tamblin/examples/profile", "share/locale/fr/LC_MESSAGES/tamblin.mo",
              "share/locale/ja/LC_MESSAGES/tamblin.mo"})
            QVERIFY2(QFile::exists(prefix + "/" + file), file);
        plainRun(prefix + "/bin/tamblin", prefix + "/libexec/tamblin/");

        // The installed session runs the tamblin installed beside it, and ends on SIGTERM.
        TamblinRun r(x.get(), nullptr);
        r.setProgram(prefix + "/bin/tamblin-session");
        r.start({"-ao null"});
        QVERIFY(r.waitForReceived("OPEN"));
        QVERIFY2(r.errSoFar().contains("run 1 started: " + prefix + "/bin/tamblin (pid "),
                 qPrintable(r.errSoFar()));
        kill(r.pid(), SIGTERM);
        QVERIFY(r.waitForExit(20000));
        QCOMPARE(r.exitCode(), 0);
        QVERIFY(r.err().contains("the session ends on SIGTERM"));

        // Without its window, the program says so and leaves no player behind: it starts the
        // player before it loads the window.
        QVERIFY(QFile::remove(prefix + "/libexec/tamblin/tamblin-window.so"));
        TamblinRun lost(x.get(), nullptr);
        lost.setProgram(prefix + "/bin/tamblin");
        lost.start({});
        QVERIFY(lost.waitForExit(20000));
        QCOMPARE(lost.exitCode(), 1);
        QVERIFY2(lost.err().contains("tamblin: cannot load the window: "), qPrintable(lost.err()));
        const pid_t player = lost.standinPid();
        QVERIFY(player <= 0 || kill(player, 0) != 0);
    }

    void extractedPackage()
    {
        const QString deb = package();
        REQUIRE_BUILD(!deb.isEmpty(), "scripts/package");
        const QString root = scratch.path() + "/extracted";
        QCOMPARE(run("dpkg-deb", {"-x", deb, root}), 0);
        plainRun(root + "/usr/bin/tamblin", root + "/usr/libexec/tamblin/");
        for (const char* lang : {"fr", "de", "es", "ja"}) // the menu's languages
            QVERIFY2(QFile::exists(root + "/usr/share/locale/" + lang + "/LC_MESSAGES/tamblin.mo"),
                     lang);
        QString control, version, arch;
        run("dpkg-deb",
            {"-f", deb, "Package", "Version", "Architecture", "Depends", "Suggests", "Recommends"},
            &control);
        run("cat", {SOURCE_DIR "/VERSION"}, &version);
        run("dpkg", {"--print-architecture"}, &arch);
        for (const QString& field :
             QStringList{"^Package: tamblin$", "^Version: " + version.trimmed() + "$",
                         "^Architecture: " + arch.trimmed() + "$", "^Depends: .*mplayer \\| mpv",
                         "libqt6widgets6", "libxss1", // X's screen saver, held without a desktop
                         "^Suggests: cage, udiskie$", // the Wayland session, USB sticks
                         "^Recommends: .*fonts-wqy-microhei", // the menu's CJK names
                         "^Recommends: .*speech-dispatcher-espeak-ng, espeak-ng", // its voice
                         "libspeechd2"})
            QVERIFY2(
                control.contains(QRegularExpression(field, QRegularExpression::MultilineOption)),
                qPrintable(field + " not in\n" + control));
        QString lintian;
        run("lintian", {deb}, &lintian);
        QVERIFY2(
            !lintian.contains(QRegularExpression("^[EW]: ", QRegularExpression::MultilineOption)),
            qPrintable(lintian));
    }

    // Only as root on a machine of its own (CI sets CI=true): the package installed for real,
    // run from PATH, removed, with nothing of it left.
    void realInstall()
    {
        if (qgetenv("CI") != "true" || geteuid() != 0)
            QSKIP("not a CI machine of its own as root (CI=true): the package is not installed "
                  "on this system");
        const QString deb = package();
        REQUIRE_BUILD(!deb.isEmpty(), "scripts/package");
        QString files, out;
        run("dpkg-deb", {"-c", deb}, &files);
        QCOMPARE(run("apt-get", {"install", "-y", "-q", deb}, &out), 0);
        plainRun("/usr/bin/tamblin", "/usr/libexec/tamblin/");
        QCOMPARE(run("apt-get", {"remove", "-y", "-q", "tamblin"}, &out), 0);
        for (const QString& line : files.split('\n', Qt::SkipEmptyParts)) {
            const QString path = line.section(' ', -1).mid(1); // "./usr/bin/tamblin"
            if (!line.startsWith('d'))
                QVERIFY2(!QFile::exists(path), qPrintable(path + " is left"));
        }
        QVERIFY(!QFile::exists("/usr/libexec/tamblin"));
    }

    // The desktop entry and the two session entries, as they are installed, valid, each with
    // its command.
    void desktopEntries_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("lines");
        // A file opened from a file manager is the media argument, with no player options.
        QTest::newRow("application")
            << "tamblin.desktop"
            << QStringList{"Exec=tamblin \"\" %f", "Categories=AudioVideo;Video;Player;"};
        QTest::newRow("X session")
            << "tamblin-session.desktop"
            << QStringList{"Exec=tamblin-session", "TryExec=tamblin-session"};
        // Offered only where cage is installed: the package only suggests it.
        QTest::newRow("Wayland session")
            << "tamblin-wayland-session.desktop"
            << QStringList{"Exec=cage -- tamblin-session", "TryExec=cage"};
    }

    void desktopEntries()
    {
        QFETCH(QString, file);
        QFETCH(QStringList, lines);
        const QString path = SOURCE_DIR "/data/" + file;
        QString out;
        QCOMPARE(run("desktop-file-validate", {path}, &out), 0);
        QVERIFY2(out.isEmpty(), qPrintable(out));
        QFile entry(path);
        QVERIFY(entry.open(QIODevice::ReadOnly));
        const QStringList text = QString::fromUtf8(entry.readAll()).split('\n');
        for (const QString& line : lines)
            QVERIFY2(text.contains(line), qPrintable(line));
    }

    // The boot examples are the boot guide's own, installed, and each is read by what reads it
    // on a device: the getty drop-in by systemd (on a copy of this system's units), the
    // profile lines by the shell.
    void bootExamples_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("getty drop-in") << "getty-autologin.conf";
        QTest::newRow("profile") << "profile";
        QTest::newRow("LightDM drop-in") << "lightdm-autologin.conf";
    }

    void bootExamples()
    {
        QFETCH(QString, file);
        QFile example(SOURCE_DIR "/docs/boot/" + file), guide(SOURCE_DIR "/docs/booting.md");
        QVERIFY(example.open(QIODevice::ReadOnly) && guide.open(QIODevice::ReadOnly));
        const QByteArray text = example.readAll();
        QVERIFY2(guide.readAll().contains("```\n" + text + "```\n"), "not in booting.md as it is");
        QString out;
        if (file == "profile") {
            QCOMPARE(run("sh", {"-n", example.fileName()}, &out), 0);
        } else if (file.startsWith("getty")) {
            const QString root = scratch.path() + "/units";
            const QString dropIns = root + "/etc/systemd/system/getty@tty1.service.d";
            QVERIFY(QDir().mkpath(dropIns) && QDir().mkpath(root + "/lib/systemd"));
            QCOMPARE(run("cp", {"-a", "/lib/systemd/system", root + "/lib/systemd/"}), 0);
            QVERIFY(QFile::copy(example.fileName(), dropIns + "/autologin.conf"));
            QCOMPARE(
                run("systemd-analyze", {"verify", "--root=" + root, "getty@tty1.service"}, &out),
                0);
            QVERIFY2(out.isEmpty(), qPrintable(out));
        }
    }

    // Built with the device's layout, the device's own places appear in the log and in what
    // the program tries.
    void deviceLayout()
    {
        const QString program = SOURCE_DIR "/build-device/bin/tamblin";
        REQUIRE_BUILD(QFile::exists(program),
                      "cmake --preset device && cmake --build --preset device");
        TamblinRun r(x.get(), nullptr);
        r.setProgram(program);
        r.setFifo(QString());
        r.env().remove("MYPATH");
        r.start({"-ao null"});
        QVERIFY(x->answerDialog("Escape")); // Fifo Pipe error.
        const qulonglong wid = r.waitForWindow();
        QVERIFY(wid);
        x->focus(wid);
        x->run("xdotool", {"key", "F2"});
        QVERIFY(r.waitForExit(20000));
        QCOMPARE(r.exitCode(), 0);
        QVERIFY(r.out().contains("\nMYPATH: (unset)\n"));
        QVERIFY(r.out().contains(
            "\nvideo cmd: -menu-startup /mmc/mmca1/.system/QTDownLoad/tamblin/background.avi\n"));
        QVERIFY2(r.err().contains("/ezxlocal/.mplayer/pipe"), qPrintable(r.err()));
        QVERIFY(r.err().contains("/mmc/mmca1/.system/QTDownLoad/tamblin/mplayer"));
    }
};

QTEST_GUILESS_MAIN(InstallTest)
#include "tst_install.moc"
