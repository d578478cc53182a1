#include "spawn.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
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
    const pid_t pid = fork();
    if (pid != 0)
        return pid;

    if (request.ownProcessGroup) {
        setpgid(0, 0);
        // In a group of its own it is in the background: touching the terminal must not stop it.
        signal(SIGTTIN, SIG_IGN);
        signal(SIGTTOU, SIG_IGN);
    }
    // Handlers do not survive exec, but "ignore" does.
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
