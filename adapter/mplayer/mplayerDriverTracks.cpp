// MPlayerDriver: the player's answers, what a clip carries (its tracks and chapters), and the
// menus listed for it.
#include "mplayerDriver.h"

#include "lineSplitter.h"
#include "mplayerMenu.h"

#include <cstdio>
#include <cstdlib>

void MPlayerDriver::answered(const std::string& property, const std::optional<std::string>& value,
                             bool ours, long long now)
{
    if (property == "pause" && value) {
        const bool paused = *value == "yes";
        hold_.answered(paused);
        if (ours)
            rest_.answered(paused, now);
        return;
    }
    if (!ours)
        return;
    if (property == "time_pos" || property == "length")
        position_.answered(property == "time_pos" ? PositionQuery::At : PositionQuery::Length,
                           value ? std::optional<double>(atof(value->c_str())) : std::nullopt,
                           *events_, now);
    else if (MPlayerTrackFlow::follows(property))
        follow(tracks_.answered(property,
                                value ? std::optional<int>(atoi(value->c_str())) : std::nullopt),
               now);
}

bool MPlayerDriver::answerLine(const std::string& text, long long now)
{
    // "ANS_name=value"; a property that the player cannot give is answered "ANS_ERROR=WHY", in
    // turn: it answers the oldest question.
    const size_t equals = text.find('=');
    const std::string name = text.substr(4, equals == std::string::npos ? 0 : equals - 4);
    const bool refused = name == "ERROR";
    for (auto q = questions_.begin(); q != questions_.end(); ++q) {
        if (!refused && q->property != name)
            continue;
        const Question question = *q;
        questions_.erase(q);
        std::optional<std::string> value;
        if (!refused)
            value = trimmedLine(text.substr(equals + 1));
        answered(question.property, value, question.ours, now);
        if (question.ours)
            return true;
        break;
    }
    out_.trace('<', text);
    return false;
}

void MPlayerDriver::tracksOf(const PlayItem& item, MPlayerFiles::Role role)
{
    if (role != MPlayerFiles::Plain) {
        tracks_.fileStarted(
            role == MPlayerFiles::Picture ? MPlayerTrackFlow::Song : MPlayerTrackFlow::Other, {});
        return;
    }
    std::vector<MPlayerTrackFlow::Subtitle> subtitles;
    for (const std::string& path : item.subtitles) {
        const MPlayerFiles::Made name = files_.subtitleFor(path);
        make(name);
        subtitles.push_back({name.path, path});
    }
    tracks_.fileStarted(MPlayerTrackFlow::Clip, std::move(subtitles));
}

void MPlayerDriver::follow(const MPlayerTrackFlow::Step& step, long long now)
{
    for (const MPlayerTrackFlow::Line& line : step.send)
        send(line.text, line.question ? Send::OursInTurn : Send::Plain, now);
    if (step.report)
        events_->tracksKnown(tracks_.tracks(), now);
}

void MPlayerDriver::selectTracks(const TrackChoice& choice, long long now)
{
    follow(tracks_.select(choice), now);
}

void MPlayerDriver::seekTo(double seconds, long long now)
{
    // Under a menu's pause it keeps the pause ("pausing_keep"; the "_force" form lost the seek).
    char seek[64];
    snprintf(seek, sizeof seek, "seek %.3f 2", seconds);
    for (const std::string& l : hold_.linesFor(seek, false, false))
        send(l, Send::Plain, now);
}

void MPlayerDriver::listMenu(const Menu& menu, long long now)
{
    // The menu reads its folder as it opens: in turn with the commands held back before it.
    if (!listFolder_.empty())
        send(listedNames(menu.entries, fit_), Send::Listing, now);
}
