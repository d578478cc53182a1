// The key round trip through the adapter to Debian's MPlayer, and to Debian's mpv, playing the
// bundled clip, each beside the same player answering a plain query over its own channel (slave
// input, or JSON on a socket pair); and what the adapter adds when it relays a command, against
// a player that reads at once.
#include "benchUtil.h"
#include "mainWindow.h"
#include "spawn.h"

#include "mpvArguments.h"

#include <nlohmann/json.hpp>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

bool waitForTrace(const QString& trace, const char* text)
{
    for (int i = 0; i < 2000; ++i) {
        QFile f(trace);
        if (f.open(QIODevice::ReadOnly) && f.readAll().contains(text))
            return true;
        QThread::msleep(10);
    }
    return false;
}

// The figures of each run, and their medians: one run's p99 rests on its few slowest samples,
// which whatever else the machine does moves from one run to the next.
class Repeats
{
  public:
    void add(const Latency& l)
    {
        p50_.push_back(l.p50);
        p99_.push_back(l.p99);
        max_.push_back(l.max);
    }
    int count() const { return int(p50_.size()); }
    Latency median() const { return {middle(p50_), middle(p99_), middle(max_)}; }

  private:
    static double middle(std::vector<double> v)
    {
        std::sort(v.begin(), v.end());
        const size_t n = v.size();
        return n == 0 ? 0 : n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
    }
    std::vector<double> p50_, p99_, max_;
};

// The players behind the adapter, and their answer to a plain query.
struct Player
{
    const char* name;
    const char* path;
    std::vector<long long> (*plainQueries)(int queries);
    const char* query;
};

// Key presses through the window and the adapter, with the player behind: how long each key
// press takes from delivery until its command has gone out.
std::vector<long long> keysThroughAdapter(const QString& dir, const Player& player, int presses,
                                          int repeat)
{
    QDir(dir).mkpath("app");
    QFile::link(ADAPTER_BIN, dir + "/app/mplayer");
    QFile::link(APP_DIR "/background.avi", dir + "/app/background.avi");
    // Each run its own: the adapter before may not have let go of them yet.
    const QString run = QString::fromLatin1(player.name) + "-" + QString::number(repeat);
    const QString trace = dir + "/trace-" + run;
    qputenv("MYPATH", QFile::encodeName(dir + "/app/"));
    qputenv("TAMBLIN_FIFO", QFile::encodeName(dir + "/pipe-" + run));
    qputenv("TAMBLIN_PLAYER", player.path);
    qputenv("TAMBLIN_MEDIA", QFile::encodeName(dir + "/app"));
    qputenv("TAMBLIN_ADAPTER_TRACE", QFile::encodeName(trace));

    std::vector<long long> samples;
    mainWindow window(nullptr, "Tamblin");
    if (!waitForTrace(trace, "< Playing"))
        return samples;
    for (int i = 0; i < presses; ++i) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_PageDown, Qt::NoModifier);
        const long long start = monotonicNs();
        QApplication::sendEvent(&window, &press);
        samples.push_back(monotonicNs() - start);
    }
    // Every press must have been answered by the adapter and relayed to the player.
    QThread::msleep(200);
    QFile f(trace);
    f.open(QIODevice::ReadOnly);
    const QByteArray text = f.readAll();
    if (text.count("volume +10\n") != presses || text.count("= ANS_MENU_VISIBILITY") != presses)
        fprintf(stderr, "bench: the adapter relayed %d and answered %d of %d key presses\n",
                int(text.count("volume +10\n")), int(text.count("= ANS_MENU_VISIBILITY")), presses);
    return samples;
}

// MPlayer's own answer to a plain query on its slave input.
std::vector<long long> mplayerQueries(int queries)
{
    int input, output;
    const pid_t pid = spawn({"/usr/bin/mplayer", "-slave", "-quiet", "-nortc", "-nocache", "-ao",
                             "null", "-vo", "x11", "-loop", "0", APP_DIR "/background.avi"},
                            &input, &output);
    FILE* answers = fdopen(output, "r");
    char line[4096];
    while (fgets(line, sizeof line, answers) && strncmp(line, "Playing ", 8) != 0) {
    }
    std::vector<long long> samples;
    static const char query[] = "get_time_pos\n";
    for (int i = 0; i < queries; ++i) {
        const long long start = monotonicNs();
        if (write(input, query, sizeof query - 1) < 0)
            break;
        while (fgets(line, sizeof line, answers) && strncmp(line, "ANS_", 4) != 0) {
        }
        samples.push_back(monotonicNs() - start);
    }
    static const char quit[] = "quit\n";
    if (write(input, quit, sizeof quit - 1) < 0)
        kill(pid, SIGTERM);
    close(input);
    fclose(answers);
    waitpid(pid, nullptr, 0);
    return samples;
}

