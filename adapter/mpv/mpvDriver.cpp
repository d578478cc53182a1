#include "mpvDriver.h"

#include "lineSplitter.h"
#include "mediaSuffixes.h"
#include "menuText.h"
#include "mpvCommands.h"
#include "paths.h"
#include "slaveCommand.h"

#include <algorithm>
#include <cstdio>
#include <utility>

using mpvMessage::integer;
using mpvMessage::serialised;
using mpvMessage::text;
using nlohmann::json;

namespace {

// Quiet time after a command, or after a new file's first picture, before the player is taken
// to be at rest: for the trace only.
const long long kRestAfterMs = 150;
// What mpv's log says when it cannot reach its X display.
const char kNoDisplay[] = "couldn't open the X11 display";
// How long after the player says it is paused an overlay is sent again (see event()): a redraw
// asked for within a frame of the pause can be lost to the frame still on its way, so the wait
// is a frame and a half, and no less than this.
const double kRedrawAfterFrames = 1.5;
const long long kRedrawAfterPauseMs = 40;
// The frame rate taken when the file does not say (a slow one, so the wait is long enough).
const double kFallbackFps = 10;
// Seeks held while a file opens, at most: more keys than that in the time are not a person's.
const size_t kMostWaiting = 64;
// Requests' ids for what is watched: the pause, what decodes, and the frame rate.
const long long kPauseWatch = 1, kDecoderWatch = 2, kFpsWatch = 3;

} // namespace

MpvDriver::MpvDriver(Actions& out, const MenuModel& model, MenuOverlay& overlay, std::string files,
                     std::string firstFile)
    : out_(out), model_(model), overlay_(overlay), files_(std::move(files), std::move(firstFile))
{
    nextId_ = kFpsWatch + 1; // after the watches' ids
}

void MpvDriver::start(long long now)
{
    const std::pair<long long, const char*> watches[] = {
        {kPauseWatch, "pause"}, {kDecoderWatch, "hwdec-current"}, {kFpsWatch, "container-fps"}};
    for (const auto& [id, property] : watches)
        out_.add(Action::ToPlayer, serialised({{"command", {"observe_property", id, property}}}));
    request({"request_log_messages", "error"}, {}, now);
    drawMenu(now);
}

void MpvDriver::request(json command, Pending why, long long now)
{
    const long long id = nextId_++;
    pending_[id] = std::move(why);
    out_.add(Action::ToPlayer, serialised({{"command", std::move(command)}, {"request_id", id}}));
    (void)now;
}

void MpvDriver::sent(long long now)
{
    restAt_ = ending_ ? -1 : now + kRestAfterMs;
}

void MpvDriver::setPause(bool paused, long long now)
{
    request({"set_property", "pause", paused}, {}, now);
}

void MpvDriver::drawMenu(long long now, bool again)
{
    const std::string events = overlay_.events(model_);
    if (events == drawn_ && !again)
        return;
    drawn_ = events;
    overlayPending_ = !paused_;
    // mpv redraws an overlay only when its text changed: sent again to be redrawn, it carries
    // an empty override block, which draws nothing, every other time.
    nudged_ = again && !nudged_;
    // One overlay, always the same id (a new one costs several ms more), hidden by empty data
    // (0.35's hidden flag does not take).
    request({{"name", "osd-overlay"},
             {"id", 1},
             {"format", "ass-events"},
             {"data", nudged_ ? events + "{}" : events},
             {"res_x", overlay_.width()},
             {"res_y", overlay_.height()},
             {"z", 0}},
            {}, now);
}

bool MpvDriver::sendSlaveLine(const std::string& line, long long now)
{
    const SlaveCommand c = parseSlaveCommand(line);
    if (c.verb == "pause" && c.prefix.empty()) {
        setPause(hold_.paused(), now); // as the pause hold now has it: outright, not a toggle
        return true;
    }
    if (c.verb == "loadfile") {
        const LoadArguments load = loadArguments(c.body);
        play({{load.path, 0}}, !load.append, now);
        return true;
    }
    const MpvCommand m = mpvCommand(c.body);
    if (m.command.is_null()) {
        out_.trace('#', "no such command for mpv: " + line);
        return false;
    }
    Pending why;
    if (!m.answerName.empty())
        why = {Pending::Answer, m.answerName, m.answerFormat, {}, false};
    if (m.needsFile && stage_ < FileStage::Open) {
        // MPlayer, too, applies it once the file is open.
        if (waiting_.size() < kMostWaiting)
            waiting_.push_back(m.command);
    } else {
        request(m.command, why, now);
    }
    if (c.prefix == "pausing" || c.prefix == "pausing_toggle")
        setPause(hold_.paused(), now);
    return true;
}

