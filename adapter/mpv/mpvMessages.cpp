// What mpv says: replies to the driver's requests, and events, one JSON object a line.
#include "mpvDriver.h"

#include "lineSplitter.h"
#include "mediaSuffixes.h"
#include "mpvCommands.h"

#include <algorithm>

using mpvMessage::integer;
using mpvMessage::text;
using nlohmann::json;

namespace {

// How long after the player says it is paused an overlay is sent again (see propertyChange()):
// a redraw asked for within a frame of the pause can be lost to the frame still on its way, so
// the wait is a frame and a half, and no less than this.
const double kRedrawAfterFrames = 1.5;
const long long kRedrawAfterPauseMs = 40;
// The frame rate taken when the file does not say (a slow one, so the wait is long enough).
const double kFallbackFps = 10;

} // namespace

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
        files_.added(integer(data, "playlist_entry_id"), why.path, why.subtitles);
    // An answer about a file that has ended since is no answer about this one.
    if (why.kind == Pending::Tracks && why.entry == entry_ && tracksAwaited_ > 0) {
        (why.name == "track-list" ? trackList_ : chapterList_) = data;
        --tracksAwaited_;
        tellTracks(now);
    }
    if (why.kind == Pending::Answer) {
        // As MPlayer answers, for the window and whoever asked through it.
        const std::string answer = ok ? "ANS_" + why.name + "=" + mplayerValue(data, why.format)
                                      : std::string("ANS_ERROR=PROPERTY_UNAVAILABLE");
        out_.trace('<', answer);
        out_.window(answer + "\n");
    }
    if (why.kind == Pending::Position)
        position_.answered(
            why.part, ok && data.is_number() ? std::optional(data.get<double>()) : std::nullopt,
            *events_, now);
}

void MpvDriver::event(const json& message, long long now)
{
    const std::string name = text(message, "event");
    if (name == "start-file" || name == "file-loaded" || name == "playback-restart" ||
        name == "end-file")
        fileEvent(name, message, now);
    else if (name == "idle")
        events_->nothingToPlay(now); // the core decides what that means
    else if (name == "property-change")
        propertyChange(message, now);
    else if (name == "log-message")
        noDisplay_.read(text(message, "text"), out_, *events_, now);
}

void MpvDriver::fileEvent(const std::string& name, const json& message, long long now)
{
    const std::string file = files_.file(integer(message, "playlist_entry_id"));
    if (name == "start-file")
        entry_ = integer(message, "playlist_entry_id");
    if (name == "start-file" && !file.empty()) {
        out_.trace('<', "Playing " + file + ".");
        stage_ = FileStage::Started;
        hold_.fileStarted(false);
        // Held still or set going once the core has said which (startPlaying(), startDone()).
        afterStarts_.push_back({false, mediaKind(file) == MediaKind::Song ? songTitle(file) : ""});
        events_->fileStarted(file, now);
    } else if (name == "file-loaded") {
        stage_ = FileStage::Open;
        askTracks(now); // first: a track chosen may be one of the files added
        for (json& command : waiting_)
            request(std::move(command), {}, now);
        waiting_.clear();
    } else if (name == "playback-restart" && stage_ == FileStage::Open) {
        // Its first picture is on the screen, paused or not: the quiet time starts now.
        stage_ = FileStage::Shown;
        sent(now);
    } else if (name == "end-file") {
        stage_ = FileStage::None;
        tracksAwaited_ = -1; // what comes now is the next file's, told once it is open
        if (text(message, "reason") == "error") {
            waiting_.clear(); // the file they were for never opened
            if (!file.empty()) {
                out_.trace('#', "could not play " + file + ": " + text(message, "file_error"));
                events_->fileFailed(file, now);
            }
        }
        files_.ended(integer(message, "playlist_entry_id"));
    }
}

void MpvDriver::propertyChange(const json& message, long long now)
{
    const json data = message.value("data", json());
    const long long id = integer(message, "id");
    if (id == kPauseWatch && data.is_boolean()) {
        paused_ = data.get<bool>();
        hold_.answered(paused_); // the player's own word wins
        // An overlay changed while the clip played shows with its next frame; paused before
        // that, there is none, and the old menu would stay on the screen. Sent again once the
        // player has settled into its pause, it is drawn at once.
        const double fps = fps_ >= 1 ? fps_ : kFallbackFps;
        if (paused_ && overlayPending_)
            redrawAt_ = now + std::max(kRedrawAfterPauseMs,
                                       static_cast<long long>(kRedrawAfterFrames * 1000 / fps));
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
    } else if (id == kTrackWatch || id == kChapterWatch) {
        (id == kTrackWatch ? trackList_ : chapterList_) = data;
        tellTracks(now);
    }
}

void MpvDriver::askTracks(long long now)
{
    // mpv takes a file name whole here, where its sub-files option would split it at ':'; it
    // answers in order, so the answers below hold the files added.
    sidecars_ = files_.subtitles(entry_);
    for (const Sidecar& s : sidecars_)
        request({"sub-add", s.url, "auto"}, {}, now);
    // The watches told the lists as the file started, before mpv chose its tracks: asked for
    // now, they are as it plays.
    tracksAwaited_ = 2;
    told_ = false;
    for (const char* property : {"track-list", "chapter-list"}) {
        Pending why = Pending::of(Pending::Tracks, property);
        why.entry = entry_;
        request({"get_property", property}, std::move(why), now);
    }
}

void MpvDriver::tellTracks(long long now)
{
    if (tracksAwaited_ != 0)
        return;
    const ClipTracks tracks = clipTracks(trackList_, chapterList_, sidecars_);
    if (told_ && sameTracks(tracks, tracks_))
        return;
    told_ = true;
    tracks_ = tracks;
    events_->tracksKnown(tracks, now);
}
