// MPlayerDriver: what a clip carries (its tracks and chapters), and the menus listed for it.
#include "mplayerDriver.h"

#include "mplayerMenu.h"

#include <cstdio>

void MPlayerDriver::tracksOf(const PlayItem& item, MPlayerFiles::Role role)
{
    std::vector<MPlayerTrackFlow::Subtitle> subtitles;
    for (const std::string& path : item.subtitles) {
        const MPlayerFiles::Made name = files_.subtitleFor(path);
        make(name);
        subtitles.push_back({name.path, path});
    }
    tracks_.fileStarted(role == MPlayerFiles::Plain     ? MPlayerTrackFlow::Clip
                        : role == MPlayerFiles::Picture ? MPlayerTrackFlow::Song
                                                        : MPlayerTrackFlow::Other,
                        std::move(subtitles));
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
