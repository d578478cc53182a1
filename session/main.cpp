// tamblin-session: what a device boots into. It runs tamblin, and runs it again each time a run
// ends, until the menu's Quit is chosen, a termination signal comes, or runs keep ending as soon
// as they start. Its log goes to standard error, one line per event, for the display manager's
// log or the journal.
#include "restartPolicy.h"

#include "descriptors.h"
#include "monotonicClock.h"
#include "spawn.h"
#include "terminationPipe.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <poll.h>
#include <string>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

// A run told to end has this long to give the display back and end its player (its own bounds
// add up to about 6 s) before it is killed.
const long long kRunEndGraceMs = 15000;
const long long kKilledRunMs = 5000;
// What a run left behind has this long after SIGTERM, then this long after SIGKILL.
const long long kLeftoverGraceMs = 3000;
const long long kLeftoverKillMs = 2000;

void say(const char* format, ...) __attribute__((format(printf, 1, 2)));
void say(const char* format, ...)
{
    char line[1024];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
    // One write per line: the runs write to the same log.
    writeAll(STDERR_FILENO, std::string("tamblin-session: ") + line + "\n");
}

std::string signalName(int sig)
{
    const char* abbrev = sigabbrev_np(sig);
    return abbrev ? std::string("SIG") + abbrev : "signal " + std::to_string(sig);
}

std::string describeEnd(int status)
{
    if (WIFSIGNALED(status))
        return "was ended by " + signalName(WTERMSIG(status));
    return "ended with status " + std::to_string(WEXITSTATUS(status));
}

// The program to run: TAMBLIN_SESSION_PROGRAM, else the tamblin installed beside us.
std::string programPath()
{
    const char* chosen = getenv("TAMBLIN_SESSION_PROGRAM");
    if (chosen && *chosen)
        return chosen;
    char self[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0)
        return "/usr/bin/tamblin";
    std::string dir(self, size_t(n));
    dir.erase(dir.rfind('/') + 1);
    return dir + "tamblin";
}

// A folder that is ours alone, for the mark that Quit leaves.
std::string makePrivateFolder(std::string* why)
{
    std::vector<std::string> bases;
    for (const char* name : {"XDG_RUNTIME_DIR", "TMPDIR"}) {
        const char* value = getenv(name);
        if (value && value[0] == '/')
            bases.push_back(value);
    }
    bases.push_back("/tmp");
    for (const std::string& base : bases) {
        std::string path = base + "/tamblin-session.XXXXXX";
        if (mkdtemp(path.data()))
            return path;
        *why += (why->empty() ? "" : "; ") + base + ": " + strerror(errno);
    }
    return {};
}

// The processes whose parent we are: a run's, or, as their subreaper, what a run left behind.
std::vector<pid_t> ourChildren()
{
    std::vector<pid_t> found;
    const long self = getpid();
    DIR* proc = opendir("/proc");
    if (!proc)
        return found;
    while (const dirent* entry = readdir(proc)) {
        char* end;
        const long pid = strtol(entry->d_name, &end, 10);
        if (*end || pid <= 0)
            continue;
        char path[64];
        snprintf(path, sizeof path, "/proc/%ld/stat", pid);
        FILE* f = fopen(path, "re");
        if (!f)
            continue;
        char text[512];
        const size_t n = fread(text, 1, sizeof text - 1, f);
        fclose(f);
        text[n] = '\0';
        // "pid (name) state ppid ...": the name may hold anything, so read after its last ')'.
        const char* nameEnd = strrchr(text, ')');
        char state;
        long parent;
        if (nameEnd && sscanf(nameEnd + 1, " %c %ld", &state, &parent) == 2 && parent == self)
            found.push_back(pid_t(pid));
    }
    closedir(proc);
    return found;
}

std::string processName(pid_t pid)
{
    char path[64];
    snprintf(path, sizeof path, "/proc/%d/comm", int(pid));
    FILE* f = fopen(path, "re");
    if (!f)
        return "?";
    char name[64] = "";
    if (!fgets(name, sizeof name, f))
        name[0] = '\0';
    fclose(f);
    name[strcspn(name, "\n")] = '\0';
    return name;
}

