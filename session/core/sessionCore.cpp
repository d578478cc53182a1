#include "sessionCore.h"

#include <algorithm>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <utility>

namespace {

std::string format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* pattern, ...)
{
    char line[1024];
    va_list args;
    va_start(args, pattern);
    vsnprintf(line, sizeof line, pattern, args);
    va_end(args);
    return line;
}

std::string signalName(int sig)
{
    const char* abbrev = sigabbrev_np(sig);
    return abbrev ? std::string("SIG") + abbrev : "signal " + std::to_string(sig);
}

std::string describeEnd(const RunEnd& end)
{
    if (end.how == RunEnd::Signalled)
        return "was ended by " + signalName(end.number);
    return "ended with status " + std::to_string(end.number);
}

} // namespace

SessionCore::SessionCore(std::string program) : program_(std::move(program)) {}

void SessionCore::start()
{
    if (phase_ == Phase::Idle)
        startRun();
}

void SessionCore::startRun()
{
    ++run_;
    runToldToEnd_ = false;
    runDeadline_ = -1;
    // What the menu may offer is asked afresh for each run: polkit's rules may have changed.
    phase_ = Phase::AskingPower;
    add(SessionAction::AskPowerChoices);
}

void SessionCore::runStarted(int pid, long long now)
{
    if (phase_ != Phase::Starting)
        return;
    runStart_ = now;
    phase_ = Phase::Playing;
    log(format("run %d started: %s (pid %d)", run_, program_.c_str(), pid));
}

void SessionCore::runNotStarted(const std::string& why, long long now)
{
    if (phase_ != Phase::Starting)
        return;
    runStart_ = now;
    log(format("run %d: cannot start %s: %s", run_, program_.c_str(), why.c_str()));
    // A start that failed half-way may still have left something.
    beginLeftovers(now);
}

void SessionCore::runEnded(const RunEnd& end, long long now)
{
    if (phase_ != Phase::Playing && phase_ != Phase::EndingRun && phase_ != Phase::KillingRun)
        return;
    log(format("run %d %s after %.1f s", run_, describeEnd(end).c_str(),
               double(now - runStart_) / 1000));
    beginLeftovers(now);
}

void SessionCore::signalReceived(int sig, long long now)
{
    switch (phase_) {
    case Phase::Playing:
        endRunOnSignal(sig, now);
        break;
    case Phase::EndingLeftovers:
        // The run ended by itself, or could not start: no further run. The last signal to come
        // is the one the session ends on, unless the run was already told to end on one.
        if (!runToldToEnd_)
            stop_ = sig;
        break;
    case Phase::Pausing:
        endSession(0, "the session ends on " + signalName(sig));
        break;
    default:
        // Idle and Ended have no run to end; while a run is being ended the first signal
        // stands. AskingPower, Starting, AwaitingMark and AskingLogind last only while the loop
        // answers: a signal that comes then waits in its pipe for the next phase.
        break;
    }
}

// Ends the run in its orderly way: tamblin takes SIGTERM as a close, tells the player to quit
// and gives the display back. One that does not end in time is killed.
void SessionCore::endRunOnSignal(int sig, long long now)
{
    stop_ = sig;
    runToldToEnd_ = true;
    log(format("%s: ending run %d", signalName(sig).c_str(), run_));
    signalRun(SIGTERM);
    phase_ = Phase::EndingRun;
    runDeadline_ = now + kRunEndGraceMs;
}

long long SessionCore::deadline() const
{
    switch (phase_) {
    case Phase::EndingRun:
    case Phase::KillingRun:
        return runDeadline_;
    case Phase::EndingLeftovers:
        return nextScan_;
    case Phase::Pausing:
        return pauseEnd_;
    default:
        return -1;
    }
}

