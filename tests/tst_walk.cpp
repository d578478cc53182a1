// Randomised walks of keys through the real window, the adapter and Debian's MPlayer: after
// every key, once the player has settled, the adapter's menu answer must agree with the screen.
// Every clip is one flat colour, so any pixel off that colour is the menu.
//
// TAMBLIN_WALK_SEED: the seed (else a fixed one). TAMBLIN_WALK_SECONDS: one walk for that long
// instead of the short walks. TAMBLIN_WALK_SAMPLES: a file that gets, every
// TAMBLIN_WALK_SAMPLE_EVERY keys (10), the resident memory and open files of each process.
#include "adapterSession.h"
#include "mediaMaker.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QTest>

#include <iterator>
#include <memory>
#include <random>

namespace {

struct Key
{
    const char* name;
    double weight;
};

// With the menu up: its own keys, Return the most, so that clips get chosen and play. F1 does
// nothing there, which is worth checking too.
const Key kMenuKeys[] = {{"Up", 1}, {"Down", 1}, {"Return", 1.5}, {"F1", 0.3}, {"F2", 0.6}};
// With it down: the seeks, the pauses, F1 to open it and, rarely, F2 to end the run.
const Key kHiddenKeys[] = {{"Left", 1},  {"Right", 1}, {"Up", 1},     {"Down", 1}, {"F28", 0.5},
                           {"F29", 0.5}, {"F26", 1},   {"Return", 1}, {"F1", 2.5}, {"F2", 0.3}};

// Pixels off the picture's most common colour. The menu puts hundreds there even at 320x240.
int offColourPixels(const QImage& image)
{
    QHash<QRgb, int> counts;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            ++counts[image.pixel(x, y)];
    QRgb common = 0;
    int most = -1;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (it.value() > most) {
            most = it.value();
            common = it.key();
        }
    }
    int off = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        const QRgb p = it.key();
        if (qAbs(qRed(p) - qRed(common)) + qAbs(qGreen(p) - qGreen(common)) +
                qAbs(qBlue(p) - qBlue(common)) >
            60)
            off += it.value();
    }
    return off;
}

const int kMenuPixels = 150;
const int kNoisePixels = 20;

QString procFigures(pid_t pid)
{
    long rss = -1;
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("VmRSS:"))
                rss = line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    const qsizetype fds = QDir(QStringLiteral("/proc/%1/fd").arg(pid))
                              .entryList(QDir::System | QDir::NoDotAndDotDot)
                              .size();
    return QStringLiteral("%1 %2 %3").arg(pid).arg(rss).arg(pid > 0 && rss >= 0 ? fds : -1);
}

} // namespace

class WalkTest : public QObject
{
    Q_OBJECT

  private:
    std::unique_ptr<Xvfb> x;
    QTemporaryDir scratch;
    QString background, media;
    unsigned seed = 12345;
    long long walkUntilMs = -1;
    QString samplesPath;
    int sampleEvery = 10;
    long long startedMs = 0;

    // One walk: its keys, its current run, and whether the menu was last seen up.
    struct Walk
    {
        std::mt19937 rng;
        int number = 0;
        int step = 0;
        int runs = 0;
        int clips = 0;     // clips started from the menu, in the runs before this one
        int clipMains = 0; // main menus with a clip's own entries (Sound track...), likewise
        QStringList history;
        std::unique_ptr<AdapterSession> session;
        pid_t window = 0;
        bool menuUp = true;
        bool startsOnTracks = false; // each run first goes to the clip with tracks
        QStringList script;          // keys to press before the random ones
    };

    QImage shot() { return screenshot(*x, scratch.path()); }

    QString context(const Walk& w) const
    {
        return QStringLiteral("walk seed %1 (walk %2), step %3; keys: %4")
            .arg(seed)
            .arg(w.number)
            .arg(w.step)
            .arg(w.history.join(' '));
    }

