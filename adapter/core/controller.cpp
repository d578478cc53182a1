#include "controller.h"

#include "grace.h"
#include "lineSplitter.h"
#include "mediaMenu.h"
#include "protocol.h"
#include "slaveCommand.h"

#include <csignal>

namespace {

// How long a clip being left may take to say where it is.
const long long kLeaveWaitMs = 400;

bool isQuit(const std::string& command)
{
    return parseSlaveCommand(command).verb == "quit";
}

} // namespace

Controller::Controller(MenuModel& model, ClipFlow& flow, ResumeStore& store, PlayerDriver& driver,
                       Actions& out)
    : model_(model), flow_(flow), store_(store), driver_(driver), out_(out), speech_(out, driver)
{
    driver_.attach(&events_);
    // The media folders, as the menu of media and sticks lists them.
    // "Play a clip" comes first in the main menu, where there is one.
    const Menu* main = model_.menu("main");
    if (main && !main->entries.empty() && main->entries.front().kind == MenuEntry::OpenMenu)
        clipsMenu_ = main->entries.front().argument;
    const Menu* clips = model_.menu(clipsMenu_);
    if (clips && clipsMenu_ == "media")
        removables_.setFixed(clips->entries);
    else if (clips && !clips->listed)
        removables_.setFixed({{clips->title, MenuEntry::OpenMenu, clipsMenu_, {}}});
}

void Controller::takeEvents()
{
    // Handling one may bring more: the driver is called again.
    while (!events_.empty()) {
        for (const PlayerEvents::Event& e : events_.take()) {
            switch (e.kind) {
            case PlayerEvents::Event::FileStarted:
                fileStarted(e.file, e.now);
                break;
            case PlayerEvents::Event::FileFailed:
                fileFailed(e.file, e.now);
                break;
            case PlayerEvents::Event::PositionKnown:
                positionKnown(e.at, e.length, e.now);
                break;
            case PlayerEvents::Event::PlayerUnusable:
                playerUnusable(e.now);
                break;
            case PlayerEvents::Event::NothingToPlay:
                nothingToPlay(e.now);
                break;
            case PlayerEvents::Event::TracksKnown:
                tracksKnown(e.tracks, e.now);
                break;
            }
        }
    }
}

void Controller::windowLine(const std::string& line, long long now)
{
    const std::string text = trimmedLine(line);
    if (text.empty())
        return;
    if (text == kSpeechToggle) {
        speech_.toggle(model_);
        return;
    }
    if (text != kMenuQuery) {
        command(text, now);
        reopenStale(now);
        takeEvents();
        return;
    }
    // Our answer goes on a line of its own, after whatever the player has begun.
    const std::string answer = std::string(kMenuAnswer) + (model_.visible() ? "=1" : "=0");
    out_.trace('=', answer);
    out_.window((out_.windowMidLine() ? "\n" : "") + answer + "\n");
}

void Controller::command(const std::string& line, long long now)
{
    const std::string text = shaped(line, now);
    MenuStep step;
    step.wasVisible = model_.visible();
    step.depthBefore = model_.depth();
    step.outcome = model_.apply(text);
    step.visible = model_.visible();
    step.depth = model_.depth();
    step.reopens = std::exchange(reopening_, false);
    std::string own;
    if (step.outcome == MenuModel::CommandRun && model_.ranCommand()[0] == kOwnCommand) {
        own = model_.ranCommand().substr(1);
        step.outcome = MenuModel::Nothing; // nothing for the player in the entry itself
    }
    if (step.outcome == MenuModel::CommandRun)
        step.ran = model_.ranCommand();
    const bool quits = isQuit(text) || (step.outcome == MenuModel::CommandRun && isQuit(step.ran));
    std::vector<std::string> chosen;
    bool ask = false;
    if (step.outcome == MenuModel::FileChosen) {
        chosen = model_.chosenFiles();
        // One clip left partway: the question comes first, and the player hears only the key.
        ask = asksWhereToStart(chosen);
        if (ask) {
            asking_ = chosen.front();
            chosen.clear();
            step.outcome = MenuModel::Nothing;
        }
    }
    // Another clip, or the end of the run: first, where the clip playing now was left.
    if (!chosen.empty() || quits)
        leaveClip(now);
    if (quits)
        beginQuitting(now);
    if (step.outcome == MenuModel::CommandRun && isQuit(step.ran) && !sessionEnd_.empty())
        out_.file(Action::WriteFile, sessionEnd_, "");
    toDriver([this, text, step](long long t) { driver_.command(text, step, t); }, now);
    if (!chosen.empty())
        play(chosen, now);
    if (ask)
        command(std::string("set_menu ") + kStartMenu, now);
    if (!own.empty())
        ownCommand(own, now);
    spoken(text, step, now);
}

void Controller::toDriver(std::function<void(long long)> request, long long now)
{
    if (!leaving_.empty())
        waiting_.push_back(std::move(request));
    else
        request(now);
}

void Controller::leaveClip(long long now)
{
    if (flow_.clip().empty() || !leaving_.empty())
        return;
    leaving_ = flow_.clip();
    leaveUntil_ = now + kLeaveWaitMs;
    driver_.askPosition(now);
}

void Controller::endLeaving(long long now)
{
    leaving_.clear();
    leaveUntil_ = -1;
    while (!waiting_.empty() && leaving_.empty()) {
        const auto request = std::move(waiting_.front());
        waiting_.pop_front();
        request(now);
    }
}

