#include "harness.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QThread>

#include <csignal>
#include <memory>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#include <vector>

QString tamblinBinary()
{
    return QStringLiteral(TAMBLIN_BIN);
}

// A test that aborts leaves no server behind, which would hold its output open and keep the
// test runner waiting.
static void dieWithTheTest()
{
    prctl(PR_SET_PDEATHSIG, SIGKILL);
}

QString standinBinary()
{
    return QStringLiteral(STANDIN_BIN);
}

bool waitUntil(const std::function<bool()>& cond, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!cond()) {
        if (t.elapsed() > ms)
            return false;
        QThread::msleep(10);
    }
    return true;
}

bool processGone(pid_t pid)
{
    if (pid <= 0)
        return true;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    // A zombie has ended; its parent has just not reaped it yet.
    const QString text = QString::fromLatin1(stat.readAll());
    return text.section(QLatin1Char(')'), -1).trimmed().startsWith(QLatin1Char('Z'));
}

QMap<QString, QString> snapshot(const QString& dir)
{
    QMap<QString, QString> files;
    QDirIterator it(dir, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        struct stat st;
        if (lstat(QFile::encodeName(path).constData(), &st) < 0)
            continue;
        // A folder's own times change with its entries, which are listed themselves.
        const bool folder = S_ISDIR(st.st_mode);
        files.insert(path, QStringLiteral("mode %1 ino %2 size %3 mtime %4.%5 uid %6")
                               .arg(st.st_mode, 0, 8)
                               .arg(st.st_ino)
                               .arg(folder ? 0 : st.st_size)
                               .arg(folder ? 0 : st.st_mtim.tv_sec)
                               .arg(folder ? 0 : st.st_mtim.tv_nsec)
                               .arg(st.st_uid));
    }
    return files;
}

QStringList openersOf(const QString& dir)
{
    QStringList found;
    const QStringList pids = QDir("/proc").entryList(QDir::Dirs);
    for (const QString& pid : pids) {
        if (!pid.toInt())
            continue;
        const QString fdDir = "/proc/" + pid + "/fd";
        for (const QString& fd : QDir(fdDir).entryList(QDir::System | QDir::NoDotAndDotDot)) {
            const QString target = QFile::symLinkTarget(fdDir + "/" + fd);
            if (target.startsWith(dir))
                found << pid + ": " + target;
        }
    }
    return found;
}

static QString readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()) : QString();
}

Xvfb::Xvfb(int width, int height) : width_(width), height_(height)
{
    // The server picks a free display itself and names it once it takes connections. Without
    // -noreset it resets when its last client goes, and refuses connections meanwhile.
    server_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    server_.setChildProcessModifier(dieWithTheTest);
    server_.start(QStringLiteral("Xvfb"),
                  {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-noreset"),
                   QStringLiteral("-screen"), QStringLiteral("0"),
                   QStringLiteral("%1x%2x24").arg(width).arg(height), QStringLiteral("-nolisten"),
                   QStringLiteral("tcp")});
    if (!server_.waitForStarted())
        qFatal("Xvfb did not start");
    waitUntil([&] { return server_.canReadLine() || server_.waitForReadyRead(50); }, 20000);
    const QByteArray number = server_.readLine().trimmed();
    if (number.isEmpty())
        qFatal("Xvfb did not name its display");
    display_ = QStringLiteral(":") + QString::fromLatin1(number);
    qputenv("DISPLAY", display_.toLatin1());
}

Xvfb::Xvfb(const QString& display, int width, int height)
    : display_(display), width_(width), height_(height)
{
}

Xvfb::~Xvfb()
{
    server_.terminate();
    server_.waitForFinished(5000);
}

QString Xvfb::run(const QString& program, const QStringList& args, int* exitCode) const
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display_);
    p.setProcessEnvironment(env);
    p.start(program, args);
    p.waitForFinished(30000);
    if (exitCode)
        *exitCode = p.exitCode();
    return QString::fromLatin1(p.readAllStandardOutput());
}

QString Xvfb::rootWindow() const
{
    return run("xwininfo", {"-root"}).section("Window id: ", 1).section(' ', 0, 0);
}

bool Xvfb::bindDeviceKeys() const
{
    int status = -1;
    run(QStringLiteral("xmodmap"),
        {QStringLiteral("-e"), QStringLiteral("keycode 93 = F26"), QStringLiteral("-e"),
         QStringLiteral("keycode 97 = F28"), QStringLiteral("-e"),
         QStringLiteral("keycode 103 = F29")},
        &status);
    return status == 0;
}

void Xvfb::focus(qulonglong wid) const
{
    run("xdotool", {"windowfocus", "--sync", QString::number(wid)});
}

QString Xvfb::waitForDialog() const
{
    // Mapped, so that it can take the focus; keys sent to it before its own loop runs wait in
    // the server's queue.
    return run("timeout",
               {"25", "xdotool", "search", "--sync", "--onlyvisible", "--name", "^Error$"})
        .section('\n', 0, 0);
}