    bool startRun(Walk& w)
    {
        if (w.session) {
            w.clips += int(w.session->traceLines().filter("< Playing " + media).size());
            w.clipMains += clipMains(*w.session);
        }
        w.session = std::make_unique<AdapterSession>(x.get(), background);
        AdapterSession& s = *w.session;
        s.run.env().insert("TAMBLIN_MEDIA", media);
        s.run.env().insert("XDG_STATE_HOME", scratch.path() + "/state");
        // The player's own on-screen display (seek bars, the timer) would pass for the menu.
        s.run.start({"-ao null -osdlevel 0"});
        w.window = s.run.pid();
        const qulonglong wid = s.run.waitForWindow();
        if (!wid || !s.waitFor(restMark(), 1, 20000))
            return false;
        x->focus(wid);
        w.menuUp = true;
        ++w.runs;
        if (!w.history.isEmpty())
            w.history << "|";
        // Play a clip, the first clip, then its main menu with Sound track, Subtitles or
        // Chapters selected, in turn: from there, the keys are random again. (A clip left
        // partway asks where to start instead, which that menu's keys then walk through.)
        if (w.startsOnTracks) {
            w.script = {"Return", "Down", "Return", "F1"};
            for (int i = 0; i < 2 + w.runs % 3; ++i)
                w.script << "Down";
        }
        return true;
    }

    // Main menus opened with a clip's own entries (Sound track, Subtitles, Chapters).
    static int clipMains(const AdapterSession& s)
    {
        return int(s.traceLines().filter(QRegularExpression("^> set_menu main-")).size());
    }

    // The last line the player's side wrote: our own menu queries do not count.
    static QString lastPlayerLine(const QStringList& lines)
    {
        for (qsizetype i = lines.size() - 1; i >= 0; --i)
            if (!lines.at(i).startsWith("= "))
                return lines.at(i);
        return {};
    }

    enum class Settled { AtRest, Ended, TimedOut };

    // Waits until the trace has been quiet for quietMs and either the player is stopped at rest
    // or the screen has not changed over three polls in a row.
    Settled settle(Walk& w, int quietMs = 300)
    {
        AdapterSession& s = *w.session;
        QImage last;
        int same = 0;
        QStringList lines;
        long long changed = monotonicMs();
        Settled result = Settled::TimedOut;
        waitUntil(
            [&] {
                if (processGone(w.window)) {
                    result = Settled::Ended;
                    return true;
                }
                const QStringList now = s.traceLines();
                if (now.size() != lines.size()) {
                    lines = now;
                    changed = monotonicMs();
                }
                const QImage image = shot();
                same = !last.isNull() && differingPixels(image, last) == 0 ? same + 1 : 0;
                last = image;
                if (monotonicMs() - changed < quietMs)
                    return false;
                if (lastPlayerLine(lines) == restMark() || same >= 2) {
                    result = Settled::AtRest;
                    return true;
                }
                return false;
            },
            30000);
        return result;
    }

    // The adapter's answer agrees with the screen. A clip ending or the player catching up
    // between the answer and the picture is a moment, not a fault: it is looked at again once
    // settled for longer, and only a lasting disagreement fails.
    void checkAgreement(Walk& w)
    {
        QString observed;
        for (int attempt = 0; attempt < 4; ++attempt) {
            if (attempt > 0 && settle(w, 1000) == Settled::Ended)
                return;
            const QString answer = w.session->menuAnswer();
            const int off = offColourPixels(shot());
            const QString again = w.session->menuAnswer();
            if (processGone(w.window))
                return;
            observed = QStringLiteral("adapter says %1, screen has %2 pixels off the colour")
                           .arg(answer)
                           .arg(off);
            if (answer != again || answer.isEmpty())
                continue;
            const bool up = answer == "ANS_MENU_VISIBILITY=1";
            if ((up && off >= kMenuPixels) || (!up && off <= kNoisePixels)) {
                if (attempt > 0)
                    qInfo("%s: agreed only after %d looks", qPrintable(context(w)), attempt + 1);
                w.menuUp = up;
                return;
            }
        }
        // The adapter's last words say what it last asked of the player.
        const QStringList lines = w.session->traceLines();
        QFAIL(qPrintable(context(w) + ": " + observed + "\nthe trace ends:\n" +
                         lines.mid(qMax(qsizetype(0), lines.size() - 40)).join('\n')));
    }