// mpv's own answer to the same query in JSON on its socket pair, started with the same options
// as MPlayer above, in the words the adapter gives them to mpv.
std::vector<long long> mpvQueries(int queries)
{
    using nlohmann::json;
    const MpvArguments a = mpvArguments({"-slave", "-quiet", "-nortc", "-nocache", "-ao", "null",
                                         "-vo", "x11", "-loop", "0", APP_DIR "/background.avi"},
                                        nullptr, getenv("TAMBLIN_HWDEC"));
    int pair[2];
    std::vector<long long> samples;
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
        return samples;
    const int null = open("/dev/null", O_RDWR | O_CLOEXEC);
    SpawnRequest request;
    request.path = "/usr/bin/mpv";
    request.arguments = a.options;
    request.arguments.insert(request.arguments.begin(), request.path);
    request.input = request.output = null;
    request.control = pair[1];
    const pid_t pid = spawnProcess(request);
    close(null);
    close(pair[1]);
    FILE* answers = fdopen(dup(pair[0]), "r");
    char line[4096];
    auto message = [&] {
        const json m = json::parse(line, nullptr, false);
        return m.is_object() ? m : json::object();
    };
    while (fgets(line, sizeof line, answers) &&
           message().value("event", "") != "playback-restart") {
    }
    for (int i = 0; i < queries; ++i) {
        const std::string query =
            json{{"command", {"get_property", "time-pos"}}, {"request_id", i + 1}}.dump() + "\n";
        const long long start = monotonicNs();
        if (write(pair[0], query.data(), query.size()) < 0)
            break;
        while (fgets(line, sizeof line, answers) && message().value("request_id", -1) != i + 1) {
        }
        samples.push_back(monotonicNs() - start);
    }
    // Our end closed, it ends by itself.
    close(pair[0]);
    fclose(answers);
    waitpid(pid, nullptr, 0);
    return samples;
}

// A command from the FIFO to a player that reads at once, with or without the adapter between.
std::vector<long long> relayed(const QString& dir, int report, bool throughAdapter, int commands)
{
    const std::string fifo =
        (dir + (throughAdapter ? "/adapter-pipe" : "/direct-pipe")).toStdString();
    mkfifo(fifo.c_str(), 0600);
    int input, output;
    const std::string fileArg = "file=" + fifo;
    const pid_t pid = throughAdapter
                          ? spawn({ADAPTER_BIN, "-slave", "-input", fileArg, "-quiet", "clip.avi"},
                                  &input, &output)
                          : spawn({ECHO_BIN, "-input", fileArg}, &input, &output);
    const int fd = open(fifo.c_str(), O_WRONLY);
    static const char command[] = "seek +40\n";
    std::vector<long long> samples;
    for (int i = 0; i < commands; ++i) {
        const long long start = monotonicNs();
        if (write(fd, command, sizeof command - 1) < 0)
            break;
        samples.push_back(readStamp(report) - start);
    }
    close(fd);
    close(input);
    close(output);
    waitpid(pid, nullptr, 0);
    return samples;
}

} // namespace

int main(int argc, char** argv)
{
    const int presses = argc > 1 ? atoi(argv[1]) : 2000;
    const int queries = argc > 2 ? atoi(argv[2]) : 2000;
    const int repeats = argc > 3 ? atoi(argv[3]) : 15;
    prepareWindowBench("xcb");
    // The window takes the application's arguments for the player's: give it none.
    int appArgc = 1;
    QApplication app(appArgc, argv);

    QTemporaryDir dir;
    const int report = openReport(dir.path().toStdString());

    const Player players[] = {{"MPlayer", "/usr/bin/mplayer", mplayerQueries, "get_time_pos"},
                              {"mpv", "/usr/bin/mpv", mpvQueries, "get_property time-pos"}};
    for (const Player& player : players) {
        // Each repeat both ways, in turn, so that what else the machine does weighs on both.
        Repeats keys, plain;
        for (int r = 0; r < repeats; ++r) {
            const std::vector<long long> k = keysThroughAdapter(dir.path(), player, presses, r);
            const std::vector<long long> q = player.plainQueries(queries);
            if (!k.empty() && !q.empty()) {
                keys.add(latency(k));
                plain.add(latency(q));
            }
        }
        if (keys.count() == 0) {
            fprintf(stderr, "bench: no key round trip through the adapter to %s\n", player.name);
            continue;
        }
        const Latency ours = keys.median(), theirs = plain.median();
        printRow(std::string("Key round trip through the adapter to ") + player.name + " (" +
                     std::to_string(presses) + " presses) vs. " + player.name + " answering " +
                     player.query + " (" + std::to_string(queries) + "), medians of " +
                     std::to_string(keys.count()) + " runs",
                 formatLatency(ours), formatLatency(theirs),
                 "p50 " + formatRatio(ours.p50 / theirs.p50) + ", p99 " +
                     formatRatio(ours.p99 / theirs.p99),
                 player.name == std::string("mpv") ? "p99 at most 2" : "");
    }

    setenv("TAMBLIN_PLAYER", ECHO_BIN, 1);
    unsetenv("TAMBLIN_WID");
    const Latency direct = latency(relayed(dir.path(), report, false, presses));
    const Latency adapter = latency(relayed(dir.path(), report, true, presses));
    char added[64];
    snprintf(added, sizeof added, "adds p50 %.1f us, p99 %.1f us", adapter.p50 - direct.p50,
             adapter.p99 - direct.p99);
    printRow("Command relay, FIFO to player, through the adapter vs. direct",
             formatLatency(adapter), formatLatency(direct), added, "adds under 1000 us");
    return 0;
}
