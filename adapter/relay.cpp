#include "relay.h"
#include "slaveCommand.h"

#include "descriptors.h"
#include "monotonicClock.h"
#include "protocol.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// How long an answer waits for the player to finish a line it has begun.
const long long kPartialLineHoldMs = 200;
const size_t kLongestHeldLine = 65536;
// How long the player has to end after "quit" when the window has gone without one.
const long long kQuitGraceMs = 3000;
const long long kTerminateGraceMs = 2000;
// Quiet time after a command before the adapter asks whether the player is paused, and the
// time it leaves a paused player after the answer: a paused player redraws every 20 to 40 ms.
const long long kRestAfterMs = 150;
const long long kLastRedrawMs = 60;
// How long a clip being left may take to say where it is.
const long long kLeaveWaitMs = 400;
// The player carries out some menu commands only when it next draws a frame: closing a submenu,
// and the command of a chosen entry. A second command read in the same pass would act on the
// menu as it was (two cancels would close one menu), so what follows waits for a frame.
const long long kMenuSettleMs = 100;
const char kAsk[] = "pausing_keep_force get_property ";
const char kNoDisplay[] = "couldn't open the X11 display";

} // namespace

Relay::Relay(const Channels& channels, MenuModel& model, PauseHold& hold, ClipFlow& flow,
             ResumeStore& store, FILE* trace)
    : ch_(channels), model_(model), hold_(hold), flow_(flow), store_(store), trace_(trace)
{
    pidfd_ = int(syscall(SYS_pidfd_open, ch_.player, 0));
}

void Relay::traceLine(char mark, const std::string& text)
{
    if (trace_)
        fprintf(trace_, "%c %s\n", mark, text.c_str());
}

void Relay::wake()
{
    if (!stopped_)
        return;
    kill(ch_.player, SIGCONT);
    stopped_ = false;
    traceLine('#', "continued");
}

void Relay::rest()
{
    stopAt_ = -1;
    if (stopped_ || quitSent_ || sent_ != askedAfter_ || !hold_.paused())
        return;
    kill(ch_.player, SIGSTOP);
    stopped_ = true;
    traceLine('#', "stopped");
}

void Relay::sendToPlayer(const std::string& command, Send kind)
{
    const bool ours = kind == Send::Ours;
    if (!ours && (!leaving_.empty() || holdUntil_ >= 0)) {
        heldBack_.push_back({command, kind});
        return;
    }
    wake();
    if (!ours) {
        traceLine('>', command);
        ++sent_;
        askAt_ = monotonicMs() + kRestAfterMs;
        stopAt_ = -1;
    }
    const SlaveCommand c = parseSlaveCommand(command);
    if (c.verb == "get_property")
        questions_.push_back({c.argument, ours});
    // A player that is gone shows up at its end, through its process: nothing to do here.
    writeAll(ch_.playerInput, command + "\n");
    if (kind == Send::Settling)
        holdUntil_ = monotonicMs() + kMenuSettleMs;
}

