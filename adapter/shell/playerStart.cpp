#include "playerStart.h"

#include "descriptors.h"
#include "spawn.h"

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

SpawnRequest requestFor(const std::string& player, const std::vector<std::string>& options)
{
    SpawnRequest request;
    request.path = player;
    request.arguments = options;
    request.arguments.insert(request.arguments.begin(), player);
    request.failureNote = "tamblin-adapter: ";
    return request;
}

} // namespace

bool startMPlayer(const std::string& player, const std::vector<std::string>& options,
                  PlayerChannels* channels)
{
    int input = -1, output = -1, errors = -1;
    channels->pid = spawnWithPipes(requestFor(player, options), &input, &output, &errors);
    if (channels->pid < 0) {
        perror("tamblin-adapter: cannot start the player");
        return false;
    }
    channels->input.reset(input);
    channels->output.reset(output);
    channels->errors.reset(errors);
    // Blocking reads would hold up every answer for as long as the player is quiet, and
    // blocking writes for as long as it does not read (the loop keeps what it has not taken).
    if (!setNonBlocking(output, true) || !setNonBlocking(errors, true) ||
        !setNonBlocking(input, true)) {
        perror("tamblin-adapter: the player's output");
        kill(channels->pid, SIGKILL);
        waitpid(channels->pid, nullptr, 0);
        return false;
    }
    return true;
}

bool startMpv(const std::string& player, const std::vector<std::string>& options,
              PlayerChannels* channels)
{
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) {
        perror("tamblin-adapter: socket pair");
        return false;
    }
    UniqueFd ours(pair[0]), theirs(pair[1]);
    // Its standard output would reach the window between our answers: it has none to give.
    UniqueFd nothing(open("/dev/null", O_RDWR | O_CLOEXEC));
    SpawnRequest request = requestFor(player, options);
    request.control = theirs.get();
    request.input = request.output = nothing.get();
    int errors = -1;
    channels->pid = spawnWithPipes(request, nullptr, nullptr, &errors);
    if (channels->pid < 0) {
        perror("tamblin-adapter: cannot start the player");
        return false;
    }
    channels->errors.reset(errors);
    // Neither read nor written blocking: mpv carries out each request before it reads the next, and
    // a write that waited for it would hold up the window's answers (the loop keeps what mpv
    // has not taken). One socket, so the flag is set once for both descriptors.
    channels->input.reset(dup(ours.get()));
    channels->output = std::move(ours);
    if (!channels->input.valid() || !setNonBlocking(errors, true) ||
        !setNonBlocking(channels->output.get(), true)) {
        perror("tamblin-adapter: the player's channels");
        kill(channels->pid, SIGKILL);
        waitpid(channels->pid, nullptr, 0);
        return false;
    }
    return true;
}
