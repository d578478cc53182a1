// Choosing a track: from the key that chooses a sound track (or subtitles) in the menu until
// the new tone is in the sound that the player writes to its file (or the subtitle line has
// changed on the screen), through the window, the adapter and the player; beside the same
// player switching by its own command, started alone on the same clip in the same run. For
// MPlayer and for mpv.
//
// The sound goes to a file (-ao pcm:file=F; the machines have no sound device), and a tone is
// told by its zero crossings over the last 25 ms written, polled every millisecond.
#include "benchUtil.h"
#include "mediaMaker.h"
#include "playerOutput.h"
#include "screenProbe.h"
#include "spawn.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

const int kFrench = 440, kEnglish = 880;
const char kMPlayer[] = "/usr/bin/mplayer", kMpv[] = "/usr/bin/mpv";

struct Bench
{
    Display* display = nullptr;
    int width = 0, height = 0;
    std::string scratch, clip, trace;
    bool mpv = false;
};

struct Samples
{
    std::vector<long long> sound, subtitles;
};

pid_t startQuietly(const std::vector<std::string>& argv, int control = -1)
{
    const int null = open("/dev/null", O_RDWR | O_CLOEXEC);
    SpawnRequest request;
    request.path = argv.front();
    request.arguments = argv;
    request.input = request.output = request.errors = null;
    request.control = control;
    const pid_t pid = spawnProcess(request);
    close(null);
    return pid;
}

