#include "spawn.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

extern char** environ;

namespace {

std::vector<char*> pointers(const std::vector<std::string>& strings)
{
    std::vector<char*> p;
    for (const std::string& s : strings)
        p.push_back(const_cast<char*>(s.c_str()));
    p.push_back(nullptr);
    return p;
}

// Our environment with the given entries put in.
std::vector<char*> childEnvironment(const std::vector<std::string>& entries)
{
    std::vector<char*> env;
    for (char** e = environ; *e; ++e) {
        bool replaced = false;
        for (const std::string& entry : entries) {
            const size_t name = entry.find('=') + 1;
            replaced = replaced || strncmp(*e, entry.c_str(), name) == 0;
        }
        if (!replaced)
            env.push_back(*e);
    }
    for (const std::string& entry : entries)
        env.push_back(const_cast<char*>(entry.c_str()));
    env.push_back(nullptr);
    return env;
}

void becomes(int fd, int target)
{
    if (fd < 0)
        return;
    if (fd == target)
        fcntl(fd, F_SETFD, 0); // keep it across exec
    else
        dup2(fd, target);
}

void say(const char* text)
{
    [[maybe_unused]] ssize_t n = write(STDERR_FILENO, text, strlen(text));
}

} // namespace

pid_t spawnProcess(const SpawnRequest& request)
{
    const std::vector<char*> argv = pointers(request.arguments);
    const std::vector<char*> envp = childEnvironment(request.environment);
    // The child borrows our memory until it execs (vfork): a fork would first copy the page
    // tables of a process with Qt and its fifty libraries loaded, and the child would then take
    // a copy-on-write fault for each page it touches on the way to exec; milliseconds on the way
    // to the player's start. No handler of ours may run in the child meanwhile, on our memory:
    // every signal stays blocked until the child has put its handlers back to the default.
    sigset_t all, before;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &before);
    const pid_t pid = vfork();
    if (pid != 0) {
        const int error = errno;
        pthread_sigmask(SIG_SETMASK, &before, nullptr);
        errno = error;
        return pid;
    }

    if (request.ownProcessGroup) {
        setpgid(0, 0);
        // In a group of its own it is in the background: touching the terminal must not stop it.
        signal(SIGTTIN, SIG_IGN);
        signal(SIGTTOU, SIG_IGN);
    }
    for (int sig = 1; sig < NSIG; ++sig) {
        struct sigaction action;
        if (sigaction(sig, nullptr, &action) == 0 && action.sa_handler != SIG_DFL &&
            action.sa_handler != SIG_IGN)
            signal(sig, SIG_DFL);
    }
    // "Ignore" survives exec: these are the default again.
    for (int sig : {SIGPIPE, SIGTERM, SIGINT, SIGHUP})
        signal(sig, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    if (request.umask >= 0)
        umask(mode_t(request.umask));
    becomes(request.input, STDIN_FILENO);
    becomes(request.output, STDOUT_FILENO);
    becomes(request.errors, STDERR_FILENO);
    becomes(request.control, 3);
    execve(request.path.c_str(), argv.data(), envp.data());
    if (request.failureNote) {
        const int error = errno;
        say(request.failureNote);
        say("cannot run ");
        say(request.path.c_str());
        say(": ");
        say(strerrordesc_np(error) ? strerrordesc_np(error) : "error");
        say("\n");
    }
    _exit(127);
}

pid_t spawnWithPipes(SpawnRequest request, int* input, int* output, int* errors)
{
    // Per stream: the pipe, and which of its ends the child takes.
    struct Stream
    {
        int* ours;
        int* childs;
        int childEnd;
        int fds[2];
    };
    Stream streams[] = {{input, &request.input, 0, {-1, -1}},
                        {output, &request.output, 1, {-1, -1}},
                        {errors, &request.errors, 1, {-1, -1}}};
    auto closeAll = [&] {
        const int saved = errno;
        for (Stream& s : streams)
            for (int& fd : s.fds)
                if (fd >= 0)
                    close(fd);
        errno = saved;
    };
    for (Stream& s : streams) {
        if (!s.ours)
            continue;
        if (pipe2(s.fds, O_CLOEXEC) < 0) {
            closeAll();
            return -1;
        }
        *s.childs = s.fds[s.childEnd];
    }
    const pid_t pid = spawnProcess(request);
    if (pid < 0) {
        closeAll();
        return -1;
    }
    for (Stream& s : streams) {
        if (!s.ours)
            continue;
        close(s.fds[s.childEnd]);
        *s.ours = s.fds[1 - s.childEnd];
    }
    return pid;
}
