#pragma once

#include "restartPolicy.h"

#include <string>
#include <vector>

// How a run's process ended, as the loop read it from its wait status.
struct RunEnd
{
    enum How { Exited, Signalled };
    How how = Exited;
    int number = 0; // its exit status, or the signal that ended it
};

// A process that a run left behind, as the loop found it.
struct LeftProcess
{
    int pid = 0;
    std::string name;
};

// What the session's core asks the world to do, in the order it is due.
struct SessionAction
{
    enum Kind {
        AskPowerChoices, // ask logind's Can*; answer with powerChoicesAnswered()
        StartRun,        // start the next run, environment put over its own; answer with
                         // runStarted() or runNotStarted()
        SignalRun,       // signal: for the run's process
        SignalProcess,   // signal: for pid, something a run left
        FindLeftovers,   // reap what has ended; answer with leftoversFound()
        ReadEndMark,     // answer with endMarkRead()
        AskLogind,       // text: "PowerOff" or "Reboot"; answer with logindAnswered()
        RemoveEndMark,   // the mark was dealt with: the next run starts without one
        RemoveFolder,    // the private folder, with the mark in it, before the session ends
        Log,             // text: one line for the log, without the program's name and the end
        Exit,            // code: the session's exit status
    };
    Kind kind;
    std::string text;
    int signal = 0;
    int pid = 0;
    int code = 0;
    std::vector<std::string> environment = {}; // "NAME=value" entries
};

// What logind's CanPowerOff, CanReboot and CanSuspend answered ("yes", "no", "challenge",
// "na"); empty when it could not be asked, and why.
struct PowerAnswers
{
    std::string powerOff, reboot, suspend;
    std::string why;
};

// The session's core: when a run starts, how it is ended, what it left is ended, and whether
// another run follows, after what pause, or the session ends.
//
// It owns no process and reads no clock: events come in with the time they happened, what is
// to be done comes out as actions, and deadline() says when tick() is next due. The loop
// answers each action that asks something at once, before it waits again.
class SessionCore
{
  public:
    // A run told to end has this long to give the display back and end its player (its own
    // bounds add up to about 6 s) before it is killed, and then this long to go.
    static constexpr long long kRunEndGraceMs = 15000;
    static constexpr long long kKilledRunMs = 5000;
    // What a run left behind has this long after SIGTERM, then this long after SIGKILL.
    static constexpr long long kLeftoverGraceMs = 3000;
    static constexpr long long kLeftoverKillMs = 2000;
    // How often what a run left is looked for again while it is being ended.
    static constexpr long long kLeftoverScanMs = 20;

    // program: the path that runs start, as the log names it.
    explicit SessionCore(std::string program);

    // The session begins: its first run.
    void start();
    // The run asked for has started, or could not be (why: the system's words); now is when
    // its start began.
    void runStarted(int pid, long long now);
    void runNotStarted(const std::string& why, long long now);
    // The run's process has ended.
    void runEnded(const RunEnd& end, long long now);
    // A termination signal came (SIGTERM, SIGINT, SIGHUP).
    void signalReceived(int sig, long long now);
    // What the run left that is still there (empty: nothing).
    void leftoversFound(const std::vector<LeftProcess>& left, long long now);
    // What logind offers for the next run.
    void powerChoicesAnswered(const PowerAnswers& answers);
    // The end mark that the menu's Quit ("", present), Power off ("power-off\n") or Restart
    // ("restart\n") left.
    void endMarkRead(bool present, const std::string& content, long long now);
    // Whether logind does what it was asked; why it does not.
    void logindAnswered(bool done, const std::string& why, long long now);

    // When tick() is next due; -1 for never.
    long long deadline() const;
    void tick(long long now);

    // Hands over what has piled up, oldest first.
    std::vector<SessionAction> take();

  private:
    enum class Phase {
        Idle,            // before start()
        AskingPower,     // logind's offers asked for, before a run
        Starting,        // a run asked for
        Playing,         // the run is on
        EndingRun,       // the run told to end
        KillingRun,      // the run killed
        EndingLeftovers, // what the run left being ended
        AwaitingMark,    // the end mark asked for
        AskingLogind,    // power off or restart asked of logind
        Pausing,         // before the next run
        Ended,
    };

    void startRun();
    void powerChosen(const std::string& action);
    void endRunOnSignal(int sig, long long now);
    void beginLeftovers(long long now);
    void endLeftovers(const std::vector<LeftProcess>& left, long long now);
    // The run and what it left are over: the session ends, or the next run is decided.
    void runOver();
    void restartOrStop(long long now);
    void endSession(int code, const std::string& line);

    void log(const std::string& line);
    void add(SessionAction::Kind kind) { actions_.push_back({kind, {}}); }
    void signalRun(int sig);
    void signalProcess(int pid, int sig);

    std::string program_;
    RestartPolicy policy_;
    std::vector<SessionAction> actions_;
    Phase phase_ = Phase::Idle;
    int run_ = 0;
    long long runStart_ = 0;
    // The signal that ends the session once the run is over; 0 for none so far.
    int stop_ = 0;
    // The run was told to end on stop_: a later signal changes nothing.
    bool runToldToEnd_ = false;
    long long runDeadline_ = -1; // to kill the run, or to give up on it

    long long leftoversSince_ = 0;
    long long nextScan_ = -1;
    bool killingLeftovers_ = false;
    std::vector<int> toldToEnd_; // the pids of leftovers sent SIGTERM
    long long pauseEnd_ = -1;
    // What logind was asked after the run ("PowerOff", "Reboot"), and what the next run is to
    // tell the viewer (TAMBLIN_NOTICE), once.
    std::string asked_;
    std::string notice_;
};