void MpvDriver::command(const std::string& line, const MenuStep& step, long long now)
{
    const SlaveCommand c = parseSlaveCommand(line);
    // Traced as the pause hold shapes it, as for MPlayer: the same words for the same effect.
    const std::vector<std::string> lines = hold_.linesFor(line, step.wasVisible, step.visible);
    for (const std::string& l : lines)
        out_.trace('>', l);
    if (c.verb == "menu" || c.verb == "set_menu") {
        // The model has followed it: what it shows now is drawn. A pause that the hold adds
        // (a menu over a playing clip, or its close) is set with it.
        drawMenu(now);
        if (lines.size() > 1)
            setPause(hold_.paused(), now);
        if (step.outcome == MenuModel::CommandRun) {
            hold_.ranByMenu(step.ran);
            sendSlaveLine(step.ran, now);
        }
    } else {
        for (const std::string& l : lines)
            sendSlaveLine(l, now);
    }
    sent(now);
}

void MpvDriver::play(const std::vector<PlayItem>& files, bool replace, long long now)
{
    for (size_t i = 0; i < files.size(); ++i) {
        json options = json::object();
        if (files[i].startAt > 0) {
            char start[32];
            snprintf(start, sizeof start, "%.3f", files[i].startAt); // options are strings
            options["start"] = start;
        }
        const bool instead = replace && i == 0;
        if (instead)
            stage_ = FileStage::None; // what comes now is for the file that replaces this one
        out_.trace('>', "loadfile " + files[i].path + (instead ? "" : " 1") +
                            (options.empty() ? "" : " start=" + text(options, "start")));
        std::string alias;
        const std::string url = files_.url(files[i].path, &alias);
        if (!alias.empty())
            out_.file(Action::MakeLink, alias, files[i].path);
        request({{"name", "loadfile"},
                 {"url", url},
                 {"flags", instead ? "replace" : "append"},
                 {"options", options}},
                {Pending::Load, {}, {}, files[i].path, false}, now);
    }
    sent(now);
}

void MpvDriver::holdStill(long long now)
{
    hold_.fileStarted(true);
    setPause(true, now);
    sent(now);
}

void MpvDriver::askPosition(long long now)
{
    asking_ = true;
    at_ = length_ = -1;
    request({"get_property", "time-pos"}, {Pending::Position, "at", {}, {}, true}, now);
    request({"get_property", "duration"}, {Pending::Position, "length", {}, {}, true}, now);
}

void MpvDriver::runEnding(long long)
{
    ending_ = true;
    restAt_ = -1;
}

void MpvDriver::reply(const json& message, long long now)
{
    const auto found = pending_.find(integer(message, "request_id"));
    if (found == pending_.end())
        return;
    const Pending why = found->second;
    pending_.erase(found);
    const bool ok = text(message, "error") == "success";
    const json data = message.value("data", json());
    if (why.kind == Pending::Load && ok && data.is_object())
        files_.added(integer(data, "playlist_entry_id"), why.path);
    if (why.kind == Pending::Answer) {
        // As MPlayer answers, for the window and whoever asked through it.
        const std::string answer = ok ? "ANS_" + why.name + "=" + mplayerValue(data, why.format)
                                      : std::string("ANS_ERROR=PROPERTY_UNAVAILABLE");
        out_.trace('<', answer);
        out_.window(answer + "\n");
    }
    if (why.kind == Pending::Position && asking_) {
        (why.name == "at" ? at_ : length_) = ok && data.is_number() ? data.get<double>() : -2;
        if (at_ != -1 && length_ != -1) {
            asking_ = false;
            if (at_ >= 0 && length_ >= 0)
                events_->positionKnown(at_, length_, now);
        }
    }
}