bool Xvfb::answerDialog(const QString& key) const
{
    const QString id = waitForDialog();
    if (id.isEmpty())
        return false;
    run("xdotool", {"windowfocus", "--sync", id});
    run("xdotool", {"key", key});
    return true;
}

PrivateBus::PrivateBus()
{
    daemon_.setChildProcessModifier(dieWithTheTest);
    daemon_.start(QStringLiteral("dbus-daemon"),
                  {QStringLiteral("--session"), QStringLiteral("--nofork"),
                   QStringLiteral("--print-address=1")});
    if (!daemon_.waitForStarted())
        qFatal("dbus-daemon did not start");
    waitUntil([&] { return daemon_.canReadLine() || daemon_.waitForReadyRead(50); }, 10000);
    address_ = QString::fromLatin1(daemon_.readLine()).trimmed();
    // Tests of the screen saver's hold would go on against no bus, and say little.
    if (address_.isEmpty())
        qFatal("dbus-daemon named no bus address");
}

PrivateBus::~PrivateBus()
{
    stopScreenSaver();
    daemon_.terminate();
    daemon_.waitForFinished(5000);
}

QString PrivateBus::saverLog() const
{
    return readFile(dir_.path() + "/saver.log");
}

void PrivateBus::startScreenSaver()
{
    stopScreenSaver();
    QFile::remove(dir_.path() + "/saver.log");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address_);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    saver_.setProcessEnvironment(env);
    saver_.setProcessChannelMode(QProcess::ForwardedChannels);
    saver_.setChildProcessModifier(dieWithTheTest);
    saver_.start(QStringLiteral(SCREENSAVER_BIN), {dir_.path() + "/saver.log"});
    if (!waitUntil([&] { return saverLog().contains(QLatin1String("ready")); }, 10000))
        qFatal("the screen-saver stand-in did not start: %s", qPrintable(saverLog()));
}

void PrivateBus::stopScreenSaver()
{
    if (saver_.state() == QProcess::NotRunning)
        return;
    saver_.terminate();
    saver_.waitForFinished(5000);
}

TamblinRun::TamblinRun(const Xvfb* x, const PrivateBus* bus) : x_(x)
{
    QDir(dir_.path()).mkpath(QStringLiteral("app"));
    QDir(dir_.path()).mkpath(QStringLiteral("standin"));
    QDir(dir_.path()).mkpath(QStringLiteral("run"));
    QDir(dir_.path()).mkpath(QStringLiteral("tmp"));
    chmod(QFile::encodeName(dir_.path() + "/run").constData(), 0700);
    QFile::link(standinBinary(), appDir() + "mplayer");
    fifo_ = dir_.path() + "/run/pipe";

    env_ = QProcessEnvironment::systemEnvironment();
    env_.insert(QStringLiteral("MYPATH"), appDir());
    env_.insert(QStringLiteral("TAMBLIN_FIFO"), fifo_);
    env_.insert(QStringLiteral("STANDIN_DIR"), standinDir());
    env_.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env_.remove(QStringLiteral("MPLAYER_HOME"));
    // Whatever the run makes for itself stays inside this folder, where the tests can see it.
    env_.insert(QStringLiteral("TMPDIR"), dir_.path() + "/tmp");
    env_.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir_.path() + "/run");
    // The adapter's start cache too: no run is served what another test's run kept.
    env_.insert(QStringLiteral("XDG_CACHE_HOME"), dir_.path() + "/cache");
    if (x)
        env_.insert(QStringLiteral("DISPLAY"), x->display());
    // Silent, and never the machine's own speech service, whatever a run before chose: a test
    // about speech says otherwise.
    env_.insert(QStringLiteral("TAMBLIN_SPEECH"), QStringLiteral("0"));
    env_.insert(QStringLiteral("SPEECHD_ADDRESS"),
                QStringLiteral("unix_socket:") + dir_.path() + "/run/no-speech");
    // Whatever a shell might run by mistake would land here, where the tests look.
    process_.setWorkingDirectory(dir_.path());
    if (bus)
        env_.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus->address());
    else
        env_.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                    QStringLiteral("unix:path=") + dir_.path() + "/no-bus");
}

TamblinRun::~TamblinRun()
{
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished(5000);
    }
    const pid_t player = standinPid();
    if (player > 0 && !processGone(player))
        kill(player, SIGKILL);
}

void TamblinRun::usePlayer(const QString& path)
{
    QFile::remove(appDir() + "mplayer");
    QFile::link(path, appDir() + "mplayer");
}

void TamblinRun::setControl(const QString& text)
{
    QFile f(standinDir() + "/control.tmp");
    if (f.open(QIODevice::WriteOnly))
        f.write(text.toLatin1());
    f.close();
    // Renamed into place, so that the stand-in never reads half of it.
    ::rename(QFile::encodeName(standinDir() + "/control.tmp").constData(),
             QFile::encodeName(standinDir() + "/control").constData());
}

