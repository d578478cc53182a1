#include "mplayerTrackFlow.h"

namespace {

const char kKeep[] = "pausing_keep_force ";
const char kAudio[] = "switch_audio";
const char kDemux[] = "sub_demux";
const char kFile[] = "sub_file";

} // namespace

bool MPlayerTrackFlow::follows(const std::string& property)
{
    return property == kAudio || property == kDemux || property == kFile;
}

void MPlayerTrackFlow::fileStarted(Kind kind, std::vector<Subtitle> subtitles)
{
    kind_ = kind;
    playing_ = reported_ = filesLoaded_ = false;
    parsed_.clear();
    toLoad_ = kind == Clip ? std::move(subtitles) : std::vector<Subtitle>{};
    wanted_.reset();
    asked_.clear(); // answers to questions about the file before may never come
}

MPlayerTrackFlow::Step MPlayerTrackFlow::playing()
{
    Step step;
    playing_ = true;
    if (kind_ == Clip)
        ask(step);
    else
        step.report = reported_ = kind_ == Song;
    return step;
}

void MPlayerTrackFlow::ask(Step& step)
{
    ++round_;
    audio_ = demux_ = file_ = -1;
    std::vector<const char*> properties{kAudio, kDemux};
    if (filesLoaded_)
        properties.push_back(kFile);
    for (const char* p : properties) {
        step.send.push_back({std::string(kKeep) + "get_property " + p, true});
        asked_.push_back({p, round_});
    }
}

MPlayerTrackFlow::Line MPlayerTrackFlow::subtitle(int id)
{
    const std::string set = std::string(kKeep) + "set_property ";
    if (id < 0)
        return {set + "sub -1", false};
    if (MPlayerTracks::isFile(id))
        return {set + kFile + " " + std::to_string(id - MPlayerTracks::kFileSubtitles), false};
    return {set + kDemux + " " + std::to_string(id), false};
}

MPlayerTrackFlow::Step MPlayerTrackFlow::line(const std::string& text)
{
    Step step;
    if (kind_ != Clip || !parsed_.read(text))
        return step;
    // A track that shows up while the clip plays (some formats find theirs late).
    bool asking = false;
    for (const Asked& a : asked_)
        asking = asking || a.round == round_;
    step.report = reported_ && !asking;
    return step;
}

MPlayerTrackFlow::Step MPlayerTrackFlow::answered(const std::string& property,
                                                  std::optional<int> value)
{
    Step step;
    for (auto a = asked_.begin(); a != asked_.end(); ++a) {
        if (a->property != property)
            continue;
        const int round = a->round;
        asked_.erase(a);
        if (round != round_)
            return step; // a later round is on its way
        (property == kAudio ? audio_ : property == kDemux ? demux_ : file_) = value.value_or(-1);
        for (const Asked& left : asked_) {
            if (left.round == round_)
                return step;
        }
        roundDone(step);
        return step;
    }
    return step;
}

void MPlayerTrackFlow::roundDone(Step& step)
{
    ClipTracks& tracks = parsed_.tracks();
    tracks.audioOn = audio_ < 0 ? -1 : audio_;
    tracks.subtitleOn = demux_ >= 0  ? demux_
                        : file_ >= 0 ? MPlayerTracks::kFileSubtitles + file_
                                     : -1;
    step.report = reported_ = true;
    if (toLoad_.empty())
        return;
    // Loading turns a file's subtitles on: what was on (or chosen meanwhile) is put back.
    for (const Subtitle& s : toLoad_) {
        step.send.push_back({std::string(kKeep) + "sub_load '" + s.sent + "'", false});
        parsed_.loading(s.sent, s.given);
    }
    toLoad_.clear();
    filesLoaded_ = true;
    step.send.push_back(subtitle(wanted_.value_or(tracks.subtitleOn)));
    wanted_.reset();
    ask(step);
}

MPlayerTrackFlow::Step MPlayerTrackFlow::select(const TrackChoice& choice)
{
    Step step;
    if (kind_ != Clip)
        return step;
    if (choice.audio >= 0)
        step.send.push_back(
            {std::string(kKeep) + "set_property " + kAudio + " " + std::to_string(choice.audio),
             false});
    if (choice.subtitle != TrackChoice::kKeep) {
        // A file not loaded yet is put on once it is; the last choice counts.
        wanted_.reset();
        if (MPlayerTracks::isFile(choice.subtitle) && !toLoad_.empty())
            wanted_ = choice.subtitle;
        else
            step.send.push_back(subtitle(choice.subtitle));
    }
    // Before the clip plays, the first round of questions is still to come.
    if (!step.send.empty() && playing_)
        ask(step);
    return step;
}
