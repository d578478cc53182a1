#include "eventLoop.h"

#include "descriptors.h"
#include "monotonicClock.h"
#include "positionsFile.h"
#include "privateFolder.h"
#include "terminationPipe.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>

namespace {

// What one read takes at most: a few lines' worth, or one long line's piece.
const size_t kReadChunk = 65536;

} // namespace

EventLoop::EventLoop(Controller& core, Actions& actions, PlayerChannels player, UniqueFd fifo,
                     int signals, FILE* trace, std::string positionsFile)
    : core_(core), actions_(actions), player_(std::move(player)), toPlayer_(player_.input.get()),
      fifo_(std::move(fifo)), signals_(signals), trace_(trace),
      positionsFile_(std::move(positionsFile))
{
}

void EventLoop::deliver(const std::string& line, Source source, long long now)
{
    if (source == Fifo)
        core_.windowLine(line, now);
    else if (source == Output)
        core_.playerOutput(line, now);
    else
        core_.playerErrors(line, now);
}

bool EventLoop::readSome(int fd, LineSplitter& lines, Source source, long long now)
{
    char buf[kReadChunk];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) < 0 && errno == EINTR) {
    }
    if (n < 0 && errno == EAGAIN)
        return true;
    if (n <= 0)
        return false;
    lines.append(buf, size_t(n));
    std::string line;
    while (lines.next(&line))
        deliver(line, source, now);
    return true;
}

void EventLoop::toPlayer(const std::string& text)
{
    if (toPlayer_.send(text) || toPlayer_.gone()) {
        // A player that is gone shows up at its end, through its process.
        if (!toPlayer_.waiting())
            playerBehind_ = false;
        return;
    }
    if (!playerBehind_)
        fprintf(stderr,
                "tamblin-adapter: the player has left %zu bytes of commands unread; dropping "
                "more until it reads\n",
                toPlayer_.waitingBytes());
    playerBehind_ = true;
}

void EventLoop::carryOut()
{
    // What the core says while they are carried out (a speech service that failed) is carried
    // out in the same turn, not after the next wait.
    while (!actions_.empty())
        carryOut(actions_.take());
}

void EventLoop::carryOut(const std::vector<Action>& actions)
{
    for (const Action& a : actions) {
        switch (a.kind) {
        case Action::ToPlayer:
            toPlayer(a.text);
            break;
        case Action::ToWindow:
            writeAll(STDOUT_FILENO, a.text);
            break;
        case Action::ToLog:
            writeAll(STDERR_FILENO, a.text);
            break;
        case Action::Signal:
            if (!reaped_)
                kill(player_.pid, a.signal);
            break;
        case Action::SavePositions: {
            std::string why;
            if (!positionsFile_.empty() && !writePositions(positionsFile_, a.text, &why))
                fprintf(stderr, "tamblin-adapter: %s\n", why.c_str());
            break;
        }
        case Action::Trace:
            if (trace_)
                fprintf(trace_, "%s\n", a.text.c_str());
            break;
        case Action::MakeLink:
            unlink(a.path.c_str());
            if (symlink(a.text.c_str(), a.path.c_str()) != 0)
                fprintf(stderr, "tamblin-adapter: %s: %s\n", a.path.c_str(), strerror(errno));
            break;
        case Action::WriteFile: {
            UniqueFd fd(open(a.path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
            if (!fd.valid() || !writeAll(fd.get(), a.text))
                fprintf(stderr, "tamblin-adapter: %s: %s\n", a.path.c_str(), strerror(errno));
            break;
        }
        case Action::ListFolder:
            if (!listFolder(a.path, a.text))
                fprintf(stderr, "tamblin-adapter: %s: %s\n", a.path.c_str(), strerror(errno));
            break;
        case Action::ScanStick:
        case Action::ForgetStick:
        case Action::AskLogind:
        case Action::Say:
        case Action::SaveSpeech:
            if (side_)
                side_(a);
            break;
        }
    }
}

int EventLoop::run()
{
    // Watched for the player's end; without pidfds, the player is looked at now and then.
    UniqueFd pidfd(int(syscall(SYS_pidfd_open, player_.pid, 0)));
    int status = 0;
    for (;;) {
        long long now = monotonicMs();
        if (waitpid(player_.pid, &status, WNOHANG) == player_.pid)
            break;
        enum { Window, FifoAt, OutputAt, ErrorsAt, SignalsAt, PidAt, InputAt, Count };
        std::vector<pollfd> fds(Count + watches_.size());
        // A window that dies before it opens the FIFO never closes it: its end of our output
        // going is the sign then.
        fds[Window] = {windowWatched_ ? STDOUT_FILENO : -1, 0, 0};
        fds[FifoAt] = {fifo_.get(), POLLIN, 0};
        fds[OutputAt] = {player_.output.get(), POLLIN, 0};
        fds[ErrorsAt] = {player_.errors.get(), POLLIN, 0};
        fds[SignalsAt] = {signals_, POLLIN, 0};
        fds[PidAt] = {pidfd.get(), POLLIN, 0};
        fds[InputAt] = {toPlayer_.waiting() ? player_.input.get() : -1, POLLOUT, 0};
        for (size_t i = 0; i < watches_.size(); ++i)
            fds[Count + i] = {watches_[i].fd(), watches_[i].events, 0};
        const long long due = core_.deadline();
        long long wait = due < 0 ? -1 : due > now ? due - now : 0;
        if (!pidfd.valid() && (wait < 0 || wait > 50))
            wait = 50;
        if (poll(fds.data(), fds.size(), int(wait)) < 0 && errno != EINTR)
            break;
        now = monotonicMs();
        if (fds[InputAt].revents)
            toPlayer_.flush();
        if (fds[OutputAt].revents && !readSome(player_.output.get(), outputLines_, Output, now))
            player_.output.reset();
        if (fds[Window].revents & (POLLERR | POLLHUP)) {
            windowWatched_ = false;
            core_.windowGone(now);
        }
        if (fds[FifoAt].revents && !readSome(fifo_.get(), fifoLines_, Fifo, now)) {
            fifo_.reset();
            windowWatched_ = false;
            core_.windowGone(now);
        }
        if (fds[ErrorsAt].revents && !readSome(player_.errors.get(), errorLines_, Errors, now))
            player_.errors.reset();
        if (fds[SignalsAt].revents) {
            drainTerminationPipe(signals_);
            core_.terminate(now);
        }
        for (size_t i = 0; i < watches_.size(); ++i) {
            if (fds[Count + i].revents)
                watches_[i].ready(now);
        }
        if (due >= 0 && now >= due)
            core_.tick(now);
        carryOut();
    }
    reaped_ = true;
    finish(monotonicMs());
    return status;
}

// The player has ended: what it printed last goes on, pieces of lines included.
void EventLoop::finish(long long now)
{
    core_.playerEnded(now);
    while (player_.errors.valid() && readSome(player_.errors.get(), errorLines_, Errors, now)) {
        pollfd p{player_.errors.get(), POLLIN, 0};
        if (poll(&p, 1, 0) <= 0)
            break;
    }
    while (player_.output.valid() && readSome(player_.output.get(), outputLines_, Output, now)) {
        pollfd p{player_.output.get(), POLLIN, 0};
        if (poll(&p, 1, 0) <= 0)
            break;
    }
    const std::string lastError = errorLines_.rest();
    if (!lastError.empty())
        core_.playerErrors(lastError, now);
    const std::string lastOutput = outputLines_.rest();
    if (!lastOutput.empty())
        core_.playerOutput(lastOutput, now);
    carryOut();
}