void MpvDriver::event(const json& message, long long now)
{
    const std::string name = text(message, "event");
    const std::string file = files_.file(integer(message, "playlist_entry_id"));
    if (name == "start-file" && !file.empty()) {
        out_.trace('<', "Playing " + file + ".");
        stage_ = FileStage::Started;
        hold_.fileStarted(false);
        // The pause outlives a file in mpv: each one starts playing, or held still if the core
        // says so at once.
        events_->fileStarted(file, now);
        if (hold_.hold() != PauseHold::Still)
            setPause(false, now);
        // A song has no picture here, only its name for a while over the window.
        if (mediaKind(file) == MediaKind::Song)
            request({"show-text", menuLabel(withoutMediaSuffix(baseName(file))), 4000}, {}, now);
        sent(now);
    } else if (name == "file-loaded") {
        stage_ = FileStage::Open;
        for (json& command : waiting_)
            request(std::move(command), {}, now);
        waiting_.clear();
    } else if (name == "playback-restart" && stage_ == FileStage::Open) {
        // Its first picture is on the screen, paused or not: the quiet time starts now.
        stage_ = FileStage::Shown;
        sent(now);
    } else if (name == "end-file") {
        stage_ = FileStage::None;
        if (text(message, "reason") == "error") {
            waiting_.clear(); // the file they were for never opened
            if (!file.empty()) {
                out_.trace('#', "could not play " + file + ": " + text(message, "file_error"));
                events_->fileFailed(file, now);
            }
        }
        files_.ended(integer(message, "playlist_entry_id"));
    } else if (name == "idle" && !ending_) {
        // Nothing more to play: the run ends, as MPlayer's does at the end of its list.
        out_.trace('>', "quit");
        request({"quit", 0}, {}, now);
        ending_ = true;
    } else if (name == "property-change") {
        const json data = message.value("data", json());
        const long long id = integer(message, "id");
        if (id == kPauseWatch && data.is_boolean()) {
            paused_ = data.get<bool>();
            hold_.answered(paused_); // the player's own word wins
            // An overlay changed while the clip played shows with its next frame; paused before
            // that, there is none, and the old menu would stay on the screen. Sent again once
            // the player has settled into its pause, it is drawn at once.
            if (paused_ && overlayPending_)
                redrawAt_ =
                    now + std::max(kRedrawAfterPauseMs,
                                   static_cast<long long>(kRedrawAfterFrames * 1000 /
                                                          (fps_ >= 1 ? fps_ : kFallbackFps)));
        } else if (id == kDecoderWatch && data.is_string()) {
            const std::string hwdec = data.get<std::string>();
            if (hwdec != hwdec_)
                out_.add(Action::ToLog, "tamblin-adapter: mpv decodes " +
                                            (hwdec == "no" ? std::string("in software")
                                                           : "in hardware (" + hwdec + ")") +
                                            "\n");
            hwdec_ = hwdec;
        } else if (id == kFpsWatch) {
            fps_ = data.is_number() ? data.get<double>() : 0;
        }
    } else if (name == "log-message" && !noDisplay_ &&
               text(message, "text").find(kNoDisplay) != std::string::npos) {
        noDisplay_ = true; // it says so more than once
        out_.add(Action::ToLog, "tamblin-adapter: the player cannot open its X display (\"" +
                                    trimmedLine(text(message, "text")) + "\"); ending it\n");
        events_->playerUnusable(now);
    }
}

void MpvDriver::outputLine(const std::string& line, long long now)
{
    const json message = json::parse(line, nullptr, false);
    if (message.is_discarded() || !message.is_object()) {
        out_.trace('#', "not a message from mpv: " + trimmedLine(line));
        return;
    }
    if (message.contains("event"))
        event(message, now);
    else
        reply(message, now);
}

void MpvDriver::errorLine(const std::string&, long long) {}

void MpvDriver::tick(long long now)
{
    if (redrawAt_ >= 0 && now >= redrawAt_) {
        redrawAt_ = -1;
        if (paused_)
            drawMenu(now, true);
    }
    if (restAt_ < 0 || now < restAt_)
        return;
    restAt_ = -1;
    if (paused_ && !ending_ && (stage_ == FileStage::None || stage_ == FileStage::Shown))
        out_.trace('#', "at rest");
}
