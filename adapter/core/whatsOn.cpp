#include "whatsOn.h"

#include "mediaMenu.h"
#include "trackNames.h"
#include "translate.h"

namespace {

const char kMark[] = "● ";

std::string marked(bool on, const std::string& label)
{
    return on ? kMark + label : label;
}

MenuEntry own(const std::string& label, const std::string& command)
{
    return {label, MenuEntry::Command, std::string(1, kOwnCommand) + command, {}};
}

} // namespace

void WhatsOn::clear()
{
    tracks_ = {};
    chosen_ = false;
    at_ = 0;
}

bool WhatsOn::has(const std::vector<Track>& list, int id) const
{
    for (const Track& t : list) {
        if (t.id == id)
            return true;
    }
    return false;
}

TrackChoice WhatsOn::known(const ClipTracks& tracks, const TrackChoice& kept)
{
    // Once chosen, what is on stays as chosen, whatever the player says later (it may answer
    // with what was on before the choice reached it).
    const int audioOn = chosen_ ? tracks_.audioOn : tracks.audioOn;
    const int subtitleOn = chosen_ ? tracks_.subtitleOn : tracks.subtitleOn;
    const bool first = !chosen_;
    tracks_ = tracks;
    tracks_.audioOn = audioOn;
    tracks_.subtitleOn = subtitleOn;
    if (!first)
        return {};
    // A kept choice of tracks the file no longer has counts for nothing.
    TrackChoice want = kept;
    if (want.audio >= 0 && !has(tracks.audio, want.audio))
        want.audio = TrackChoice::kKeep;
    if (want.subtitle >= 0 && !has(tracks.subtitles, want.subtitle))
        want.subtitle = TrackChoice::kKeep;
    if (want.audio == TrackChoice::kKeep && want.subtitle == TrackChoice::kKeep)
        want = chooseByLanguage(tracks, languages_);
    else
        chosen_ = true;
    TrackChoice ask;
    if (want.audio != TrackChoice::kKeep && want.audio != tracks_.audioOn)
        ask.audio = tracks_.audioOn = want.audio;
    if (want.subtitle != TrackChoice::kKeep && want.subtitle != tracks_.subtitleOn)
        ask.subtitle = tracks_.subtitleOn = want.subtitle;
    return ask;
}

TrackChoice WhatsOn::chose(const TrackChoice& choice)
{
    chosen_ = true;
    if (choice.audio != TrackChoice::kKeep)
        tracks_.audioOn = choice.audio;
    if (choice.subtitle != TrackChoice::kKeep)
        tracks_.subtitleOn = choice.subtitle;
    return {tracks_.audioOn, tracks_.subtitleOn};
}

std::string WhatsOn::mainMenu() const
{
    return mainMenuFor(tracks_.audio.size() > 1, !tracks_.subtitles.empty(),
                       !tracks_.chapters.empty());
}

std::vector<MenuEntry> WhatsOn::entries(const std::string& menu) const
{
    std::vector<MenuEntry> entries;
    if (menu == kAudioMenu) {
        for (size_t i = 0; i < tracks_.audio.size(); ++i) {
            const Track& t = tracks_.audio[i];
            entries.push_back(own(marked(t.id == tracks_.audioOn, trackLabel(t, int(i) + 1)),
                                  "audio " + std::to_string(t.id)));
        }
    } else if (menu == kSubtitleMenu) {
        // Translators: the subtitles menu's first entry: no subtitles.
        entries.push_back(own(marked(tracks_.subtitleOn < 0, tr("Off")), "subtitle -1"));
        for (size_t i = 0; i < tracks_.subtitles.size(); ++i) {
            const Track& t = tracks_.subtitles[i];
            entries.push_back(own(marked(t.id == tracks_.subtitleOn, trackLabel(t, int(i) + 1)),
                                  "subtitle " + std::to_string(t.id)));
        }
    } else if (menu == kChapterMenu) {
        // The chapter playing: the last one begun (a little early counts, as a seek lands).
        size_t playing = 0;
        for (size_t i = 0; i < tracks_.chapters.size(); ++i) {
            if (tracks_.chapters[i].start <= at_ + 0.5)
                playing = i;
        }
        for (size_t i = 0; i < tracks_.chapters.size(); ++i) {
            const Chapter& c = tracks_.chapters[i];
            // Translators: a chapter without a title of its own; %d is its number.
            const std::string title = c.title.empty() ? tr("Chapter %d", int(i) + 1) : c.title;
            entries.push_back(own(marked(i == playing, title + " (" + clockTime(c.start) + ")"),
                                  "chapter " + std::to_string(i)));
        }
    }
    return entries;
}

double WhatsOn::chapterStart(size_t chapter) const
{
    return chapter < tracks_.chapters.size() ? tracks_.chapters[chapter].start : -1;
}

std::vector<MenuEntry> startEntries(double seconds)
{
    // Translators: %s is where the clip was left, 12:34 or 1:02:03.
    return {own(tr("Resume from %s", clockTime(seconds)), "resume"),
            own(tr("From the start"), "from-start")};
}
