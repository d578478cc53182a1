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
const char kStarted[] = "Starting playback...";

const char kLength[] = "ID_LENGTH=";
// How far the sound goes down while the viewer is spoken to: this many of MPlayer's volume steps
// (3% each, as it is given no -volstep).
const int kDuckSteps = 5;

} // namespace

void MPlayerDriver::send(const std::string& command, Send kind, long long now)
{
    const bool ours = kind == Send::Ours || kind == Send::OursInTurn;
    if (kind != Send::Ours && settleUntil_ >= 0) {
        heldBack_.push_back({command, kind});
        return;
    }
    if (kind == Send::Listing) {
        out_.file(Action::ListFolder, listFolder_, command);
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
    const bool settles = (step.depth < step.depthBefore && step.visible && !step.reopens) ||
                         (c.verb == "menu" && step.wasVisible &&
                          (step.outcome == MenuModel::CommandRun || step.depth > step.depthBefore));
    // A menu opened by name (F1 over a clip) too, once its pause has gone with it: keys right
    // after it moved the menu below, hidden, and chose there.
    const bool opens = c.verb == "set_menu" && step.depth > step.depthBefore;
    const std::vector<std::string> lines = hold_.linesFor(line, step.wasVisible, step.visible);
    for (size_t i = 0; i < lines.size(); ++i) {
        const bool settling = (settles && lines[i] == line) || (opens && i + 1 == lines.size());
        send(lines[i], settling ? Send::Settling : Send::Plain, now);
    }
    if (step.outcome == MenuModel::CommandRun)
        hold_.ranByMenu(step.ran);
}

void MPlayerDriver::make(const MPlayerFiles::Made& made)
{
    for (const auto& link : made.links)
        out_.file(Action::MakeLink, link.first, link.second);
    for (const auto& text : made.texts)
        out_.file(Action::WriteFile, text.first, text.second);
}

void MPlayerDriver::playInstead(const std::vector<std::string>& aliases, long long now)
{
    // All at once, as a list of the aliases' plain names: a first file that cannot be played
    // is then followed by the next one, not by the end of the player's list.
    std::string list;
    for (const std::string& a : aliases)
        list += a + "\n";
    const std::string path = files_.listPath();
    out_.file(Action::WriteFile, path, list);
    send("loadlist '" + path + "'", Send::Plain, now);
}

void MPlayerDriver::play(const std::vector<PlayItem>& files, bool replace, long long now)
{
    if (replace)
        queued_.clear();
    std::vector<std::string> aliases;
    for (const PlayItem& item : files) {
        const MPlayerFiles::Made alias = files_.aliasFor(item.path);
        make(alias);
        aliases.push_back(alias.path);
        queued_.push_back(item);
    }
    if (replace) {
        playInstead(aliases, now);
        return;
    }
    // Appended, without touching a pause. An alias has a plain name: quoted, it is one
    // argument whatever the file is called.
    for (const std::string& a : aliases)
        send("pausing_keep loadfile '" + a + "' 1", Send::Plain, now);
}

void MPlayerDriver::songLength(double seconds, long long now)
{
    // The song opened: it is replaced now, before it could say so itself.
    currentShown_ = true;
    const MPlayerFiles::Made picture = files_.pictureFor(song_.path, seconds);
    make(picture);
    // The song under its picture, in place of the song alone; what was to follow, again.
    std::vector<std::string> aliases{picture.path};
    for (const PlayItem& next : queued_)
        aliases.push_back(files_.aliasFor(next.path).path);
    queued_.insert(queued_.begin(), song_);
    song_ = {};
    playInstead(aliases, now);
}

void MPlayerDriver::startPlaying(bool still, long long now)
{
    if (!still)
        return; // it plays already
    for (const std::string& l : hold_.fileStarted(true))
        send(l, Send::Plain, now);
}

void MPlayerDriver::startDone(long long now)
{
    if (afterStarts_.empty())
        return;
    const AfterStart start = afterStarts_.front();
    afterStarts_.pop_front();
    if (!start.title.empty())
        showTitle(start.title, now);
    if (start.seekTo > 0) {
        char seek[64];
        snprintf(seek, sizeof seek, "seek %.3f 2", start.seekTo);
        send(seek, Send::Plain, now);
    }
}

void MPlayerDriver::askPosition(long long now)
{
    position_.ask();
    send(std::string(kAsk) + "time_pos", Send::Ours, now);
    send(std::string(kAsk) + "length", Send::Ours, now);
}

void MPlayerDriver::showTitle(const std::string& text, long long now)
{
    // One quoted argument: a backslash escapes the character after it. The player shows it
    // only while it plays (a paused redraw drops it).
    std::string quoted;
    for (char c : text) {
        if (c == '\\' || c == '"')
            quoted += '\\';
        if (static_cast<unsigned char>(c) >= 0x20)
            quoted += c;
    }
    send("osd_show_text \"" + quoted + "\" " + std::to_string(kSongTitleMs), Send::Plain, now);
}

void MPlayerDriver::duck(bool down, long long now)
{
    // A step of MPlayer's own, whatever the number: as many steps back up. Not step_property,
    // which answers an error where there is no sound (the start menu's silent background), an
    // answer that no question of ours waits for.
    for (int i = 0; i < kDuckSteps; ++i)
        send(down ? "pausing_keep_force volume -1" : "pausing_keep_force volume 1", Send::Ours,
             now);
}

void MPlayerDriver::runEnding(long long)
{
    ending_ = true;
}

void MPlayerDriver::wake(long long)
{
    if (!rest_.wake())
        return;
    out_.signal(SIGCONT);
    out_.trace('#', "continued");
}

void MPlayerDriver::started(const std::string& named, long long now)
{
    // Answers to questions asked before the switch may never come.
    questions_.clear();
    if (!current_.empty() && !currentShown_)
        events_->fileFailed(current_, now);
    const MPlayerFiles::Alias alias = files_.named(named);
    const std::string& file = alias.real;
    song_ = {};
    current_ = file;
    currentShown_ = false;
    hold_.fileStarted(false); // a new file plays, whatever held the one before
    PlayItem item{file, 0, {}};
    for (size_t i = 0; i < queued_.size(); ++i) {
        if (queued_[i].path == file) {
            item = queued_[i];
            queued_.erase(queued_.begin(), queued_.begin() + long(i) + 1);
            break;
        }
    }
    tracksOf(item, alias.role);
    if (alias.role == MPlayerFiles::Probe) {
        song_ = item; // on to its picture, once the player has said how long it is
        return;
    }
    // Under its picture a song says its name for a while.
    const bool picture = alias.role == MPlayerFiles::Picture;
    afterStarts_.push_back({picture ? songTitle(file) : "", item.startAt});
    events_->fileStarted(file, now);
}

void MPlayerDriver::outputLine(const std::string& line, long long now)
{
    const std::string text = trimmedLine(line);
    bool pass = true;
    if (text.compare(0, 4, "ANS_") == 0) {
        pass = !answerLine(text, now);
    } else if (text.compare(0, 8, "Playing ") == 0 && text.size() > 9 && text.back() == '.') {
        const std::string named = text.substr(8, text.size() - 9);
        out_.trace('<', "Playing " + files_.named(named).real + ".");
        started(named, now);
    } else if (text.compare(0, sizeof kLength - 1, kLength) == 0 && !song_.path.empty()) {
        songLength(atof(text.c_str() + sizeof kLength - 1), now);
    } else if (text == kStarted) {
        currentShown_ = true;
        follow(tracks_.playing(), now);
    } else if (text.compare(0, 3, "ID_") == 0) {
        follow(tracks_.line(text), now);
    }
    if (pass)
        out_.window(line);
}

void MPlayerDriver::errorLine(const std::string& line, long long now)
{
    noDisplay_.read(line, out_, *events_, now);
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
    if (rest_.askNow(now) && !ending_)
        send(std::string(kAsk) + "pause", Send::Ours, now);
    if (rest_.stopNow(now) && hold_.paused() && !ending_) {
        out_.signal(SIGSTOP);
        rest_.stopped();
        out_.trace('#', "stopped");
    }
}
