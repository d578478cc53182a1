// USB sticks plugged in and pulled out during a run, through the real window and adapter, on
// Debian's MPlayer and mpv. A stick is a tmpfs, filled where the adapter does not look and moved
// below a removable root (TAMBLIN_REMOVABLE), as an automounter mounts one whole; pulling it out
// is a lazy unmount. The mounts are made in a mount namespace of the test's own, which the
// window, the adapter and the player inherit: so the test needs root, and says so otherwise.
#include "adapterSession.h"
#include "mediaMaker.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

#include <cerrno>
#include <cstring>
#include <memory>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

namespace {

// Why the mounts cannot be made here; empty once the process has a mount namespace of its own,
// private, so that nothing mounted reaches the machine's. Called before any thread starts: a
// thread started before would stay in the machine's namespace.
QString privateMounts()
{
    if (geteuid() != 0)
        return "mounting needs root (in a private mount namespace, as unshare -m makes one)";
    if (unshare(CLONE_NEWNS) != 0)
        return QString("no mount namespace of our own: ") + strerror(errno);
    if (mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return QString("the mounts cannot be made private: ") + strerror(errno);
    return {};
}

// A line of /proc/PID/status, as a number ("VmRSS:  1234 kB" gives 1234); -1 when missing.
long statusValue(pid_t pid, const QByteArray& key)
{
    QFile f(QString("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith(key + ":"))
            return line.mid(key.size() + 1).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

int openDescriptors(pid_t pid)
{
    const QDir fds(QString("/proc/%1/fd").arg(pid));
    return int(fds.entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot)
                   .size());
}

} // namespace

class SticksTest : public QObject
{
    Q_OBJECT

  public:
    explicit SticksTest(QString notPrivate) : notPrivate_(std::move(notPrivate)) {}

  private:
    QString notPrivate_;
    std::unique_ptr<Xvfb> x;
    QTemporaryDir scratch;
    QString clip, background, removable, elsewhere;
    int runs = 0;

    void press(const QString& key) { x->run("xdotool", {"key", key}); }
    QImage shot() { return screenshot(*x, scratch.path()); }

    bool keyToRest(AdapterSession& s, const QString& key)
    {
        const int rests = s.count(restMark());
        press(key);
        return s.waitFor(restMark(), rests + 1, 20000);
    }

    // A tmpfs holding the clips under the names given, mounted first where the adapter does not
    // look and then moved whole to `point`: the adapter sees it appear with its files.
    bool plug(const QString& point, const QStringList& names)
    {
        const QString staging = elsewhere + "/" + QFileInfo(point).fileName();
        if (!QDir().mkpath(staging) || !QDir().mkpath(point) ||
            mount("stick", QFile::encodeName(staging), "tmpfs", 0, "size=16m") != 0)
            return false;
        for (const QString& name : names) {
            if (!QFile::copy(clip, staging + "/" + name))
                return false;
        }
        return mount(QFile::encodeName(staging), QFile::encodeName(point), nullptr, MS_MOVE,
                     nullptr) == 0;
    }

    static bool pull(const QString& point)
    {
        return umount2(QFile::encodeName(point), MNT_DETACH) == 0;
    }

    // After this the adapter has taken in every mount made before: the mount table's mark is
    // up before the first query is written, so the loop turn that answers it takes the mount
    // in too, before it reads the second.
    static bool adapterCaughtUp(const AdapterSession& s)
    {
        return s.menuAnswer().startsWith("ANS_MENU_VISIBILITY=") &&
               s.menuAnswer().startsWith("ANS_MENU_VISIBILITY=");
    }

    // A start menu over the flat background, the sticks looked for below `removable`, the
    // positions kept in a state folder of the run's own.
    bool startRun(AdapterSession& s, const QString& media)
    {
        s.run.env().insert("TAMBLIN_MEDIA", media);
        s.run.env().insert("TAMBLIN_REMOVABLE", removable);
        s.run.env().insert("XDG_STATE_HOME", scratch.path() + QString("/state%1").arg(++runs));
        // Freed memory held back from reuse would read as memory kept.
        s.run.env().insert("ASAN_OPTIONS",
                           s.run.env().value("ASAN_OPTIONS") + ":quarantine_size_mb=0");
        s.run.start({"-ao null"});
        const qulonglong wid = s.run.waitForWindow();
        if (!wid)
            return false;
        x->focus(wid);
        return s.waitFor(restMark(), 1, 20000);
    }

    // The trace's line for a clip that plays: the trace is read byte for byte as Latin-1.
    static QString playing(const QString& path)
    {
        return "< Playing " + QString::fromLatin1(path.toUtf8()) + ".";
    }

    QString positions() const
    {
        QFile f(scratch.path() + QString("/state%1/tamblin/positions").arg(runs));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

    bool endRun(AdapterSession& s)
    {
        const pid_t adapter = s.pids().value(0);
        s.inject("quit\n");
        return s.run.waitForExit() && waitUntil([&] { return processGone(adapter); }, 10000);
    }

  private slots:
    void initTestCase()
    {
        if (!notPrivate_.isEmpty())
            QSKIP(qPrintable(notPrivate_));
        x = std::make_unique<Xvfb>(640, 480);
        background = scratch.path() + "/background.avi";
        clip = scratch.path() + "/clip.mkv";
        removable = scratch.path() + "/media";
        elsewhere = scratch.path() + "/elsewhere";
        QVERIFY(makeFlatClip(background, "0x203860", "320x240", 15, 1));
        QVERIFY(makeClip(clip, {"0x602020", 30, {{440, "", ""}}, {}, {}}));
        QVERIFY(QDir().mkpath(removable) && QDir().mkpath(elsewhere));
    }

    void cleanupTestCase() { x.reset(); }

    // Plugged in while the menu of media shows: the stick's entry there, on screen, within a
    // second; chosen, its clip plays from it. A mount outside the removable roots changes
    // nothing.
    void aStickAppears()
    {
        AdapterSession s(x.get(), background);
        QVERIFY(startRun(s, scratch.path() + "/no media"));
        QVERIFY(keyToRest(s, "Return")); // Play a clip: the media, "Nothing to play" so far
        const QImage places = shot();

        const QString other = elsewhere + "/other";
        QVERIFY(QDir().mkpath(other));
        QVERIFY(mount("other", QFile::encodeName(other), "tmpfs", 0, nullptr) == 0);
        const qsizetype traced = s.traceLines().size();
        QVERIFY(adapterCaughtUp(s));
        QCOMPARE(s.traceLines().mid(traced).filter(QRegularExpression("^[<>]")), QStringList());
        QCOMPARE(differingPixels(shot(), places), 0);
        QVERIFY(pull(other));

        const QString stick = removable + "/Films 映画";
        const int reopened = s.count("> set_menu places"), rests = s.count(restMark());
        QElapsedTimer sincePlugged;
        QVERIFY(plug(stick, {"one.mkv"}));
        sincePlugged.start();
        QVERIFY(waitUntil([&] { return s.count("> set_menu places") > reopened; }, 1000));
        const qint64 toMenu = sincePlugged.elapsed();
        QVERIFY(s.waitFor(restMark(), rests + 1));
        qDebug("figure: mount to entry %lld ms, on screen %lld ms (%s)", toMenu,
               sincePlugged.elapsed(), onMpv() ? "mpv" : "MPlayer");
        QVERIFY(differingPixels(shot(), places) > 0);

        QVERIFY(keyToRest(s, "Return")); // the stick, in place of "Nothing to play"
        QVERIFY(s.count("> set_menu stick-1") >= 1);
        QVERIFY(keyToRest(s, "Down"));
        press("Return");
        QVERIFY(s.waitFor(playing(stick + "/one.mkv"), 1, 20000));
        QVERIFY(endRun(s));
        QVERIFY(pull(stick));
    }

    // Pulled out while one of its clips plays: the start menu back with the message over it, and
    // where the clip was is kept.
    void aStickPulledOutWhilePlaying()
    {
        const QString stick = removable + "/HOLIDAY";
        QVERIFY(plug(stick, {"a.mkv", "b.mkv"}));
        AdapterSession s(x.get(), background);
        QVERIFY(startRun(s, scratch.path() + "/no media"));
        QVERIFY(keyToRest(s, "Return")); // Play a clip: the stick alone
        QVERIFY(keyToRest(s, "Return")); // its menu
        QVERIFY(keyToRest(s, "Down"));   // Play all, then a
        press("Return");
        QVERIFY(s.waitFor(playing(stick + "/a.mkv"), 1, 20000));
        // Past the first seconds, where a clip left is not worth a place to start from.
        s.inject("seek 15 2\n");
        QVERIFY(waitUntil([&] { return s.property("time_pos").toDouble() >= 14; }, 20000));

        QVERIFY(pull(stick));
        QVERIFY(s.waitFor("> set_menu removed", 1, 5000));
        QCOMPARE(s.menuAnswer(), "ANS_MENU_VISIBILITY=1");
        QVERIFY(endRun(s));
        const QString kept = positions().split('\n').filter(" " + stick + "/a.mkv").value(0);
        QVERIFY2(kept.section(' ', 0, 0).toDouble() >= 14, qPrintable(positions()));
    }

    // Plugged in and pulled out again and again: the adapter keeps no descriptor, thread or
    // memory of the sticks that have gone.
    void mountsLeaveNothingBehind()
    {
        AdapterSession s(x.get(), background);
        QVERIFY(startRun(s, scratch.path() + "/no media"));
        const pid_t adapter = s.pids().value(0);
        const QString stick = removable + "/S";
        QVERIFY(QDir().mkpath(stick));
        const auto plugAndPull = [&](int times) {
            for (int i = 0; i < times; ++i) {
                if (mount("s", QFile::encodeName(stick), "tmpfs", 0, nullptr) != 0 ||
                    !adapterCaughtUp(s) || !pull(stick) || !adapterCaughtUp(s))
                    return false;
            }
            return true;
        };
        QVERIFY(plugAndPull(10)); // what the first ones grow is not kept
        const int fds = openDescriptors(adapter);
        const long threads = statusValue(adapter, "Threads"), rss = statusValue(adapter, "VmRSS");
        QVERIFY(plugAndPull(200));
        qDebug("figure: after 200 sticks: %d -> %d descriptors, %ld -> %ld threads, "
               "%ld -> %ld kB resident",
               fds, openDescriptors(adapter), threads, statusValue(adapter, "Threads"), rss,
               statusValue(adapter, "VmRSS"));
        QVERIFY(openDescriptors(adapter) <= fds + 2);
        QVERIFY(statusValue(adapter, "Threads") <= threads);
        // A mount table's text kept for each change would be some 500 kB by now. With
        // AddressSanitizer the allocator's own caches grow by about as much: there its leak
        // check, as the adapter ends, stands for this.
#ifndef __SANITIZE_ADDRESS__
        QVERIFY(statusValue(adapter, "VmRSS") <= rss + 256);
#else
        Q_UNUSED(rss);
#endif
        QVERIFY(endRun(s));
    }
};

int main(int argc, char** argv)
{
    const QString notPrivate = privateMounts();
    QCoreApplication app(argc, argv);
    SticksTest test(notPrivate);
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_sticks.moc"
