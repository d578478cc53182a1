// The session's part in power off, restart and sleep: what the menu may offer each run, and
// what the end mark asks once the run and what it left are over.
#include "sessionCore.h"

namespace {

// logind's word for each, and the menu's. "challenge" is offered too: polkit may still say yes
// without a password (the session's user at the seat), and a refusal is told to the viewer.
struct PowerChoice
{
    const std::string PowerAnswers::*answer;
    const char* entry;
};
const PowerChoice kChoices[] = {
    {&PowerAnswers::powerOff, "power-off"},
    {&PowerAnswers::reboot, "restart"},
    {&PowerAnswers::suspend, "sleep"},
};

} // namespace

void SessionCore::powerChoicesAnswered(const PowerAnswers& answers)
{
    if (phase_ != Phase::AskingPower)
        return;
    SessionAction start{SessionAction::StartRun, {}};
    std::string offered;
    for (const PowerChoice& choice : kChoices) {
        const std::string& answer = answers.*choice.answer;
        if (answer == "yes" || answer == "challenge")
            offered += (offered.empty() ? "" : ",") + std::string(choice.entry);
    }
    if (!offered.empty())
        start.environment.push_back("TAMBLIN_POWER=" + offered);
    else if (answers.powerOff.empty())
        log("cannot ask logind what the machine may do (" + answers.why +
            "): no Power off, Restart or Sleep in the menu");
    else
        log("logind allows no power off, restart or sleep: none of them in the menu");
    if (!notice_.empty())
        start.environment.push_back("TAMBLIN_NOTICE=" + notice_);
    notice_.clear();
    phase_ = Phase::Starting;
    actions_.push_back(start);
}

void SessionCore::endMarkRead(bool present, const std::string& content, long long now)
{
    if (phase_ != Phase::AwaitingMark)
        return;
    if (!present)
        restartOrStop(now);
    else if (content == "power-off\n")
        powerChosen("PowerOff");
    else if (content == "restart\n")
        powerChosen("Reboot");
    else // Quit's empty mark; a mark of anything else still says the viewer wants out
        endSession(0, "Quit was chosen in the menu: the session ends");
}

// The run and everything it left are over, the display given back: only now is logind asked.
void SessionCore::powerChosen(const std::string& action)
{
    asked_ = action;
    phase_ = Phase::AskingLogind;
    SessionAction ask{SessionAction::AskLogind, action};
    actions_.push_back(ask);
}

void SessionCore::logindAnswered(bool done, const std::string& why, long long)
{
    if (phase_ != Phase::AskingLogind)
        return;
    const bool off = asked_ == "PowerOff";
    if (done) {
        endSession(0, off ? "Power off was chosen in the menu: powering off"
                          : "Restart was chosen in the menu: restarting");
        return;
    }
    // Refused (polkit), or logind is not there: the viewer is told in the next run, which starts
    // at once. It was asked for, not a run that failed: no pause, no count.
    log(std::string(off ? "Power off" : "Restart") + " was chosen in the menu, but logind did " +
        "not do it (" + why + "): the next run starts");
    add(SessionAction::RemoveEndMark);
    notice_ = off ? "power-off-refused" : "restart-refused";
    startRun();
}