void Relay::forward(const std::string& command)
{
    const bool wasVisible = model_.visible();
    const size_t depthBefore = model_.depth();
    const MenuModel::Outcome outcome = model_.apply(command);
    const bool quits =
        parseSlaveCommand(command).verb == "quit" ||
        (outcome == MenuModel::CommandRun && parseSlaveCommand(model_.ranCommand()).verb == "quit");
    // Another clip, or the end of the run: first, where the clip playing now was left.
    if (outcome == MenuModel::FileChosen || quits)
        leaveClip();
    // Quit chosen in the menu: a session that runs us ends, instead of starting another run.
    const char* sessionEnd = getenv("TAMBLIN_SESSION_END");
    if (sessionEnd && outcome == MenuModel::CommandRun &&
        parseSlaveCommand(model_.ranCommand()).verb == "quit") {
        const int fd = open(sessionEnd, O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
        if (fd < 0)
            fprintf(stderr, "tamblin-adapter: cannot end the session: %s\n", strerror(errno));
        else
            close(fd);
    }
    if (outcome == MenuModel::FileChosen) {
        awaitingPlaying_ = true;
        flow_.chosen(model_.chosenFiles());
    }
    // Closing a submenu, or choosing an entry that does something.
    const bool settles = (model_.depth() < depthBefore && model_.visible()) ||
                         (parseSlaveCommand(command).verb == "menu" && wasVisible &&
                          (outcome != MenuModel::Nothing || model_.depth() > depthBefore));
    for (const std::string& line : hold_.relay(command, wasVisible, model_.visible()))
        sendToPlayer(line, settles && line == command ? Send::Settling : Send::Plain);
    if (outcome == MenuModel::CommandRun)
        hold_.ranByMenu(model_.ranCommand());
}

void Relay::leaveClip()
{
    if (flow_.clip().empty() || !leaving_.empty())
        return;
    leaving_ = flow_.clip();
    leftAt_ = leftLength_ = -1;
    leaveUntil_ = monotonicMs() + kLeaveWaitMs;
    sendToPlayer(std::string(kAsk) + "time_pos", Send::Ours);
    sendToPlayer(std::string(kAsk) + "length", Send::Ours);
}

void Relay::endLeaving()
{
    if (leftAt_ >= 0 && leftLength_ >= 0)
        store_.left(leaving_, leftAt_, leftLength_);
    leaving_.clear();
    leaveUntil_ = -1;
    sendHeldBack();
}

void Relay::sendHeldBack()
{
    // One at a time: a command sent may hold back the ones after it again.
    while (!heldBack_.empty() && leaving_.empty() && holdUntil_ < 0) {
        const Held held = heldBack_.front();
        heldBack_.pop_front();
        sendToPlayer(held.command, held.kind);
    }
}

void Relay::answered(const std::string& property, const std::string& value, bool ours)
{
    if (property == "pause") {
        const bool paused = value == "yes";
        hold_.answered(paused);
        if (paused && ours && sent_ == askedAfter_)
            stopAt_ = monotonicMs() + kLastRedrawMs;
        return;
    }
    if (leaving_.empty())
        return;
    if (property == "time_pos")
        leftAt_ = atof(value.c_str());
    if (property == "length")
        leftLength_ = atof(value.c_str());
    if (leftAt_ >= 0 && leftLength_ >= 0)
        endLeaving();
}

void Relay::fileStarted(const std::string& file)
{
    // Answers to questions asked before the switch may never come.
    questions_.clear();
    const ClipFlow::Start start = flow_.started(file);
    for (const std::string& command : hold_.fileStarted(start.stillPicture))
        sendToPlayer(command);
    for (const std::string& command : start.commands)
        forward(command);
    // A clip chosen from the menu is playing: close the menu, as its entry promised.
    if (start.fromMenu && awaitingPlaying_) {
        awaitingPlaying_ = false;
        forward("menu hide");
    }
    if (!start.ended.empty())
        showMenuAt(start.ended);
}

void Relay::showMenuAt(const std::string& clip)
{
    std::vector<MenuModel::Step> way = model_.wayTo(clip);
    if (way.empty())
        way.push_back({model_.openMenus().front().menu, 0});
    // Any menu command shows a hidden menu without doing anything more.
    if (!model_.visible())
        forward("menu up");
    const std::vector<MenuModel::Step> open = model_.openMenus();
    size_t common = 1;
    while (common < open.size() && common < way.size() && open[common].menu == way[common].menu)
        ++common;
    for (size_t i = open.size(); i > common; --i)
        forward("menu cancel");
    for (size_t level = common - 1; level < way.size(); ++level) {
        if (level >= common)
            forward("set_menu " + way[level].menu);
        // The shorter way round to the entry.
        const int count = model_.entryCount();
        int move = way[level].selection - model_.selection();
        if (count > 0 && move > count / 2)
            move -= count;
        if (count > 0 && move < -count / 2)
            move += count;
        for (; move > 0; --move)
            forward("menu down");
        for (; move < 0; ++move)
            forward("menu up");
    }
}

void Relay::endPlayer(int signal, long long graceMs)
{
    kill(ch_.player, signal);
    // A stopped player takes no signal but the kill until it is continued.
    wake();
    if (signal == SIGTERM)
        killAt_ = monotonicMs() + graceMs;
}

void Relay::handleCommand(const std::string& line)
{
    const std::string command = trimmedLine(line);
    if (command.empty())
        return;
    if (command == kMenuQuery) {
        answers_.push_back(std::string(kMenuAnswer) + (model_.visible() ? "=1" : "=0"));
        traceLine('=', answers_.back());
        emitAnswers(false);
        return;
    }
    forward(command);
    if (command.compare(0, 4, "quit") == 0)
        quitSent_ = true;
}

void Relay::readCommands()
{
    char buf[4096];
    const ssize_t n = read(ch_.fifo, buf, sizeof buf);
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    if (n <= 0) {
        windowGone();
        return;
    }
    commandBytes(buf, size_t(n));
}

// Without a quit, tell the player ourselves; either way it has a bound to end in before it is
// terminated.
void Relay::windowGone()
{
    if (ch_.fifo >= 0) {
        close(ch_.fifo);
        ch_.fifo = -1;
    }
    windowWatched_ = false;
    if (!quitSent_) {
        forward("quit");
        quitSent_ = true;
    }
    if (termAt_ < 0 && killAt_ < 0)
        termAt_ = monotonicMs() + kQuitGraceMs;
}

void Relay::commandBytes(const char* data, size_t size)
{
    commands_.append(data, size);
    size_t end;
    while ((end = commands_.find('\n')) != std::string::npos) {
        const std::string line = commands_.substr(0, end);
        commands_.erase(0, end + 1);
        handleCommand(line);
    }
}

bool Relay::handleOutputLine(const std::string& line)
{
    if (line.compare(0, 4, "ANS_") == 0) {
        const size_t equals = line.find('=');
        const std::string property = line.substr(4, equals == std::string::npos ? 0 : equals - 4);
        for (auto q = questions_.begin(); q != questions_.end(); ++q) {
            if (q->property != property)
                continue;
            const bool ours = q->ours;
            questions_.erase(q);
            answered(property, trimmedLine(line.substr(equals + 1)), ours);
            if (ours)
                return false;
            break;
        }
        traceLine('<', trimmedLine(line));
    }
    if (line.compare(0, 8, "Playing ") == 0 && line.size() > 9 && line.back() == '.') {
        traceLine('<', trimmedLine(line));
        fileStarted(line.substr(8, line.size() - 9));
    }
    return true;
}

void Relay::readPlayerOutput(bool finalRead)
{
    char buf[65536];
    for (;;) {
        const ssize_t n = read(ch_.playerOutput, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0 || (errno != EAGAIN)) {
                close(ch_.playerOutput);
                ch_.playerOutput = -1;
            }
            break;
        }
        playerOutputBytes(buf, size_t(n));
        if (!finalRead)
            break;
    }
}

