// Key round trip: from a key event delivered to the window to the mapped command read by the
// player, beside the floor: the same bytes over a FIFO and a pipe between two processes with
// no window in between.
#include "benchUtil.h"
#include "mainWindow.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QTemporaryDir>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::vector<long long> floorSamples(const QString& dir, int report, int presses)
{
    const std::string fifo = (dir + "/floor-pipe").toStdString();
    mkfifo(fifo.c_str(), 0600);
    int output;
    const pid_t pid = spawn({ECHO_BIN, "-input", "file=" + fifo}, nullptr, &output);
    if (pid < 0)
        return {};
    const int commands = open(fifo.c_str(), O_WRONLY);
    FILE* answers = fdopen(output, "r");

    static const char query[] = "get_menu_visibility\n";
    static const char command[] = "seek +40\n";
    std::vector<long long> samples;
    char line[256];
    for (int i = 0; i < presses; ++i) {
        const long long start = monotonicNs();
        if (write(commands, query, sizeof query - 1) < 0 || !fgets(line, sizeof line, answers) ||
            write(commands, command, sizeof command - 1) < 0)
            break;
        samples.push_back(readStamp(report) - start);
    }
    close(commands);
    fclose(answers);
    waitpid(pid, nullptr, 0);
    return samples;
}

std::vector<long long> windowSamples(const QString& dir, int report, int presses)
{
    QDir(dir).mkpath("app");
    QFile::link(ECHO_BIN, dir + "/app/mplayer");
    qputenv("MYPATH", QFile::encodeName(dir + "/app/"));
    qputenv("TAMBLIN_FIFO", QFile::encodeName(dir + "/pipe"));

    std::vector<long long> samples;
    mainWindow window(nullptr, "Tamblin");
    for (int i = 0; i < presses; ++i) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
        const long long start = monotonicNs();
        QApplication::sendEvent(&window, &press);
        samples.push_back(readStamp(report) - start);
    }
    return samples;
}

} // namespace

int main(int argc, char** argv)
{
    const int presses = argc > 1 ? atoi(argv[1]) : 10000;
    prepareWindowBench("offscreen");
    // The window takes the application's arguments for the player's: give it none.
    int appArgc = 1;
    QApplication app(appArgc, argv);

    QTemporaryDir dir;
    const int report = openReport(dir.path().toStdString());

    const Latency floor = latency(floorSamples(dir.path(), report, presses));
    const Latency window = latency(windowSamples(dir.path(), report, presses));
    const std::string n = " (" + std::to_string(presses) + " presses)";
    printRow("Key round trip" + n + ", window vs. raw FIFO and pipe", formatLatency(window),
             formatLatency(floor),
             "p50 " + formatRatio(window.p50 / floor.p50) + ", p99 " +
                 formatRatio(window.p99 / floor.p99),
             "at most 2");
    return 0;
}