void endProcess(pid_t pid)
{
    kill(pid, SIGTERM);
    for (int i = 0; i < 500 && waitpid(pid, nullptr, WNOHANG) != pid; ++i)
        usleep(10000);
    if (kill(pid, 0) == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
}

bool waitFor(const std::function<bool()>& done, int timeoutMs, const char* what)
{
    const long long start = monotonicNs();
    while (!done()) {
        if (monotonicNs() - start > timeoutMs * 1000000LL) {
            fprintf(stderr, "bench: %s did not happen\n", what);
            return false;
        }
        usleep(1000);
    }
    return true;
}

// When the last 25 ms written hold the tone; -1 after the timeout.
long long untilTone(const std::string& wav, int tone)
{
    long long at = -1;
    waitFor(
        [&] {
            Sound s;
            if (readSound(QString::fromStdString(wav), 0.025, &s) &&
                toneOf(s, {kFrench, kEnglish}) == tone)
                at = monotonicNs();
            return at >= 0;
        },
        5000, "the new tone");
    return at;
}

// The band at the bottom of the screen where subtitle lines stand.
ScreenProbe subtitleBand(const Bench& b)
{
    return ScreenProbe(b.display, 0, b.height * 80 / 100, b.width, b.height * 20 / 100);
}

// Lines of the trace that are this one, or that begin with it.
int traceCount(const Bench& b, const std::string& wanted, bool begins = false)
{
    std::ifstream in(b.trace);
    int n = 0;
    for (std::string line; std::getline(in, line);)
        n += begins ? line.compare(0, wanted.size(), wanted) == 0 : line == wanted;
    return n;
}

// Whether the player, asked through the window's FIFO, says that the clip has played that long.
bool playedFor(const Bench& b, double seconds)
{
    const std::string answer = "< ANS_time_pos=", refused = "< ANS_ERROR";
    const int answers = traceCount(b, answer, true) + traceCount(b, refused, true);
    const int fifo = open((b.scratch + "/pipe").c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    const std::string ask = "pausing_keep_force get_property time_pos\n";
    const bool asked = fifo >= 0 && write(fifo, ask.data(), ask.size()) == ssize_t(ask.size());
    if (fifo >= 0)
        close(fifo);
    if (!asked ||
        !waitFor(
            [&] { return traceCount(b, answer, true) + traceCount(b, refused, true) > answers; },
            2000, "the player's answer"))
        return false;
    std::ifstream in(b.trace);
    double last = -1;
    for (std::string line; std::getline(in, line);) {
        if (line.compare(0, answer.size(), answer) == 0)
            last = atof(line.c_str() + answer.size());
    }
    return last >= seconds;
}

// Through the window: the clip chosen from the start menu, then each round a track chosen
// from its menu, the keys before the last one pressed at the player's rest.
Samples throughTamblin(const Bench& b, int rounds)
{
    Samples samples;
    const std::string wav = b.scratch + "/ours.wav", rest = b.mpv ? "# at rest" : "# stopped";
    unlink(b.trace.c_str());
    unlink(wav.c_str());
    setenv("TAMBLIN_PLAYER", b.mpv ? kMpv : kMPlayer, 1);
    // A state of its own: the clip left partway by the run before would ask where to start.
    setenv("XDG_STATE_HOME", (b.scratch + "/state-" + (b.mpv ? "mpv" : "mplayer")).c_str(), 1);
    const pid_t tamblin = startQuietly({TAMBLIN_BIN, "-ao pcm:file=" + wav + " -osdlevel 0"});
    const Window window = waitForWindow(b.display, "tamblin", 20000);
    const auto toRest = [&](const char* key) {
        const int rests = traceCount(b, rest);
        pressKey(b.display, window, key);
        return waitFor([&] { return traceCount(b, rest) > rests; }, 10000, key);
    };
    // The main menu over the clip: Play a clip, Pause or resume, Sound track, Subtitles...
    const auto open = [&](int entry) {
        usleep(400000); // a viewer's pace, as for the player alone
        bool ok = toRest("F1");
        for (int i = 0; i < entry; ++i)
            ok = ok && toRest("Down");
        return ok && toRest("Return");
    };
    if (!window || !waitFor([&] { return traceCount(b, rest) > 0; }, 20000, "the start menu") ||
        !toRest("Return") || !toRest("Down")) {
        endProcess(tamblin);
        return samples;
    }
    pressKey(b.display, window, "Return");
    waitFor([&] { return traceCount(b, "> menu hide") > 0; }, 20000, "the clip's start");
    // The clip's entries are in its main menu once the player has told the adapter about its
    // tracks: by the time it says that the clip has played half a second, it has.
    waitFor([&] { return playedFor(b, 0.5); }, 10000, "the clip's first half second");
    for (int i = 0; i < rounds && untilTone(wav, i % 2 ? kEnglish : kFrench) >= 0; ++i) {
        if (!open(2) || (i % 2 == 0 && !toRest("Down")))
            break;
        const long long start = monotonicNs();
        pressKey(b.display, window, "Return");
        const long long heard = untilTone(wav, i % 2 ? kFrench : kEnglish);
        if (heard >= 0)
            samples.sound.push_back(heard - start);
    }
    ScreenProbe band = subtitleBand(b);
    // French subtitles (the wide line) on, then off again. Only their showing is timed: under
    // MPlayer's menu no line is drawn, so their going shows nothing new.
    for (int i = 0; i < 2 * rounds; ++i) {
        const bool on = i % 2 == 0;
        if (!open(3) || (on && (!toRest("Down") || !toRest("Down"))))
            break;
        const std::vector<uint32_t> before = band.grab();
        const int hides = traceCount(b, "> menu hide");
        const long long start = monotonicNs();
        pressKey(b.display, window, "Return");
        if (!on) {
            waitFor([&] { return traceCount(b, "> menu hide") > hides; }, 5000, "the menu's close");
            continue;
        }
        const long long seen = band.waitForChange(before, 5000);
        if (seen >= 0)
            samples.subtitles.push_back(seen - start);
    }
    endProcess(tamblin);
    return samples;
}

// The player alone on the clip, switched by its own commands: MPlayer's slave input, mpv's
// text commands over its IPC descriptor.
Samples playerAlone(const Bench& b, int rounds)
{
    Samples samples;
    const std::string wav = b.scratch + "/alone.wav";
    unlink(wav.c_str());
    int fds[2] = {-1, -1}, input = -1;
    pid_t player;
    if (b.mpv) {
        socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds);
        player = startQuietly({kMpv, "--no-config", "--fs", "--vo=x11", "--ao=pcm",
                               "--ao-pcm-file=" + wav, "--osd-level=0", "--sid=no",
                               "--input-ipc-client=fd://3", b.clip},
                              fds[1]);
        close(fds[1]);
        input = fds[0];
    } else {
        SpawnRequest request;
        request.path = kMPlayer;
        request.arguments = {
            kMPlayer,       "-slave",    "-quiet", "-fs", "-zoom",           "-vo", "x11", "-vf",
            "format=bgr32", "-osdlevel", "0",      "-ao", "pcm:file=" + wav, b.clip};
        request.output = request.errors = open("/dev/null", O_WRONLY | O_CLOEXEC);
        player = spawnWithPipes(request, &input, nullptr, nullptr);
        close(request.output);
    }
    const auto send = [&](const std::string& line) {
        const std::string text = line + "\n";
        return write(input, text.data(), text.size()) == ssize_t(text.size());
    };
    const std::string audio[2] = {b.mpv ? "set aid 2" : "switch_audio 1",
                                  b.mpv ? "set aid 1" : "switch_audio 0"};
    const std::string subtitles[2] = {b.mpv ? "set sid 2" : "sub_demux 1",
                                      b.mpv ? "set sid no" : "sub_select -1"};
    for (int i = 0; i < rounds && untilTone(wav, i % 2 ? kEnglish : kFrench) >= 0; ++i) {
        usleep(400000); // a viewer's pace, as through the menu
        const long long start = monotonicNs();
        send(audio[i % 2]);
        const long long heard = untilTone(wav, i % 2 ? kFrench : kEnglish);
        if (heard >= 0)
            samples.sound.push_back(heard - start);
    }
    ScreenProbe band = subtitleBand(b);
    send(subtitles[1]);
    for (int i = 0; i < 2 * rounds; ++i) {
        usleep(400000);
        const std::vector<uint32_t> before = band.grab();
        const long long start = monotonicNs();
        send(subtitles[i % 2]);
        if (i % 2)
            continue;
        const long long seen = band.waitForChange(before, 5000);
        if (seen >= 0)
            samples.subtitles.push_back(seen - start);
    }
    endProcess(player);
    close(input);
    return samples;
}

std::string p50(const std::vector<long long>& ns, double* ms)
{
    if (ns.empty())
        return "none";
    const Latency l = latency(ns); // microseconds
    *ms = l.p50 / 1000;
    char text[96];
    snprintf(text, sizeof text, "p50 %.1f / max %.1f ms (%zu)", l.p50 / 1000, l.max / 1000,
             ns.size());
    return text;
}

void report(const char* player, const char* what, const std::vector<long long>& ours,
            const std::vector<long long>& alone)
{
    double a = 0, b = 0;
    const std::string o = p50(ours, &a), d = p50(alone, &b);
    char adds[48];
    snprintf(adds, sizeof adds, "adds p50 %.1f ms", a - b);
    printRow(std::string(player) + ": " + what, o, d, adds, "");
}

} // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? atoi(argv[1]) : 10;
    Bench b;
    b.display = XOpenDisplay(nullptr);
    if (!b.display) {
        fprintf(stderr, "bench: no X display\n");
        return 1;
    }
    // A window that goes while a key is on its way is the round's failure, said on its own.
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    b.width = DisplayWidth(b.display, DefaultScreen(b.display));
    b.height = DisplayHeight(b.display, DefaultScreen(b.display));
    char dir[] = "/tmp/tamblin-bench.XXXXXX";
    b.scratch = mkdtemp(dir);
    const std::string app = b.scratch + "/app/", media = b.scratch + "/media";
    b.clip = media + "/tracks.mkv";
    b.trace = b.scratch + "/trace";
    mkdir(app.c_str(), 0755);
    mkdir(media.c_str(), 0755);
    // Long enough for every round on MPlayer, which plays a file's sound ahead of the clock.
    const ClipRecipe recipe{"0x203040",
                            600,
                            {{kFrench, "fre", ""}, {kEnglish, "eng", ""}},
                            {{"II", "eng", ""}, {QString(12, 'W'), "fre", ""}},
                            {}};
    if (symlink(ADAPTER_BIN, (app + "mplayer").c_str()) < 0 ||
        symlink(APP_DIR "/background.avi", (app + "background.avi").c_str()) < 0 ||
        !makeClip(QString::fromStdString(b.clip), recipe)) {
        fprintf(stderr, "bench: cannot make the clip\n");
        return 1;
    }
    setenv("MYPATH", app.c_str(), 1);
    setenv("TAMBLIN_FIFO", (b.scratch + "/pipe").c_str(), 1);
    setenv("TAMBLIN_MEDIA", media.c_str(), 1);
    setenv("TAMBLIN_ADAPTER_TRACE", b.trace.c_str(), 1);
    setenv("TAMBLIN_LANGUAGES", "fr,en", 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent", 1);
    signal(SIGPIPE, SIG_IGN);
    keepTableApart();
    for (bool mpv : {false, true}) {
        b.mpv = mpv;
        const char* name = mpv ? "mpv" : "MPlayer";
        const Samples ours = throughTamblin(b, rounds), alone = playerAlone(b, rounds);
        report(name,
               "Choosing a sound track, key to the new tone in the player's sound file, vs. the "
               "player alone switching by its own command",
               ours.sound, alone.sound);
        report(name,
               "Choosing subtitles, key to their line on screen, vs. the player alone switching "
               "them on by its own command",
               ours.subtitles, alone.subtitles);
    }
    XCloseDisplay(b.display);
    const std::string remove = "rm -rf " + b.scratch;
    return system(remove.c_str()) == 0 ? 0 : 1;
}