void SessionCore::tick(long long now)
{
    const long long due = deadline();
    if (due < 0 || now < due)
        return;
    switch (phase_) {
    case Phase::EndingRun:
        log(format("run %d did not end within %lld s of SIGTERM: killing it", run_,
                   kRunEndGraceMs / 1000));
        signalRun(SIGKILL);
        phase_ = Phase::KillingRun;
        runDeadline_ = now + kKilledRunMs;
        break;
    case Phase::KillingRun:
        // Given up on: it counts as ended, with no status to say (0 then), and whatever is
        // left of it is ended with what it left.
        log(format("run %d does not end, even killed", run_));
        runEnded(RunEnd{}, now);
        break;
    case Phase::EndingLeftovers:
        nextScan_ = -1;
        add(SessionAction::FindLeftovers);
        break;
    case Phase::Pausing:
        startRun();
        break;
    default:
        break;
    }
}

void SessionCore::beginLeftovers(long long now)
{
    phase_ = Phase::EndingLeftovers;
    runDeadline_ = -1;
    leftoversSince_ = now;
    nextScan_ = -1;
    killingLeftovers_ = false;
    toldToEnd_.clear();
    add(SessionAction::FindLeftovers);
}

void SessionCore::leftoversFound(const std::vector<LeftProcess>& left, long long now)
{
    if (phase_ != Phase::EndingLeftovers)
        return;
    if (left.empty()) {
        runOver();
        return;
    }
    const long long waited = now - leftoversSince_;
    if (waited >= kLeftoverGraceMs + kLeftoverKillMs) {
        log(format("%zu processes left by the run do not end, even killed (pid %d first)",
                   left.size(), left.front().pid));
        runOver();
        return;
    }
    if (waited >= kLeftoverGraceMs && !killingLeftovers_) {
        killingLeftovers_ = true;
        log(format("what the run left did not end within %lld s: killing it",
                   kLeftoverGraceMs / 1000));
    }
    endLeftovers(left, now);
}

// SIGTERM (with SIGCONT, for a player stopped at rest) once to each, and SIGKILL to what is
// still there after the grace. Their own children come to the session in turn.
void SessionCore::endLeftovers(const std::vector<LeftProcess>& left, long long now)
{
    for (const LeftProcess& process : left) {
        if (killingLeftovers_) {
            signalProcess(process.pid, SIGKILL);
        } else if (std::find(toldToEnd_.begin(), toldToEnd_.end(), process.pid) ==
                   toldToEnd_.end()) {
            toldToEnd_.push_back(process.pid);
            log(format("pid %d (%s) was left running by the run: ending it", process.pid,
                       process.name.c_str()));
            signalProcess(process.pid, SIGTERM);
            signalProcess(process.pid, SIGCONT);
        }
    }
    nextScan_ = now + kLeftoverScanMs;
}

void SessionCore::runOver()
{
    if (stop_) {
        endSession(0, "the session ends on " + signalName(stop_));
        return;
    }
    phase_ = Phase::AwaitingMark;
    add(SessionAction::ReadEndMark);
}

void SessionCore::restartOrStop(long long now)
{
    const RestartPolicy::Decision next = policy_.runEnded(now - runStart_);
    if (next.stop) {
        endSession(1, format("%d runs in a row ended within %lld s of their start: the session "
                             "ends (the lines above may say why: no display, no player?)",
                             policy_.quickRunsInARow(), RestartPolicy::kQuickRunMs / 1000));
    } else if (next.pauseMs > 0) {
        log(format("run %d was short: the next one starts in %lld s", run_, next.pauseMs / 1000));
        phase_ = Phase::Pausing;
        pauseEnd_ = now + next.pauseMs;
    } else {
        startRun();
    }
}

void SessionCore::endSession(int code, const std::string& line)
{
    phase_ = Phase::Ended;
    add(SessionAction::RemoveFolder);
    log(line);
    SessionAction exit{SessionAction::Exit, {}};
    exit.code = code;
    actions_.push_back(exit);
}

void SessionCore::log(const std::string& line)
{
    actions_.push_back({SessionAction::Log, line});
}

void SessionCore::signalRun(int sig)
{
    SessionAction action{SessionAction::SignalRun, {}};
    action.signal = sig;
    actions_.push_back(action);
}

void SessionCore::signalProcess(int pid, int sig)
{
    SessionAction action{SessionAction::SignalProcess, {}};
    action.signal = sig;
    action.pid = pid;
    actions_.push_back(action);
}

std::vector<SessionAction> SessionCore::take()
{
    return std::exchange(actions_, {});
}