void Controller::positionKnown(double at, double length, long long now)
{
    if (leaving_.empty()) {
        whatsOn_.at(at); // asked for the chapters' menu, or to be said
        speech_.positionKnown(at, length);
        return;
    }
    if (store_.left(leaving_, at, length))
        save();
    endLeaving(now);
}

void Controller::save()
{
    out_.add(Action::SavePositions, store_.text());
}

void Controller::fileStarted(const std::string& file, long long now)
{
    const ClipFlow::Start start = flow_.started(file);
    whatsOn_.clear();
    if (!flow_.clip().empty() && !start.unplayable && !start.pulled)
        speech_.clipStarted(file);
    if (!start.finished.empty() && store_.finished(start.finished))
        save();
    // In order with what waits while a clip is being left: the driver is told how the file
    // plays only once what came before it has gone.
    const bool still = start.stillPicture;
    toDriver([this, still](long long t) { driver_.startPlaying(still, t); }, now);
    if (!start.append.empty())
        toDriver([this, start](long long t) { driver_.play(start.append, false, t); }, now);
    // A choice from the menu is playing: close the menu, as its entry promised.
    if (start.fromMenu)
        command("menu hide", now);
    if (!start.ended.empty()) {
        for (const std::string& c : model_.commandsToShow(start.ended))
            command(c, now);
    }
    // Over it, what happened; its OK (or Back) leaves the clip's entry chosen.
    if (start.unplayable)
        command(std::string("set_menu ") + kUnplayableMenu, now);
    if (start.pulled) {
        // Back to the start menu, whatever of the stick's was open, with the news over it.
        for (const MenuModel::Step& open : model_.openMenus())
            stale_.erase(open.menu);
        if (!model_.visible())
            command("menu up", now);
        while (model_.depth() > 1)
            command("menu cancel", now);
        command(std::string("set_menu ") + kRemovedMenu, now);
    }
    if (!notice_.empty() && flow_.clip().empty())
        command("set_menu " + std::exchange(notice_, {}), now);
    toDriver([this](long long t) { driver_.startDone(t); }, now);
    speech_.menuChanged(model_); // the start menu, as it first shows
}

void Controller::fileFailed(const std::string& file, long long now)
{
    out_.add(Action::ToLog, "tamblin-adapter: cannot play " + file + "\n");
    flow_.failed(file);
    (void)now;
}

void Controller::playerOutput(const std::string& line, long long now)
{
    driver_.outputLine(line, now);
    takeEvents();
}

void Controller::playerErrors(const std::string& line, long long now)
{
    out_.add(Action::ToLog, line);
    driver_.errorLine(line, now);
    takeEvents();
}

void Controller::beginQuitting(long long now)
{
    if (quitting_)
        return;
    quitting_ = true;
    speech_.ending(now);
    driver_.runEnding(now);
}

void Controller::windowGone(long long now)
{
    if (!windowOpen_)
        return;
    windowOpen_ = false;
    // Without a quit, tell the player ourselves; either way it has a bound to end in.
    if (!quitting_)
        command("quit", now);
    if (termAt_ < 0 && killAt_ < 0 && !playerEnded_)
        termAt_ = now + kGraceMs;
    takeEvents();
}

void Controller::terminate(long long now)
{
    terminatePlayer(now);
    takeEvents();
}

void Controller::playerUnusable(long long now)
{
    playerFailed_ = true;
    terminatePlayer(now);
}

void Controller::terminatePlayer(long long now)
{
    beginQuitting(now);
    if (killAt_ < 0)
        endPlayer(SIGTERM, now);
}

void Controller::nothingToPlay(long long now)
{
    // The player waits with nothing to play (MPlayer would have ended): the run ends, at once,
    // and with nothing of the last file to keep.
    if (quitting_)
        return;
    beginQuitting(now);
    MenuStep step;
    step.wasVisible = step.visible = model_.visible();
    step.depthBefore = step.depth = model_.depth();
    driver_.command("quit", step, now);
}

void Controller::endPlayer(int signal, long long now)
{
    if (playerEnded_)
        return;
    out_.signal(signal);
    // A stopped player takes no signal but the kill until it is continued.
    driver_.wake(now);
    termAt_ = -1;
    killAt_ = signal == SIGTERM ? now + kGraceMs : -1;
}

void Controller::playerEnded(long long)
{
    playerEnded_ = true;
    termAt_ = killAt_ = -1;
    speech_.playerGone();
}

long long Controller::deadline() const
{
    return earlier(earlier(leaveUntil_, termAt_), earlier(killAt_, driver_.deadline()));
}

void Controller::tick(long long now)
{
    if (termAt_ >= 0 && now >= termAt_) {
        out_.add(Action::ToLog, "tamblin-adapter: the player did not quit, terminating it\n");
        endPlayer(SIGTERM, now);
    }
    if (killAt_ >= 0 && now >= killAt_)
        endPlayer(SIGKILL, now);
    if (leaveUntil_ >= 0 && now >= leaveUntil_) {
        // The player did not say: the clip's place is not kept. A positions file that was not
        // ours is still replaced now, as it would have been had the player answered.
        if (store_.claim())
            save();
        endLeaving(now);
    }
    driver_.tick(now);
    takeEvents();
}
