#include "mpvDriver.h"

#include "mpvCommands.h"
#include "slaveCommand.h"

#include <algorithm>
#include <cstdio>
#include <utility>

using mpvMessage::serialised;
using mpvMessage::text;
using nlohmann::json;

namespace {

// Seeks held while a file opens, at most: more keys than that in the time are not a person's.
const size_t kMostWaiting = 64;

} // namespace

MpvDriver::MpvDriver(Actions& out, const MenuModel& model, MenuOverlay& overlay, std::string files,
                     std::string firstFile)
    : out_(out), model_(model), overlay_(overlay), files_(std::move(files), std::move(firstFile))
{
}

void MpvDriver::start(long long now, const std::vector<std::string>& firstSubtitles)
{
    const std::pair<long long, const char*> watches[] = {{kPauseWatch, "pause"},
                                                         {kDecoderWatch, "hwdec-current"},
                                                         {kFpsWatch, "container-fps"},
                                                         {kTrackWatch, "track-list"},
                                                         {kChapterWatch, "chapter-list"}};
    for (const auto& [id, property] : watches)
        out_.add(Action::ToPlayer, serialised({{"command", {"observe_property", id, property}}}));
    request({"request_log_messages", "error"}, {}, now);
    if (!firstSubtitles.empty() && !files_.file(1).empty())
        files_.added(1, files_.file(1), sidecars(firstSubtitles));
    drawMenu(now);
}

void MpvDriver::request(json command, Pending why, long long)
{
    const long long id = nextId_++;
    pending_[id] = std::move(why);
    out_.add(Action::ToPlayer, serialised({{"command", std::move(command)}, {"request_id", id}}));
}

void MpvDriver::sent(long long now)
{
    restAt_ = ending_ ? -1 : now + kQuietMs;
}

void MpvDriver::fileRequest(json command, long long now)
{
    if (stage_ >= FileStage::Open)
        request(std::move(command), {}, now);
    else if (waiting_.size() < kMostWaiting)
        waiting_.push_back(std::move(command));
}

std::vector<Sidecar> MpvDriver::sidecars(const std::vector<std::string>& paths)
{
    std::vector<Sidecar> out;
    for (const std::string& path : paths) {
        std::string alias;
        out.push_back({files_.url(path, &alias, true), path});
        if (!alias.empty())
            out_.file(Action::MakeLink, alias, path);
    }
    return out;
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

void MpvDriver::sendSlaveLine(const std::string& line, long long now)
{
    const SlaveCommand c = parseSlaveCommand(line);
    if (c.verb == "pause" && c.prefix.empty()) {
        setPause(hold_.paused(), now); // as the pause hold now has it: outright, not a toggle
        return;
    }
    if (c.verb == "loadfile") {
        const LoadArguments load = loadArguments(c.body);
        play({{load.path, 0, {}}}, !load.append, now);
        return;
    }
    const MpvCommand m = mpvCommand(c.body);
    if (m.command.is_null()) {
        out_.trace('#', "no such command for mpv: " + line);
        return;
    }
    Pending why;
    if (!m.answerName.empty()) {
        why = Pending::of(Pending::Answer, m.answerName);
        why.format = m.answerFormat;
    }
    if (m.needsFile)
        fileRequest(m.command, now); // MPlayer, too, applies it once the file is open
    else
        request(m.command, why, now);
    if (c.prefix == "pausing" || c.prefix == "pausing_toggle")
        setPause(hold_.paused(), now);
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
        if (instead) {
            // What comes now is for the file that replaces this one, its tracks too.
            stage_ = FileStage::None;
            tracksAwaited_ = -1;
        }
        out_.trace('>', "loadfile " + files[i].path + (instead ? "" : " 1") +
                            (options.empty() ? "" : " start=" + text(options, "start")));
        std::string alias;
        const std::string url = files_.url(files[i].path, &alias);
        if (!alias.empty())
            out_.file(Action::MakeLink, alias, files[i].path);
        Pending load = Pending::of(Pending::Load);
        load.path = files[i].path;
        load.subtitles = sidecars(files[i].subtitles);
        request({{"name", "loadfile"},
                 {"url", url},
                 {"flags", instead ? "replace" : "append"},
                 {"options", options}},
                std::move(load), now);
    }
    sent(now);
}

void MpvDriver::startPlaying(bool still, long long now)
{
    if (!afterStarts_.empty())
        afterStarts_.front().still = still;
    if (!still)
        return;
    hold_.fileStarted(true);
    setPause(true, now);
    sent(now);
}

void MpvDriver::startDone(long long now)
{
    if (afterStarts_.empty())
        return;
    const AfterStart start = afterStarts_.front();
    afterStarts_.pop_front();
    // The pause outlives a file in mpv: each one starts playing, unless it is held still.
    if (!start.still)
        setPause(false, now);
    // A song has no picture here, only its name for a while over the window.
    if (!start.title.empty())
        request({"show-text", start.title, kSongTitleMs}, {}, now);
    sent(now);
}

void MpvDriver::askPosition(long long now)
{
    position_.ask();
    for (const auto part : {PositionQuery::At, PositionQuery::Length}) {
        Pending why = Pending::of(Pending::Position);
        why.part = part;
        request({"get_property", part == PositionQuery::At ? "time-pos" : "duration"},
                std::move(why), now);
    }
}

void MpvDriver::selectTracks(const TrackChoice& choice, long long now)
{
    const std::pair<const char*, int> tracks[] = {{"aid", choice.audio}, {"sid", choice.subtitle}};
    for (const auto& [property, id] : tracks) {
        if (id == TrackChoice::kKeep)
            continue;
        const json value = id >= 0 ? json(id) : json("no");
        out_.trace('>',
                   std::string("set ") + property + " " + (id >= 0 ? std::to_string(id) : "no"));
        fileRequest({"set_property", property, value}, now);
    }
    sent(now);
}

void MpvDriver::seekTo(double seconds, long long now)
{
    char text[32];
    snprintf(text, sizeof text, "%.3f", seconds);
    out_.trace('>', std::string("seek ") + text + " 2");
    // To the frame at the place, not the key frame before it: a chapter's start is where the
    // position is then.
    fileRequest({"osd-auto", "seek", seconds, "absolute+exact"}, now);
    sent(now);
}

void MpvDriver::duck(bool down, long long now)
{
    // Half as loud, and back: a factor comes back exactly, where a step could stop at zero.
    request({"no-osd", "multiply", "volume", down ? 0.5 : 2.0}, {}, now);
}

void MpvDriver::runEnding(long long)
{
    ending_ = true;
    restAt_ = -1;
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
