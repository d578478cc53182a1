// tamblin-session: what a device boots into. It runs tamblin, and runs it again each time a run
// ends, until the menu's Quit is chosen, a termination signal comes, or runs keep ending as soon
// as they start. Its log goes to standard error, one line per event, for the display manager's
// log or the journal.
//
// What to do when is the core's (sessionCore); here are the processes, the signals, the files
// and the clock.
#include "automounter.h"
#include "children.h"
#include "sessionCore.h"

#include "descriptors.h"
#include "logind.h"
#include "monotonicClock.h"
#include "spawn.h"
#include "terminationPipe.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/prctl.h>
#include <unistd.h>
#include <vector>

namespace {

// While a run is on, how often what else of ours has ended is reaped: with a watch on the run
// its end wakes us anyway; without one, its end is only seen so.
const long long kReapWithWatchMs = 1000;
const long long kReapWithoutWatchMs = 50;

void say(const std::string& line)
{
    // One write per line: the runs write to the same log.
    writeAll(STDERR_FILENO, "tamblin-session: " + line + "\n");
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

// The session's loop: it owns the processes, the signals' pipe and the private folder, feeds
// the core what happens, and carries out what the core asks.
class SessionLoop
{
  public:
    SessionLoop(SpawnRequest request, std::string folder, int signals)
        : core_(request.path), request_(std::move(request)), folder_(std::move(folder)),
          endMark_(folder_ + "/end"), signals_(signals)
    {
        // The adapter leaves the mark here when Quit is chosen in the player's menu.
        request_.environment.push_back("TAMBLIN_SESSION_END=" + endMark_);
    }

    // Runs the session to its end; returns its exit status.
    int run()
    {
        std::string line;
        if (const pid_t pid = automounter_.start(&line))
            children_.keep(pid);
        say(line);
        core_.start();
        int code;
        while ((code = carryOut()) < 0)
            waitForEvents();
        automounter_.stop();
        return code;
    }

  private:
    // Carries out what the core asks, and what that leads to; the exit status once the session
    // ends, else -1.
    int carryOut()
    {
        for (std::vector<SessionAction> actions; !(actions = core_.take()).empty();) {
            for (const SessionAction& action : actions) {
                if (action.kind == SessionAction::Exit)
                    return action.code;
                carryOut(action);
            }
        }
        return -1;
    }

    void carryOut(const SessionAction& action)
    {
        switch (action.kind) {
        case SessionAction::AskPowerChoices:
            core_.powerChoicesAnswered(askPowerChoices());
            break;
        case SessionAction::StartRun: {
            SpawnRequest request = request_;
            for (const std::string& entry : action.environment)
                request.environment.push_back(entry);
            const long long now = monotonicMs();
            if (children_.startRun(request))
                core_.runStarted(int(children_.runPid()), now);
            else
                core_.runNotStarted(strerror(errno), now);
            break;
        }
        case SessionAction::SignalRun:
            children_.signalRun(action.signal);
            break;
        case SessionAction::SignalProcess:
            if (action.pid > 0) // kill(0) would be our own process group
                kill(pid_t(action.pid), action.signal);
            break;
        case SessionAction::FindLeftovers: {
            children_.forgetRun();
            RunEnd ignored;
            children_.reap(&ignored);
            core_.leftoversFound(children_.leftovers(), monotonicMs());
            break;
        }
        case SessionAction::ReadEndMark: {
            std::string content;
            const bool present = readEndMark(&content);
            core_.endMarkRead(present, content, monotonicMs());
            break;
        }
        case SessionAction::AskLogind: {
            std::string why;
            const bool done = logindDo(action.text, &why);
            core_.logindAnswered(done, why, monotonicMs());
            break;
        }
        case SessionAction::RemoveEndMark:
            unlink(endMark_.c_str());
            break;
        case SessionAction::RemoveFolder:
            removeFolder();
            break;
        case SessionAction::Log:
            say(action.text);
            break;
        case SessionAction::Exit:
            break;
        }
    }

    // Waits for the run to end, a termination signal, or the core's deadline; whatever else of
    // ours ends meanwhile is reaped on the way.
    void waitForEvents()
    {
        const long long deadline = core_.deadline();
        long long timeout = -1;
        if (children_.runPid() > 0)
            timeout = children_.runWatch() >= 0 ? kReapWithWatchMs : kReapWithoutWatchMs;
        if (deadline >= 0) {
            const long long left = std::max(0LL, deadline - monotonicMs());
            timeout = timeout < 0 ? left : std::min(timeout, left);
        }
        pollfd fds[2] = {{signals_, POLLIN, 0}, {children_.runWatch(), POLLIN, 0}};
        const bool signalled = poll(fds, 2, int(timeout)) > 0 && (fds[0].revents & POLLIN);
        const long long now = monotonicMs();
        // The run's end first: a signal that comes with it no longer has a run to end.
        RunEnd end;
        if (children_.reap(&end))
            core_.runEnded(end, now);
        if (signalled) {
            if (const int sig = readTerminationPipe(signals_))
                core_.signalReceived(sig, now);
        }
        core_.tick(now);
    }

    // logind's Can* for what the menu may offer; one without an answer is enough: the others
    // would wait as long for none.
    static PowerAnswers askPowerChoices()
    {
        PowerAnswers answers;
        answers.powerOff = logindCan("PowerOff", &answers.why);
        if (!answers.powerOff.empty()) {
            answers.reboot = logindCan("Reboot", &answers.why);
            answers.suspend = logindCan("Suspend", &answers.why);
        }
        return answers;
    }

    // The mark's few bytes; false when there is none. One that is there but cannot be read is
    // still a wish to end: Quit's.
    bool readEndMark(std::string* content) const
    {
        const int fd = open(endMark_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0)
            return errno != ENOENT;
        char text[64];
        ssize_t n;
        while ((n = read(fd, text, sizeof text)) > 0 && content->size() < 256)
            content->append(text, size_t(n));
        close(fd);
        return true;
    }

    void removeFolder()
    {
        unlink(endMark_.c_str());
        if (rmdir(folder_.c_str()) < 0)
            say("cannot remove " + folder_ + ": " + strerror(errno));
    }

    SessionCore core_;
    Children children_;
    Automounter automounter_;
    SpawnRequest request_;
    std::string folder_;
    std::string endMark_;
    int signals_;
};

} // namespace

int main(int argc, char** argv)
{
    const pid_t parent = getppid();
    // A log reader that went away must not end the session.
    signal(SIGPIPE, SIG_IGN);
    const int signals = openTerminationPipe();
    if (signals < 0) {
        say(std::string("cannot catch termination signals: ") + strerror(errno));
        return 1;
    }
    // What started us (cage, xinit, the display manager's session) going means the display is
    // gone: runs could only fail. A hangup ends the session then, also if it is gone already.
    prctl(PR_SET_PDEATHSIG, SIGHUP);
    if (getppid() != parent)
        raise(SIGHUP);
    // What a run leaves behind (a player whose window crashed) comes to us, to be ended.
    if (prctl(PR_SET_CHILD_SUBREAPER, 1) < 0)
        say(std::string("cannot collect what runs leave behind: ") + strerror(errno));

    std::string why;
    const std::string folder = makePrivateFolder(&why);
    if (folder.empty()) {
        // Without it the menu's Quit could not end the session: a session with no way out.
        say("cannot make a private folder (" + why + "): the session does not start");
        return 1;
    }

    SpawnRequest request;
    request.path = programPath();
    request.arguments.push_back(request.path);
    for (int i = 1; i < argc; ++i)
        request.arguments.push_back(argv[i]);
    request.failureNote = "tamblin-session: ";
    SessionLoop loop(std::move(request), folder, signals);
    return loop.run();
}