void Relay::playerOutputBytes(const char* data, size_t size)
{
    // Whole lines go out as they are; the rest waits for its line end.
    const bool wasPartial = !output_.empty();
    output_.append(data, size);
    size_t start = 0, end;
    std::string passed;
    while ((end = output_.find_first_of("\r\n", start)) != std::string::npos) {
        if (handleOutputLine(output_.substr(start, end - start)))
            passed.append(output_, start, end + 1 - start);
        start = end + 1;
    }
    if (start > 0) {
        writeAll(STDOUT_FILENO, passed);
        output_.erase(0, start);
        midLine_ = false;
    }
    if (!output_.empty() && (!wasPartial || start > 0))
        outputSince_ = monotonicMs();
    // A line without end is passed on in pieces rather than held without bound.
    if (output_.size() > kLongestHeldLine) {
        writeAll(STDOUT_FILENO, output_);
        output_.clear();
        midLine_ = true;
    }
    emitAnswers(false);
}

// Answers go out only between whole lines of the player's output. A line that stays partial
// for long is ended with a line feed of ours, so that the window's wait does not run out.
void Relay::emitAnswers(bool force)
{
    if (answers_.empty())
        return;
    if (!output_.empty() || midLine_) {
        if (!force && monotonicMs() - outputSince_ < kPartialLineHoldMs)
            return;
        writeAll(STDOUT_FILENO, output_ + "\n");
        output_.clear();
        midLine_ = false;
    }
    std::string text;
    for (const std::string& a : answers_)
        text += a + "\n";
    answers_.clear();
    writeAll(STDOUT_FILENO, text);
}

int Relay::waitTimeout() const
{
    long long next = -1;
    auto consider = [&](long long at) {
        if (at >= 0 && (next < 0 || at < next))
            next = at;
    };
    if (!answers_.empty() && (!output_.empty() || midLine_))
        consider(outputSince_ + kPartialLineHoldMs);
    consider(termAt_);
    consider(killAt_);
    consider(askAt_);
    consider(stopAt_);
    consider(leaveUntil_);
    consider(holdUntil_);
    if (pidfd_ < 0)
        consider(monotonicMs() + 50); // no pidfd: look at the player now and then
    if (next < 0)
        return -1;
    const long long left = next - monotonicMs();
    return left < 0 ? 0 : int(left);
}

