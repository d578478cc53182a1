#include "automounter.h"

#include "spawn.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// What mounts removable media without us, by the name in /proc/PID/stat (cut to 15 bytes): udiskie,
// GNOME's gvfs volume monitor, KDE's kded, udisks-glue, udevil's devmon.
const char* const kAutomounters[] = {"udiskie", "gvfs-udisks2-vo", "kded5",
                                     "kded6",   "udisks-glue",     "devmon"};

std::string runningAutomounter()
{
    DIR* proc = opendir("/proc");
    if (!proc)
        return {};
    std::string found;
    while (const dirent* entry = readdir(proc)) {
        if (entry->d_name[0] < '1' || entry->d_name[0] > '9')
            continue;
        // "pid (name) state ...": the name may hold anything, so the state is after its last
        // ')'. One that has ended (a zombie not reaped yet) mounts nothing.
        const std::string path = std::string("/proc/") + entry->d_name + "/stat";
        FILE* f = fopen(path.c_str(), "re");
        if (!f)
            continue;
        char text[256];
        const size_t n = fread(text, 1, sizeof text - 1, f);
        fclose(f);
        text[n] = '\0';
        const char* open = strchr(text, '(');
        const char* close = strrchr(text, ')');
        if (!open || !close || close < open || close[1] != ' ' || close[2] == 'Z' ||
            close[2] == 'X')
            continue;
        const std::string name(open + 1, close);
        for (const char* known : kAutomounters) {
            if (name == known)
                found = name;
        }
        if (!found.empty())
            break;
    }
    closedir(proc);
    return found;
}

std::string onPath(const char* program)
{
    const char* path = getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    for (size_t start = 0; start <= dirs.size();) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos)
            end = dirs.size();
        const std::string dir = dirs.substr(start, end - start);
        const std::string candidate = (dir.empty() ? "." : dir) + "/" + program;
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return {};
}

// Whether it has ended within ms. Through its pidfd, which stands for it alone even once the
// run's reaper has reaped it; without one (an old kernel), asked every 20 ms while unreaped.
bool endsWithin(pid_t pid, int watch, int ms)
{
    if (watch >= 0) {
        pollfd fd{watch, POLLIN, 0};
        return poll(&fd, 1, ms) > 0;
    }
    for (int waited = 0; waited < ms; waited += 20) {
        if (waitpid(pid, nullptr, WNOHANG) != 0)
            return true;
        poll(nullptr, 0, 20);
    }
    return waitpid(pid, nullptr, WNOHANG) != 0;
}

void signalIt(pid_t pid, int watch, int sig)
{
    if (watch >= 0)
        syscall(SYS_pidfd_send_signal, watch, sig, nullptr, 0);
    else if (waitpid(pid, nullptr, WNOHANG) == 0) // unreaped: the pid is still its own
        kill(pid, sig);
}

} // namespace

pid_t Automounter::start(std::string* line)
{
    const std::string program = onPath("udiskie");
    if (program.empty()) {
        *line = "udiskie is not installed: USB sticks are mounted only if something else does it";
        return 0;
    }
    const std::string other = runningAutomounter();
    if (!other.empty()) {
        *line = other + " runs: it mounts USB sticks, udiskie is not started";
        return 0;
    }
    SpawnRequest request;
    request.path = program;
    // Nothing of its own on screen: no tray icon, no pop-ups, no file manager, no password
    // dialog that a keypad could not answer.
    request.arguments = {"udiskie",   "--automount",       "--no-notify",
                         "--no-tray", "--no-file-manager", "--no-password-prompt"};
    request.failureNote = "tamblin-session: ";
    pid_ = spawnProcess(request);
    if (pid_ < 0) {
        *line = "cannot start " + program + ": " + strerror(errno);
        pid_ = 0;
        return 0;
    }
    watch_ = int(syscall(SYS_pidfd_open, pid_, 0));
    *line = "udiskie started (pid " + std::to_string(pid_) + "): USB sticks are mounted as they " +
            "are plugged in";
    return pid_;
}

void Automounter::stop()
{
    // What is left unreaped here goes to init with the session's end.
    if (pid_ > 0 && !endsWithin(pid_, watch_, 0)) {
        signalIt(pid_, watch_, SIGTERM);
        if (!endsWithin(pid_, watch_, 2000)) {
            signalIt(pid_, watch_, SIGKILL);
            endsWithin(pid_, watch_, 1000);
        }
    }
    if (watch_ >= 0)
        close(watch_);
    watch_ = -1;
    pid_ = 0;
}
