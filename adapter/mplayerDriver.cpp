#include "mplayerDriver.h"

#include "lineSplitter.h"
#include "slaveCommand.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace {

// The player carries out some menu commands only when it next draws a frame: closing a submenu,
// and the command of a chosen entry. A second command read in the same pass would act on the
// menu as it was (two cancels would close one menu), so what follows waits for a frame.
const long long kMenuSettleMs = 100;
const char kAsk[] = "pausing_keep_force get_property ";
const char kNoDisplay[] = "couldn't open the X11 display";
const char kStarted[] = "Starting playback...";

// The path as one argument of a slave command.
std::string quoted(const std::string& path)
{
    return "'" + path + "'";
}

} // namespace

void MPlayerDriver::send(const std::string& command, Send kind, long long now)
{
    const bool ours = kind == Send::Ours;
    if (!ours && settleUntil_ >= 0) {
        heldBack_.push_back({command, kind});
        return;
    }
    wake(now);
    if (!ours) {
        out_.trace('>', command);
        rest_.sent(now);
    }
    const SlaveCommand c = parseSlaveCommand(command);
    if (c.verb == "get_property")
        questions_.push_back({c.argument, ours});
    out_.add(Action::ToPlayer, command + "\n");
    if (kind == Send::Settling)
        settleUntil_ = now + kMenuSettleMs;
}

void MPlayerDriver::sendHeldBack(long long now)
{
    // One at a time: a command sent may hold back the ones after it again.
    while (!heldBack_.empty() && settleUntil_ < 0) {
        const Held held = heldBack_.front();
        heldBack_.pop_front();
        send(held.command, held.kind, now);
    }
}

void MPlayerDriver::command(const std::string& line, const MenuStep& step, long long now)
{
    const SlaveCommand c = parseSlaveCommand(line);
    // Closing a submenu, or an entry that runs a command or opens a menu.
    const bool settles = (step.depth < step.depthBefore && step.visible) ||
                         (c.verb == "menu" && step.wasVisible &&
                          (step.outcome == MenuModel::CommandRun || step.depth > step.depthBefore));
    for (const std::string& l : hold_.linesFor(line, step.wasVisible, step.visible))
        send(l, settles && l == line ? Send::Settling : Send::Plain, now);
    if (step.outcome == MenuModel::CommandRun)
        hold_.ranByMenu(step.ran);
}

void MPlayerDriver::play(const std::vector<PlayItem>& files, bool replace, long long now)
{
    if (replace)
        queued_.clear();
    for (size_t i = 0; i < files.size(); ++i) {
        // Appended without touching a pause; a file in place of another ends one.
        const std::string path = quoted(files[i].path);
        send(replace && i == 0 ? "loadfile " + path : "pausing_keep loadfile " + path + " 1",
             Send::Plain, now);
        queued_.push_back(files[i]);
    }
}

void MPlayerDriver::holdStill(long long now)
{
    for (const std::string& l : hold_.fileStarted(true))
        send(l, Send::Plain, now);
}

void MPlayerDriver::askPosition(long long now)
{
    asking_ = true;
    at_ = length_ = -1;
    send(std::string(kAsk) + "time_pos", Send::Ours, now);
    send(std::string(kAsk) + "length", Send::Ours, now);
}

void MPlayerDriver::showMessage(const std::string& text, long long now)
{
    send("pausing_keep_force osd_show_text \"" + text + "\" 4000", Send::Plain, now);
}

void MPlayerDriver::quitting(long long)
{
    quitting_ = true;
}

void MPlayerDriver::wake(long long)
{
    if (!rest_.wake())
        return;
    out_.signal(SIGCONT);
    out_.trace('#', "continued");
}

void MPlayerDriver::answered(const std::string& property, const std::string& value, bool ours,
                             long long now)
{
    if (property == "pause") {
        const bool paused = value == "yes";
        hold_.answered(paused);
        if (ours)
            rest_.answered(paused, now);
        return;
    }
    if (!ours || !asking_)
        return;
    if (property == "time_pos")
        at_ = atof(value.c_str());
    if (property == "length")
        length_ = atof(value.c_str());
    if (at_ >= 0 && length_ >= 0) {
        asking_ = false;
        events_->positionKnown(at_, length_, now);
    }
}

void MPlayerDriver::started(const std::string& file, long long now)
{
    // Answers to questions asked before the switch may never come.
    questions_.clear();
    if (!current_.empty() && !currentShown_)
        events_->fileFailed(current_, now);
    current_ = file;
    currentShown_ = false;
    hold_.fileStarted(false);
    double startAt = 0;
    for (size_t i = 0; i < queued_.size(); ++i) {
        if (queued_[i].path == file) {
            startAt = queued_[i].startAt;
            queued_.erase(queued_.begin(), queued_.begin() + long(i) + 1);
            break;
        }
    }
    events_->fileStarted(file, now);
    if (startAt > 0) {
        char seek[64];
        snprintf(seek, sizeof seek, "seek %.3f 2", startAt);
        send(seek, Send::Plain, now);
    }
}

void MPlayerDriver::outputLine(const std::string& line, long long now)
{
    const std::string text = trimmedLine(line);
    bool pass = true;
    if (text.compare(0, 4, "ANS_") == 0) {
        const size_t equals = text.find('=');
        const std::string property = text.substr(4, equals == std::string::npos ? 0 : equals - 4);
        for (auto q = questions_.begin(); q != questions_.end(); ++q) {
            if (q->property != property)
                continue;
            pass = !q->ours;
            questions_.erase(q);
            answered(property, trimmedLine(text.substr(equals + 1)), !pass, now);
            break;
        }
        if (pass)
            out_.trace('<', text);
    } else if (text.compare(0, 8, "Playing ") == 0 && text.size() > 9 && text.back() == '.') {
        out_.trace('<', text);
        started(text.substr(8, text.size() - 9), now);
    } else if (text == kStarted) {
        currentShown_ = true;
    }
    if (pass)
        out_.window(line);
}

void MPlayerDriver::errorLine(const std::string& line, long long now)
{
    // Without a display the player goes on for ever, saying so 60 times a second.
    if (noDisplay_ || line.find(kNoDisplay) == std::string::npos)
        return;
    noDisplay_ = true;
    out_.add(Action::ToLog, "tamblin-adapter: the player cannot open its X display (\"" +
                                trimmedLine(line) + "\"); ending it\n");
    events_->playerUnusable(now);
}

long long MPlayerDriver::deadline() const
{
    return earlier(settleUntil_, rest_.deadline());
}

void MPlayerDriver::tick(long long now)
{
    if (settleUntil_ >= 0 && now >= settleUntil_) {
        settleUntil_ = -1;
        sendHeldBack(now);
    }
    if (rest_.askNow(now) && !quitting_)
        send(std::string(kAsk) + "pause", Send::Ours, now);
    if (rest_.stopNow(now) && hold_.paused() && !quitting_) {
        out_.signal(SIGSTOP);
        rest_.stopped();
        out_.trace('#', "stopped");
    }
}