    // The run has ended: only by a key that ends it, and with status 0. The walk goes on in a
    // new run.
    void nextRun(Walk& w)
    {
        const QString last = w.history.value(w.history.size() - 1);
        QVERIFY2(last == "h:F2" || last == "m:Return",
                 qPrintable(context(w) + ": the run ended by itself"));
        QVERIFY2(w.session->run.waitForExit(15000), qPrintable(context(w) + ": not reaped"));
        QVERIFY2(!w.session->run.crashed() && w.session->run.exitCode() == 0,
                 qPrintable(context(w) + ": exit status " +
                            QString::number(w.session->run.exitCode()) + "\n" +
                            w.session->run.err()));
        QVERIFY2(startRun(w), qPrintable(context(w) + ": the next run did not come up"));
    }

    QString chooseKey(Walk& w, bool soak)
    {
        if (!w.script.isEmpty())
            return w.script.takeFirst();
        std::vector<double> weights;
        const Key* keys = w.menuUp ? kMenuKeys : kHiddenKeys;
        const size_t n = w.menuUp ? std::size(kMenuKeys) : std::size(kHiddenKeys);
        for (size_t i = 0; i < n; ++i) {
            // A long walk keeps its processes longer, so that their growth shows.
            const bool ends = !w.menuUp && QLatin1String(keys[i].name) == QLatin1String("F2");
            weights.push_back(ends && soak ? keys[i].weight / 10 : keys[i].weight);
        }
        std::discrete_distribution<size_t> pick(weights.begin(), weights.end());
        return keys[pick(w.rng)].name;
    }

    void sample(const Walk& w)
    {
        if (samplesPath.isEmpty())
            return;
        const QList<pid_t> pids = w.session->pids();
        QFile f(samplesPath);
        if (!f.open(QIODevice::Append))
            return;
        f.write(
            QStringLiteral("%1 run %2 window %3 adapter %4 player %5\n")
                .arg(double(monotonicMs() - startedMs) / 1000, 0, 'f', 1)
                .arg(w.runs)
                .arg(procFigures(w.window), procFigures(pids.value(0)), procFigures(pids.value(1)))
                .toLatin1());
    }

    void walk(int number, int keys, bool startsOnTracks)
    {
        Walk w;
        w.number = number;
        w.startsOnTracks = startsOnTracks;
        w.rng.seed(seed + unsigned(number));
        const bool soak = walkUntilMs >= 0;
        QVERIFY2(startRun(w), "the first run did not come up");
        for (w.step = 1; soak ? monotonicMs() < walkUntilMs : w.step <= keys; ++w.step) {
            const QString key = chooseKey(w, soak);
            const bool wasUp = w.menuUp;
            w.history << QString(wasUp ? "m:" : "h:") + key;
            const qsizetype asked = w.session->traceLines().filter("= ANS_MENU_VISIBILITY").size();
            x->run("xdotool", {"key", key});
            // Every key starts with the window's question to the adapter.
            QVERIFY2(waitUntil(
                         [&] {
                             return processGone(w.window) ||
                                    w.session->traceLines().filter("= ANS_MENU_VISIBILITY").size() >
                                        asked;
                         },
                         10000),
                     qPrintable(context(w) + ": the key did not reach the window"));
            QVERIFY2(settle(w) != Settled::TimedOut,
                     qPrintable(context(w) + ": the player did not settle"));
            // The menu's "On-screen display" raises the player's display level, whose timer
            // would pass for the menu: put it back, without a message, whatever was chosen.
            if (key == "Return" && wasUp && !processGone(w.window) &&
                w.session->send("pausing_keep_force osd 0\n"))
                QVERIFY2(settle(w) != Settled::TimedOut,
                         qPrintable(context(w) + ": the player did not settle"));
            if (key == "F2" && !wasUp)
                QVERIFY2(waitUntil([&] { return processGone(w.window); }, 15000),
                         qPrintable(context(w) + ": F2 with the menu hidden did not end the run"));
            if (!processGone(w.window))
                checkAgreement(w);
            if (QTest::currentTestFailed())
                return;
            // Quit from the menu may end the run only once the check above has passed.
            if (processGone(w.window))
                nextRun(w);
            if (QTest::currentTestFailed())
                return;
            if (w.step % sampleEvery == 0)
                sample(w);
        }
        qInfo("walk %d: %d keys, %d runs, %d clips started, %d main menus with a clip's entries",
              number, w.step - 1, w.runs,
              w.clips + int(w.session->traceLines().filter("< Playing " + media).size()),
              w.clipMains + clipMains(*w.session));
        // F2 goes back through the menus, hides the last one, and then ends the run.
        for (int i = 0; i < 10 && !processGone(w.window); ++i) {
            x->run("xdotool", {"key", "F2"});
            settle(w);
        }
        QVERIFY2(w.session->run.waitForExit(15000), qPrintable(context(w) + ": no end"));
        QCOMPARE(w.session->run.exitCode(), 0);
    }