void TamblinRun::setFifoVariable()
{
    if (fifo_.isEmpty())
        env_.remove(QStringLiteral("TAMBLIN_FIFO"));
    else
        env_.insert(QStringLiteral("TAMBLIN_FIFO"), fifo_);
}

void TamblinRun::start(const QStringList& args)
{
    setFifoVariable();
    process_.setProcessEnvironment(env_);
    process_.start(program_.isEmpty() ? tamblinBinary() : program_, args);
    process_.waitForStarted();
}

void TamblinRun::startRaw(const QList<QByteArray>& args, const QList<QByteArray>& env)
{
    setFifoVariable();
    // Made before the fork: the child may only exec.
    auto rawArgs = std::make_shared<QList<QByteArray>>();
    rawArgs->append(QFile::encodeName(tamblinBinary()));
    rawArgs->append(args);
    auto rawEnv = std::make_shared<QList<QByteArray>>();
    for (const QString& name : env_.keys()) {
        const QByteArray entry = name.toLocal8Bit() + '=' + env_.value(name).toLocal8Bit();
        bool replaced = false;
        for (const QByteArray& e : env)
            replaced = replaced || e.startsWith(name.toLocal8Bit() + '=');
        if (!replaced)
            rawEnv->append(entry);
    }
    rawEnv->append(env);
    auto argv = std::make_shared<std::vector<char*>>();
    for (QByteArray& a : *rawArgs)
        argv->push_back(a.data());
    argv->push_back(nullptr);
    auto envp = std::make_shared<std::vector<char*>>();
    for (QByteArray& e : *rawEnv)
        envp->push_back(e.data());
    envp->push_back(nullptr);
    process_.setChildProcessModifier([rawArgs, rawEnv, argv, envp] {
        execve((*argv)[0], argv->data(), envp->data());
        _exit(127);
    });
    process_.start(tamblinBinary(), {});
    process_.waitForStarted();
    process_.setChildProcessModifier({});
}

bool TamblinRun::startWithoutCommandFifo()
{
    env_.insert(QStringLiteral("STANDIN_NO_OPEN"), QStringLiteral("1"));
    QFile f(fifo_);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    f.close();
    start();
    return x_->answerDialog(QStringLiteral("Escape"));
}

QString TamblinRun::outSoFar()
{
    process_.waitForReadyRead(0);
    out_ += QString::fromLatin1(process_.readAllStandardOutput());
    err_ += QString::fromLatin1(process_.readAllStandardError());
    return out_;
}

QString TamblinRun::errSoFar()
{
    outSoFar();
    return err_;
}

bool TamblinRun::focusTakenIn(qulonglong wid)
{
    const QString shift = QStringLiteral("Unknown Key: %1\n").arg(int(Qt::Key_Shift));
    const int before = int(outSoFar().count(shift));
    x_->focus(wid);
    x_->run(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("shift")});
    return waitUntil([&] { return outSoFar().count(shift) > before; }, 10000);
}

bool TamblinRun::waitForExit(int ms)
{
    const bool done = process_.waitForFinished(ms);
    out_ += QString::fromLatin1(process_.readAllStandardOutput());
    err_ += QString::fromLatin1(process_.readAllStandardError());
    return done;
}

QList<Received> TamblinRun::receivedTimed() const
{
    QList<Received> lines;
    const QStringList raw = readFile(standinDir() + "/received").split('\n', Qt::SkipEmptyParts);
    for (const QString& l : raw)
        lines.append({l.section(' ', 0, 0).toLongLong(), l.section(' ', 1)});
    return lines;
}

QStringList TamblinRun::received() const
{
    QStringList lines;
    for (const Received& r : receivedTimed())
        lines << r.line;
    return lines;
}

bool TamblinRun::waitForReceived(const QString& line, int count, int ms) const
{
    return waitUntil([&] { return received().count(line) >= count; }, ms);
}

QStringList TamblinRun::standinArgs() const
{
    return readFile(standinDir() + "/args").split('\n', Qt::SkipEmptyParts);
}

QString TamblinRun::standinWid() const
{
    return readFile(standinDir() + "/wid").trimmed();
}

pid_t TamblinRun::standinPid() const
{
    return pid_t(readFile(standinDir() + "/pid").trimmed().toInt());
}

qulonglong TamblinRun::waitForWindow(int ms) const
{
    qulonglong wid = 0;
    waitUntil(
        [&] {
            wid = standinWid().toULongLong();
            // A player other than the stand-in does not tell: ask the X server.
            if (!wid)
                wid = x_->run("xdotool", {"search", "--onlyvisible", "--classname", "tamblin"})
                          .section('\n', 0, 0)
                          .toULongLong();
            return wid && x_->run("xwininfo", {"-id", QString::number(wid)}).contains("IsViewable");
        },
        ms);
    return wid;
}