// Children we had before the first run: the program that started us may have forked before it
// became us (Debian's Xsession starts ssh-agent so). They are not a run's to end.
std::vector<pid_t> inherited;

// Waits for any child that has ended; its pid, or 0 when none has.
pid_t reapOne(int* status)
{
    const pid_t pid = waitpid(-1, status, WNOHANG);
    if (pid <= 0)
        return 0;
    // Its pid is free again, and may come back as something a run left.
    inherited.erase(std::remove(inherited.begin(), inherited.end(), pid), inherited.end());
    return pid;
}

void reapAll()
{
    int status;
    while (reapOne(&status) > 0) {
    }
}

// Ends whatever a run left running: SIGTERM (with SIGCONT, for a player stopped at rest), and
// SIGKILL for what is still there after the grace. Their own children come to us in turn.
void endLeftovers()
{
    const long long start = monotonicMs();
    std::vector<pid_t> told;
    bool killing = false;
    for (;;) {
        reapAll();
        std::vector<pid_t> left = ourChildren();
        left.erase(std::remove_if(left.begin(), left.end(),
                                  [](pid_t pid) {
                                      return std::find(inherited.begin(), inherited.end(), pid) !=
                                             inherited.end();
                                  }),
                   left.end());
        if (left.empty())
            return;
        const long long waited = monotonicMs() - start;
        if (waited >= kLeftoverGraceMs + kLeftoverKillMs) {
            say("%zu processes left by the run do not end, even killed (pid %d first)", left.size(),
                int(left.front()));
            return;
        }
        if (waited >= kLeftoverGraceMs && !killing) {
            killing = true;
            say("what the run left did not end within %lld s: killing it", kLeftoverGraceMs / 1000);
        }
        for (pid_t pid : left) {
            if (killing) {
                kill(pid, SIGKILL);
            } else if (std::find(told.begin(), told.end(), pid) == told.end()) {
                told.push_back(pid);
                say("pid %d (%s) was left running by the run: ending it", int(pid),
                    processName(pid).c_str());
                kill(pid, SIGTERM);
                kill(pid, SIGCONT);
            }
        }
        poll(nullptr, 0, 20);
    }
}

enum class Waited { Ended, Signal, TimedOut };

// Waits until the run's process ends (its status in *status), a termination signal comes on
// stopFd (-1: none is looked for; its number in *sig), or the deadline passes (-1: none).
// Whatever else of ours ends meanwhile is reaped on the way.
Waited waitForRun(pid_t pid, int pidfd, int stopFd, long long deadline, int* status, int* sig)
{
    for (;;) {
        int st;
        for (pid_t done; (done = reapOne(&st)) > 0;) {
            if (done == pid) {
                *status = st;
                return Waited::Ended;
            }
        }
        const long long now = monotonicMs();
        if (deadline >= 0 && now >= deadline)
            return Waited::TimedOut;
        // With a pidfd the run's end wakes us; the timeout only reaps leftovers now and then.
        long long timeout = pidfd >= 0 ? 1000 : 50;
        if (deadline >= 0)
            timeout = std::min(timeout, deadline - now);
        pollfd fds[2] = {{stopFd, POLLIN, 0}, {pidfd, POLLIN, 0}};
        if (poll(fds, 2, int(timeout)) > 0 && (fds[0].revents & POLLIN)) {
            *sig = readTerminationPipe(stopFd);
            if (*sig)
                return Waited::Signal;
        }
    }
}

// A pause between runs, cut short by a termination signal, whose number it returns.
int pauseFor(long long ms, int stopFd)
{
    const long long until = monotonicMs() + ms;
    for (long long left = ms; left > 0; left = until - monotonicMs()) {
        pollfd p{stopFd, POLLIN, 0};
        if (poll(&p, 1, int(left)) > 0) {
            if (const int sig = readTerminationPipe(stopFd))
                return sig;
        }
    }
    return 0;
}

// Ends the run in its orderly way: tamblin takes SIGTERM as a close, tells the player to quit
// and gives the display back. One that does not end in time is killed.
int endRun(int run, pid_t pid, int pidfd)
{
    kill(pid, SIGTERM);
    int status = 0, sig = 0;
    if (waitForRun(pid, pidfd, -1, monotonicMs() + kRunEndGraceMs, &status, &sig) ==
        Waited::TimedOut) {
        say("run %d did not end within %lld s of SIGTERM: killing it", run, kRunEndGraceMs / 1000);
        kill(pid, SIGKILL);
        if (waitForRun(pid, pidfd, -1, monotonicMs() + kKilledRunMs, &status, &sig) ==
            Waited::TimedOut)
            say("run %d does not end, even killed", run);
    }
    return status;
}