  private slots:
    void initTestCase()
    {
        if (qEnvironmentVariableIsSet("TAMBLIN_WALK_SEED"))
            seed = qEnvironmentVariable("TAMBLIN_WALK_SEED").toUInt();
        qInfo("walk seed: %u", seed);
        if (qEnvironmentVariableIsSet("TAMBLIN_WALK_SECONDS"))
            walkUntilMs =
                monotonicMs() + qEnvironmentVariable("TAMBLIN_WALK_SECONDS").toLongLong() * 1000;
        samplesPath = qEnvironmentVariable("TAMBLIN_WALK_SAMPLES");
        if (qEnvironmentVariableIsSet("TAMBLIN_WALK_SAMPLE_EVERY"))
            sampleEvery = qMax(1, qEnvironmentVariable("TAMBLIN_WALK_SAMPLE_EVERY").toInt());
        startedMs = monotonicMs();

        // Small, so that a screenshot is quick; the clips fill it without bars.
        x = std::make_unique<Xvfb>(320, 240);
        QVERIFY(x->bindDeviceKeys());
        // The background loops rarely (the player drops commands while it opens a file); the
        // clips end now and then, by themselves or by a seek past their end.
        background = scratch.path() + "/background.avi";
        media = scratch.path() + "/media";
        QVERIFY(QDir().mkpath(media));
        QVERIFY(makeFlatClip(background, "0x203860", "320x240", 10, 30));
        // Two of the clips carry sound tracks, subtitles and chapters, so that walks go through
        // their menus and the menu of where to start. Their subtitles are a zero-width space,
        // which puts no ink on the screen: only the menu does.
        const QString none(QChar(0x200b));
        const auto withTracks = [&](const QString& colour, int seconds) {
            return ClipRecipe{colour,
                              seconds,
                              {{440, "fre", ""}, {880, "eng", "commentary"}},
                              {{none, "eng", ""}, {none, "fre", ""}},
                              {{0, "Opening"}, {seconds / 3, ""}, {seconds * 2 / 3, "End"}}};
        };
        // Five minutes: the seeks do not end it at once, as they end the others.
        QVERIFY(makeClip(media + "/a tracks.mkv", withTracks("0x206060", 300)));
        QVERIFY(makeFlatClip(media + "/b red.avi", "0x602020", "320x240", 10, 8));
        QVERIFY(makeClip(media + "/c green.mkv", withTracks("0x206020", 20)));
    }

    void cleanupTestCase() { x.reset(); }

    void keysAgreeWithTheScreen_data()
    {
        QTest::addColumn<int>("walk");
        QTest::addColumn<bool>("startsOnTracks");
        if (walkUntilMs >= 0) {
            QTest::newRow("long walk") << 0 << false;
            return;
        }
        // About half a minute each, with the sanitizers too. The last one starts each run on
        // the clip with tracks, so that its menus are walked through every time.
        const int walks = 3;
        for (int i = 0; i < walks; ++i)
            QTest::addRow("walk %d", i) << i << (i == walks - 1);
    }

    void keysAgreeWithTheScreen()
    {
        QFETCH(int, walk);
        QFETCH(bool, startsOnTracks);
        this->walk(walk, 50, startsOnTracks);
    }
};

QTEST_GUILESS_MAIN(WalkTest)
#include "tst_walk.moc"
