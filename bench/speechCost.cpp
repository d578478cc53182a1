// What speech costs a key, on Debian's mpv and MPlayer behind the adapter, driven through the
// FIFO as the window drives it (the menu query, then the key): the query's round trip with
// speech on beside the same with it off, while menu keys move the selection so that each key
// is said; and the time from a key to its entry's words at the speech service, beside the same
// key to the adapter's answer of a query sent right after it with speech off. The service is a
// stand-in that notes when each text reaches it: what is measured is the adapter's part, not a
// synthesizer's. The two runs go side by side, a key to each in turn, so that the load of a
// shared machine falls on both alike.
#include "benchUtil.h"
#include "spawn.h"
#include "timedSpeechService.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

// The adapter as the window starts it, under the start menu, with its output and the FIFO; and
// what was measured of it.
struct AdapterRun
{
    pid_t pid = -1;
    FILE* output = nullptr;
    int fifo = -1;
    TimedSpeechService* speech = nullptr;                    // with speech on
    std::vector<long long> queries, keyToAnswer, keyToWords; // ns

    bool start(const std::string& dir, const std::string& tag, const char* player)
    {
        const std::string fifoPath = dir + "/pipe-" + tag, trace = dir + "/trace-" + tag;
        const std::string app = dir + "/app/";
        unlink(trace.c_str());
        unlink(fifoPath.c_str());
        mkfifo(fifoPath.c_str(), 0600);
        setenv("TAMBLIN_PLAYER", player, 1);
        setenv("TAMBLIN_SPEECH", speech ? "1" : "0", 1);
        setenv("TAMBLIN_ADAPTER_TRACE", trace.c_str(), 1);
        setenv("XDG_STATE_HOME", (dir + "/state-" + tag).c_str(), 1);
        int out = -1;
        pid = spawn({app + "mplayer", "-slave", "-input", "file=" + fifoPath, "-quiet", "-nortc",
                     "-nocache", "-ao", "null", "-menu-startup", app + "background.avi"},
                    nullptr, &out);
        output = fdopen(out, "r");
        // The adapter opens its end once the player has started.
        for (int i = 0; i < 2000 && fifo < 0; ++i) {
            fifo = open(fifoPath.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (fifo < 0)
                usleep(10000);
        }
        // The start menu drawn and the player left alone: MPlayer stopped, mpv at rest.
        const char* rest = strstr(player, "mpv") ? "# at rest" : "# stopped";
        for (int i = 0; i < 2000 && fifo >= 0; ++i) {
            std::ifstream in(trace);
            for (std::string line; std::getline(in, line);) {
                if (line == rest)
                    return fcntl(fifo, F_SETFL, 0) == 0;
            }
            usleep(10000);
        }
        fprintf(stderr, "bench: the adapter on %s did not come to rest\n", player);
        return false;
    }

    bool send(const char* line) const
    {
        return write(fifo, line, strlen(line)) == ssize_t(strlen(line));
    }

    // The adapter's answer to the menu query, once it has come; false when the run has gone.
    bool answered() const
    {
        char line[4096];
        while (fgets(line, sizeof line, output)) {
            if (strncmp(line, "ANS_MENU_VISIBILITY", 19) == 0)
                return true;
        }
        return false;
    }

    // A key as the window sends it: the menu query, its answer, then the key, which walks the
    // main menu's first three entries down and up so that each moves the selection. A query of
    // the bench's own right after it tells when the adapter has taken it, and with speech on
    // the service tells when its words came in.
    bool key(int i)
    {
        long long start = monotonicNs();
        if (!send("get_menu_visibility\n") || !answered())
            return false;
        queries.push_back(monotonicNs() - start);
        const size_t said = speech ? speech->texts() : 0;
        start = monotonicNs();
        if (!send(i % 4 < 2 ? "menu down\nget_menu_visibility\n"
                            : "menu up\nget_menu_visibility\n") ||
            !answered())
            return false;
        keyToAnswer.push_back(monotonicNs() - start);
        if (!speech)
            return true;
        const long long words = speech->waitForText(said, 5000);
        if (words >= 0)
            keyToWords.push_back(words - start);
        return words >= 0;
    }

    // The window gone: the adapter ends the player, and itself.
    void stop()
    {
        if (fifo >= 0)
            close(fifo);
        for (int i = 0; i < 1000 && waitpid(pid, nullptr, WNOHANG) == 0; ++i)
            usleep(10000);
        if (waitpid(pid, nullptr, WNOHANG) == 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
        if (output)
            fclose(output);
    }
};

// The 50th and 90th percentiles, in microseconds.
std::string p50p90(std::vector<long long> ns, double* p50)
{
    if (ns.empty())
        return "none";
    std::sort(ns.begin(), ns.end());
    auto at = [&](double q) { return double(ns[size_t(q * double(ns.size() - 1))]) / 1000.0; };
    *p50 = at(0.5);
    char text[64];
    snprintf(text, sizeof text, "p50 %.1f / p90 %.1f us", at(0.5), at(0.9));
    return text;
}

std::string ratios(const Latency& ours, const Latency& base)
{
    return "p50 " + formatRatio(ours.p50 / base.p50) + ", p99 " + formatRatio(ours.p99 / base.p99);
}

void printRows(const char* name, const AdapterRun& on, const AdapterRun& off, int gapMs)
{
    if (on.queries.empty() || off.queries.empty())
        return;
    const std::string n = std::to_string(on.queries.size());
    const Latency qOn = latency(on.queries), qOff = latency(off.queries);
    printRow(std::string("Menu query round trip through the adapter to ") + name +
                 ", speech on (stand-in service) vs. off (" + n +
                 " queries, each followed by a menu key, " + std::to_string(gapMs) + " ms apart)",
             formatLatency(qOn), formatLatency(qOff), ratios(qOn, qOff), "within 1.1x");
    const Latency aOn = latency(on.keyToAnswer), aOff = latency(off.keyToAnswer);
    printRow(std::string("Menu query sent right behind a menu key, to ") + name +
                 ", speech on vs. off (" + n + ")",
             formatLatency(aOn), formatLatency(aOff), ratios(aOn, aOff), "");
    double words = 0, answer = 0;
    const std::string ours = p50p90(on.keyToWords, &words);
    const std::string base = p50p90(off.keyToAnswer, &answer);
    char adds[64];
    snprintf(adds, sizeof adds, "adds p50 %.1f us", words - answer);
    printRow(std::string("Key to the start of speech on ") + name +
                 " (menu key into the FIFO to its entry's text at the service, " + n +
                 " keys) vs. the same key to the answer of a menu query behind it, speech off",
             ours, base, adds, "");
}

void measure(const std::string& dir, const char* name, const char* player, int keys, int gapMs)
{
    TimedSpeechService speech(dir + "/speech.socket");
    setenv("SPEECHD_ADDRESS", speech.address().c_str(), 1);
    AdapterRun on, off;
    on.speech = &speech;
    // With speech on, the start menu's words ("Tamblin", its entry) are said before any key.
    if (on.start(dir, "on", player) && off.start(dir, "off", player) &&
        speech.waitForText(1, 10000) >= 0) {
        // Each first in turn: the one after finds the machine awake from the other's key.
        int i = 0;
        while (i < keys && (i % 2 ? off.key(i) && on.key(i) : on.key(i) && off.key(i))) {
            usleep(useconds_t(gapMs) * 1000);
            ++i;
        }
        if (i != keys)
            fprintf(stderr, "bench: %d of %d keys went through on %s\n", i, keys, name);
    } else {
        fprintf(stderr, "bench: the runs on %s did not start, or said nothing\n", name);
    }
    on.stop();
    off.stop();
    printRows(name, on, off, gapMs);
}

} // namespace

int main(int argc, char** argv)
{
    const int keys = argc > 1 ? atoi(argv[1]) : 200;
    // About the pace of a key held down, which repeats some 25 to 30 times a second.
    const int gapMs = argc > 2 ? atoi(argv[2]) : 30;
    signal(SIGPIPE, SIG_IGN);
    keepTableApart();
    char dirTemplate[] = "/tmp/tamblin-bench-speech.XXXXXX";
    const std::string dir = mkdtemp(dirTemplate);
    mkdir((dir + "/app").c_str(), 0755);
    mkdir((dir + "/media").c_str(), 0755);
    if (symlink(ADAPTER_BIN, (dir + "/app/mplayer").c_str()) < 0 ||
        symlink(APP_DIR "/background.avi", (dir + "/app/background.avi").c_str()) < 0) {
        perror("bench: app folder");
        return 1;
    }
    setenv("TAMBLIN_MEDIA", (dir + "/media").c_str(), 1);
    setenv("LANGUAGE", "en", 1);
    setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent", 1);
    // The players draw in windows of their own.
    unsetenv("TAMBLIN_WID");
    measure(dir, "mpv", "/usr/bin/mpv", keys, gapMs);
    measure(dir, "MPlayer", "/usr/bin/mplayer", keys, gapMs);
    const std::string command = "rm -rf " + dir;
    if (system(command.c_str()) != 0)
        fprintf(stderr, "bench: could not remove %s\n", dir.c_str());
    return 0;
}
