// The controller's part in what the viewer chooses of a clip: its main menu, the menus of its
// tracks and chapters, and where a clip left partway starts.
#include "controller.h"

#include "mediaMenu.h"
#include "slaveCommand.h"

#include <cstdlib>

std::string Controller::shaped(const std::string& line, long long now)
{
    std::string text = placesShaped(line);
    const SlaveCommand c = parseSlaveCommand(text);
    if (c.verb == "set_menu" && c.argument == "main" && !flow_.clip().empty()) {
        text = "set_menu " + whatsOn_.mainMenu();
        // The clip stands still under the menu: where it stands marks its chapter.
        if (whatsOn_.hasChapters() && leaving_.empty())
            driver_.askPosition(now);
    }
    const std::string opening = model_.opens(text);
    const Menu* menu = opening.empty() ? nullptr : model_.menu(opening);
    if (menu && menu->listed) {
        if (opening == kStartMenu)
            model_.setEntries(opening, startEntries(store_.startAt(asking_)));
        else if (opening == kPlacesMenu || stickLevel(opening) > 0)
            model_.setEntries(opening, placesEntries(opening));
        else
            model_.setEntries(opening, whatsOn_.entries(opening));
        const Menu filled = *model_.menu(opening);
        toDriver([this, filled](long long t) { driver_.listMenu(filled, t); }, now);
    }
    return text;
}

bool Controller::asksWhereToStart(const std::vector<std::string>& chosen) const
{
    // Play all resumes without asking, as a clip of a folder of one would.
    const Menu* top = model_.menu(model_.current());
    const int at = model_.selection();
    return chosen.size() == 1 && top && at >= 0 && size_t(at) < top->entries.size() &&
           top->entries[size_t(at)].kind == MenuEntry::LoadFile &&
           store_.startAt(chosen.front()) > 0;
}

void Controller::play(const std::vector<std::string>& files, long long now)
{
    std::vector<PlayItem> items = flow_.chosen(files);
    for (PlayItem& item : items) {
        const auto beside = sidecars_.find(item.path);
        if (beside != sidecars_.end())
            item.subtitles = beside->second;
    }
    toDriver([this, items](long long t) { driver_.play(items, true, t); }, now);
}

void Controller::ownCommand(const std::string& line, long long now)
{
    const SlaveCommand c = parseSlaveCommand(line);
    if (c.verb == "resume" || c.verb == "from-start") {
        const std::string clip = std::exchange(asking_, {});
        if (clip.empty())
            return;
        if (c.verb == "from-start" && store_.forgetPosition(clip))
            save();
        leaveClip(now);
        play({clip}, now);
        return;
    }
    if (c.verb == "speech") {
        speech_.toggle(model_);
        return;
    }
    if (c.verb == "power-off" || c.verb == "restart" || c.verb == "sleep") {
        powerCommand(c.verb, now);
        return;
    }
    // The rest closes the menu to the picture, as choosing a clip does, and then acts on it.
    command("menu hide", now);
    const int number = atoi(c.argument.c_str());
    TrackChoice choice;
    if (c.verb == "audio")
        choice.audio = number;
    else if (c.verb == "subtitle")
        choice.subtitle = number < 0 ? TrackChoice::kOff : number;
    if (c.verb == "chapter" && whatsOn_.chapterStart(size_t(number)) >= 0) {
        const double start = whatsOn_.chapterStart(size_t(number));
        toDriver([this, start](long long t) { driver_.seekTo(start, t); }, now);
        return;
    }
    if (choice.audio == TrackChoice::kKeep && choice.subtitle == TrackChoice::kKeep)
        return;
    toDriver([this, choice](long long t) { driver_.selectTracks(choice, t); }, now);
    if (!flow_.clip().empty() && store_.chose(flow_.clip(), whatsOn_.chose(choice)))
        save();
}

void Controller::tracksKnown(const ClipTracks& tracks, long long now)
{
    // The start menu's background has nothing to choose.
    if (flow_.clip().empty())
        return;
    const TrackChoice ask = whatsOn_.known(tracks, store_.tracksFor(flow_.clip()));
    if (ask.audio != TrackChoice::kKeep || ask.subtitle != TrackChoice::kKeep)
        toDriver([this, ask](long long t) { driver_.selectTracks(ask, t); }, now);
}
