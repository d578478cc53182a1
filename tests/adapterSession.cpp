#include "adapterSession.h"

#include <QFile>
#include <QProcess>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>

AdapterSession::AdapterSession(const Xvfb* x, const QString& background) : run(x, nullptr)
{
    run.usePlayer(ADAPTER_BIN);
    QFile::link(background.isEmpty() ? QStringLiteral(APP_DIR_PATH "/background.avi") : background,
                run.appDir() + "background.avi");
    QFile::link(QStringLiteral(APP_DIR_PATH "/song-picture"), run.appDir() + "song-picture");
    trace = run.standinDir() + "/trace";
    run.env().insert("TAMBLIN_ADAPTER_TRACE", trace);
    run.env().insert("TAMBLIN_MEDIA", run.appDir());
    run.env().insert("TAMBLIN_PLAYER", onMpv() ? "/usr/bin/mpv" : "/usr/bin/mplayer");
}

bool onMpv()
{
    return qgetenv("TAMBLIN_TEST_PLAYER") == "mpv";
}

QString restMark()
{
    return onMpv() ? QStringLiteral("# at rest") : QStringLiteral("# stopped");
}

QStringList AdapterSession::traceLines() const
{
    QFile f(trace);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLatin1(f.readAll()).split('\n', Qt::SkipEmptyParts);
}

bool AdapterSession::waitFor(const QString& line, int times, int ms) const
{
    return waitUntil([&] { return count(line) >= times; }, ms);
}

QList<pid_t> AdapterSession::pids() const
{
    for (const QString& l : traceLines()) {
        if (l.startsWith("# pids "))
            return {pid_t(l.section(' ', 2, 2).toInt()), pid_t(l.section(' ', 3, 3).toInt())};
    }
    return {};
}

void AdapterSession::inject(const QByteArray& command) const
{
    const int fd = open(QFile::encodeName(run.fifo()).constData(), O_WRONLY | O_NONBLOCK);
    QVERIFY(fd >= 0);
    QCOMPARE(write(fd, command.constData(), size_t(command.size())), command.size());
    close(fd);
}

QString AdapterSession::menuAnswer() const
{
    const auto answers = [&] {
        QStringList a;
        for (const QString& l : traceLines()) {
            if (l.startsWith("= "))
                a << l.mid(2);
        }
        return a;
    };
    const int before = answers().size();
    inject("get_menu_visibility\n");
    waitUntil([&] { return answers().size() > before; }, 5000);
    return answers().value(before);
}

QString AdapterSession::property(const QString& name) const
{
    const QString prefix = "< ANS_" + name + "=", refused = "< ANS_ERROR=";
    const int before = int(traceLines().filter(prefix).size()),
              refusalsBefore = int(traceLines().filter(refused).size());
    // A plain query would end a pause before it answers.
    inject("pausing_keep_force get_property " + name.toLatin1() + "\n");
    // Between two files the property is missing, and the player says so at once.
    waitUntil(
        [&] {
            const QStringList lines = traceLines();
            return lines.filter(prefix).size() > before ||
                   lines.filter(refused).size() > refusalsBefore;
        },
        5000);
    const QStringList got = traceLines().filter(prefix);
    return got.size() > before ? got.at(before).mid(prefix.size()) : QString();
}

QImage screenshot(const Xvfb& x, const QString& scratchDir)
{
    const QString file = scratchDir + "/shot.png";
    QFile::remove(file);
    x.run("import", {"-window", "root", file});
    return QImage(file).convertToFormat(QImage::Format_RGB32);
}

int differingPixels(const QImage& a, const QImage& b)
{
    int n = 0;
    for (int y = 0; y < a.height(); y += 2) {
        for (int xx = 0; xx < a.width(); xx += 2) {
            const QRgb p = a.pixel(xx, y), q = b.pixel(xx, y);
            if (qAbs(qRed(p) - qRed(q)) + qAbs(qGreen(p) - qGreen(q)) + qAbs(qBlue(p) - qBlue(q)) >
                60)
                ++n;
        }
    }
    return n;
}

char processState(pid_t pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return '?';
    const QString text = QString::fromLatin1(stat.readAll());
    return text.section(QLatin1Char(')'), -1).trimmed().at(0).toLatin1();
}

bool makeFlatClip(const QString& path, const QString& colour, const QString& size, int fps,
                  double seconds)
{
    return QProcess::execute("ffmpeg", {"-loglevel", "error", "-y", "-f", "lavfi", "-i",
                                        QString("color=c=%1:size=%2:rate=%3:duration=%4")
                                            .arg(colour, size)
                                            .arg(fps)
                                            .arg(seconds),
                                        "-c:v", "mpeg4", "-q:v", "5", path}) == 0;
}