void Relay::checkDeadlines()
{
    const long long now = monotonicMs();
    if (termAt_ >= 0 && now >= termAt_) {
        termAt_ = -1;
        fprintf(stderr, "tamblin-adapter: the player did not quit, terminating it\n");
        endPlayer(SIGTERM, kTerminateGraceMs);
    }
    if (killAt_ >= 0 && now >= killAt_) {
        killAt_ = -1;
        endPlayer(SIGKILL, 0);
    }
    if (leaveUntil_ >= 0 && now >= leaveUntil_)
        endLeaving(); // the player did not say: the clip's place is not kept
    if (holdUntil_ >= 0 && now >= holdUntil_) {
        holdUntil_ = -1;
        sendHeldBack();
    }
    if (askAt_ >= 0 && now >= askAt_) {
        askAt_ = -1;
        askedAfter_ = sent_;
        if (!quitSent_)
            sendToPlayer(std::string(kAsk) + "pause", Send::Ours);
    }
    if (stopAt_ >= 0 && now >= stopAt_)
        rest();
    emitAnswers(false);
}

bool Relay::readPlayerErrors()
{
    char buf[4096];
    const ssize_t n = read(ch_.playerErrors, buf, sizeof buf);
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return false;
    if (n <= 0) {
        close(ch_.playerErrors);
        ch_.playerErrors = -1;
        return false;
    }
    writeAll(STDERR_FILENO, std::string(buf, size_t(n)));
    // Without a display the player goes on for ever, saying so 60 times a second.
    errorLine_.append(buf, size_t(n));
    size_t end;
    while ((end = errorLine_.find('\n')) != std::string::npos) {
        if (!noDisplay_ && errorLine_.substr(0, end).find(kNoDisplay) != std::string::npos) {
            noDisplay_ = true;
            fprintf(stderr,
                    "tamblin-adapter: the player cannot open its X display (\"%s\"); "
                    "ending it\n",
                    trimmedLine(errorLine_.substr(0, end)).c_str());
            if (killAt_ < 0)
                endPlayer(SIGTERM, kTerminateGraceMs);
        }
        errorLine_.erase(0, end + 1);
    }
    if (errorLine_.size() > kLongestHeldLine)
        errorLine_.clear();
    return true;
}

int Relay::run()
{
    int status = 0;
    for (;;) {
        if (waitpid(ch_.player, &status, WNOHANG) == ch_.player)
            break;
        pollfd fds[6];
        int n = 0;
        // A window that dies before it opens the FIFO never closes it: its end of our output
        // going is the sign then.
        const int windowAt = windowWatched_ ? n : -1;
        if (windowWatched_)
            fds[n++] = {STDOUT_FILENO, 0, 0};
        const int fifoAt = ch_.fifo >= 0 ? n : -1;
        if (ch_.fifo >= 0)
            fds[n++] = {ch_.fifo, POLLIN, 0};
        const int outputAt = ch_.playerOutput >= 0 ? n : -1;
        if (ch_.playerOutput >= 0)
            fds[n++] = {ch_.playerOutput, POLLIN, 0};
        const int errorsAt = ch_.playerErrors >= 0 ? n : -1;
        if (ch_.playerErrors >= 0)
            fds[n++] = {ch_.playerErrors, POLLIN, 0};
        const int signalAt = n;
        fds[n++] = {ch_.signals, POLLIN, 0};
        if (pidfd_ >= 0)
            fds[n++] = {pidfd_, POLLIN, 0};

        if (poll(fds, nfds_t(n), waitTimeout()) < 0 && errno != EINTR)
            break;
        if (outputAt >= 0 && fds[outputAt].revents)
            readPlayerOutput(false);
        if (windowAt >= 0 && (fds[windowAt].revents & (POLLERR | POLLHUP)))
            windowGone();
        if (fifoAt >= 0 && fds[fifoAt].revents)
            readCommands();
        if (errorsAt >= 0 && fds[errorsAt].revents)
            readPlayerErrors();
        if (fds[signalAt].revents) {
            char drop[64];
            while (read(ch_.signals, drop, sizeof drop) > 0) {
            }
            if (killAt_ < 0)
                endPlayer(SIGTERM, kTerminateGraceMs);
        }
        checkDeadlines();
    }
    // The player has ended: pass on what it printed last, then our pending answers.
    while (ch_.playerErrors >= 0 && readPlayerErrors()) {
    }
    if (ch_.playerOutput >= 0)
        readPlayerOutput(true);
    if (!output_.empty()) {
        writeAll(STDOUT_FILENO, output_);
        output_.clear();
    }
    emitAnswers(true);
    if (pidfd_ >= 0)
        close(pidfd_);
    return status;
}