void removeFolder(const std::string& folder, const std::string& endMark)
{
    unlink(endMark.c_str());
    if (rmdir(folder.c_str()) < 0)
        say("cannot remove %s: %s", folder.c_str(), strerror(errno));
}

} // namespace

int main(int argc, char** argv)
{
    const pid_t parent = getppid();
    // A log reader that went away must not end the session.
    signal(SIGPIPE, SIG_IGN);
    const int stopFd = openTerminationPipe();
    if (stopFd < 0) {
        say("cannot catch termination signals: %s", strerror(errno));
        return 1;
    }
    // What started us (cage, xinit, the display manager's session) going means the display is
    // gone: runs could only fail. A hangup ends the session then, also if it is gone already.
    prctl(PR_SET_PDEATHSIG, SIGHUP);
    if (getppid() != parent)
        raise(SIGHUP);
    // What a run leaves behind (a player whose window crashed) comes to us, to be ended.
    if (prctl(PR_SET_CHILD_SUBREAPER, 1) < 0)
        say("cannot collect what runs leave behind: %s", strerror(errno));

    inherited = ourChildren();

    std::string why;
    const std::string folder = makePrivateFolder(&why);
    if (folder.empty()) {
        // Without it the menu's Quit could not end the session: a session with no way out.
        say("cannot make a private folder (%s): the session does not start", why.c_str());
        return 1;
    }
    const std::string endMark = folder + "/end";

    SpawnRequest request;
    request.path = programPath();
    request.arguments.push_back(request.path);
    for (int i = 1; i < argc; ++i)
        request.arguments.push_back(argv[i]);
    // The adapter leaves the mark here when Quit is chosen in the player's menu.
    request.environment.push_back("TAMBLIN_SESSION_END=" + endMark);
    request.failureNote = "tamblin-session: ";

    RestartPolicy policy;
    for (int run = 1;; ++run) {
        const long long started = monotonicMs();
        int stop = 0;
        const pid_t pid = spawnProcess(request);
        if (pid < 0) {
            say("run %d: cannot start %s: %s", run, request.path.c_str(), strerror(errno));
        } else {
            say("run %d started: %s (pid %d)", run, request.path.c_str(), int(pid));
            const int pidfd = int(syscall(SYS_pidfd_open, pid, 0)); // -1 on an old kernel
            int status = 0;
            if (waitForRun(pid, pidfd, stopFd, -1, &status, &stop) == Waited::Signal) {
                say("%s: ending run %d", signalName(stop).c_str(), run);
                status = endRun(run, pid, pidfd);
            }
            if (pidfd >= 0)
                close(pidfd);
            say("run %d %s after %.1f s", run, describeEnd(status).c_str(),
                double(monotonicMs() - started) / 1000);
        }
        endLeftovers();
        if (!stop)
            stop = readTerminationPipe(stopFd);
        if (stop) {
            removeFolder(folder, endMark);
            say("the session ends on %s", signalName(stop).c_str());
            return 0;
        }
        if (access(endMark.c_str(), F_OK) == 0) {
            removeFolder(folder, endMark);
            say("Quit was chosen in the menu: the session ends");
            return 0;
        }
        const RestartPolicy::Decision next = policy.runEnded(monotonicMs() - started);
        if (next.stop) {
            removeFolder(folder, endMark);
            say("%d runs in a row ended within %lld s of their start: the session ends (the lines "
                "above may say why: no display, no player?)",
                policy.quickRunsInARow(), RestartPolicy::kQuickRunMs / 1000);
            return 1;
        }
        if (next.pauseMs > 0) {
            say("run %d was short: the next one starts in %lld s", run, next.pauseMs / 1000);
            if (const int sig = pauseFor(next.pauseMs, stopFd)) {
                removeFolder(folder, endMark);
                say("the session ends on %s", signalName(sig).c_str());
                return 0;
            }
        }
    }
}
