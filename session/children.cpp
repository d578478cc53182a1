#include "children.h"

#include "spawn.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The processes whose parent we are.
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

RunEnd decodeStatus(int status)
{
    if (WIFSIGNALED(status))
        return {RunEnd::Signalled, WTERMSIG(status)};
    return {RunEnd::Exited, WEXITSTATUS(status)};
}

} // namespace

// Children we have before the first run: the program that started us may have forked before it
// became us (Debian's Xsession starts ssh-agent so).
Children::Children() : inherited_(ourChildren()) {}

Children::~Children()
{
    forgetRun();
}

bool Children::startRun(const SpawnRequest& request)
{
    forgetRun();
    const pid_t pid = spawnProcess(request);
    if (pid < 0)
        return false;
    runPid_ = pid;
    runWatch_ = int(syscall(SYS_pidfd_open, pid, 0)); // -1 on an old kernel
    return true;
}

void Children::signalRun(int sig)
{
    if (runPid_ > 0) // kill(0) would be our own process group
        kill(runPid_, sig);
}

void Children::forgetRun()
{
    if (runWatch_ >= 0)
        close(runWatch_);
    runWatch_ = -1;
    runPid_ = 0;
}

bool Children::reap(RunEnd* runEnd)
{
    bool runEnded = false;
    int status;
    for (pid_t pid; (pid = waitpid(-1, &status, WNOHANG)) > 0;) {
        // Its pid is free again, and may come back as something a run left.
        inherited_.erase(std::remove(inherited_.begin(), inherited_.end(), pid), inherited_.end());
        if (pid == runPid_) {
            *runEnd = decodeStatus(status);
            runEnded = true;
            forgetRun();
        }
    }
    return runEnded;
}

std::vector<LeftProcess> Children::leftovers() const
{
    std::vector<LeftProcess> left;
    for (pid_t pid : ourChildren()) {
        if (std::find(inherited_.begin(), inherited_.end(), pid) == inherited_.end())
            left.push_back({int(pid), processName(pid)});
    }
    return left;
}
