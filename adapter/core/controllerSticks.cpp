// The controller's part in the sticks plugged in and taken out, and in the ways to power off,
// restart and sleep.
#include "controller.h"

#include "mediaMenu.h"
#include "slaveCommand.h"

#include <algorithm>

namespace {

bool sameEntries(const std::vector<MenuEntry>& a, const std::vector<MenuEntry>& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) {
        return x.label == y.label && x.kind == y.kind && x.argument == y.argument &&
               x.files == y.files;
    });
}

bool isPlaces(const std::string& menu)
{
    return menu == kPlacesMenu || stickLevel(menu) > 0;
}

// The entry selected in an open menu, or null.
const MenuEntry* selected(const MenuModel& model, const MenuModel::Step& step)
{
    const Menu* menu = model.menu(step.menu);
    if (!menu || step.selection < 0 || size_t(step.selection) >= menu->entries.size())
        return nullptr;
    return &menu->entries[size_t(step.selection)];
}

} // namespace

std::string Controller::placesShaped(const std::string& text) const
{
    const SlaveCommand c = parseSlaveCommand(text);
    if (c.verb != "menu" || c.argument != "ok" || !model_.visible())
        return text;
    const Menu* top = model_.menu(model_.current());
    const MenuEntry* entry = selected(model_, {model_.current(), model_.selection()});
    if (!top || !entry || entry->kind != MenuEntry::OpenMenu || entry->argument.empty())
        return text;
    // A file selector does nothing itself when an entry is chosen: the menu is opened for it.
    if (top->listed)
        return "set_menu " + entry->argument;
    if (entry->argument == clipsMenu_ && removables_.any())
        return std::string("set_menu ") + kPlacesMenu;
    return text;
}

std::vector<MenuEntry> Controller::placesEntries(const std::string& menu) const
{
    if (menu == kPlacesMenu)
        return removables_.places();
    // A stick's folder is the one that the entry chosen below it leads to.
    const MenuEntry* from = selected(model_, {model_.current(), model_.selection()});
    if (!from || from->files.empty())
        return {};
    return removables_.folder(from->files.front(), stickLevel(menu));
}

void Controller::mountsChanged(const std::vector<Mount>& mounts, long long now)
{
    const std::string playingOn = removables_.holding(flow_.clip());
    const Removables::Change change = removables_.mounts(mounts);
    for (const std::string& m : change.added)
        out_.file(Action::ScanStick, m, "");
    for (const std::string& m : change.removed) {
        out_.file(Action::ForgetStick, m, "");
        const std::string within = m + "/";
        for (auto it = sidecars_.begin(); it != sidecars_.end();)
            it = it->first.compare(0, within.size(), within) == 0 ? sidecars_.erase(it) : ++it;
        if (m == playingOn)
            stickPulled(now);
    }
    if (!change.added.empty() || !change.removed.empty())
        refreshPlaces(now);
    takeEvents();
}

void Controller::stickRead(const std::string& mountPoint, const MediaScan& scan, long long now)
{
    if (removables_.read(mountPoint, scan)) {
        for (const auto& [clip, files] : scan.subtitles)
            sidecars_[clip] = files;
        refreshPlaces(now);
    }
    takeEvents();
}

std::vector<MenuEntry> Controller::placesAt(size_t level) const
{
    const std::vector<MenuModel::Step> open = model_.openMenus();
    if (level == 0 || level >= open.size())
        return {};
    if (open[level].menu == kPlacesMenu)
        return removables_.places();
    const MenuEntry* from = selected(model_, open[level - 1]);
    if (!from || from->files.empty())
        return {};
    return removables_.folder(from->files.front(), stickLevel(open[level].menu));
}

void Controller::refreshPlaces(long long now)
{
    const std::vector<MenuModel::Step> open = model_.openMenus();
    for (size_t i = 1; i < open.size(); ++i) {
        const std::string& name = open[i].menu;
        if (!isPlaces(name))
            continue;
        const std::vector<MenuEntry> fresh = placesAt(i);
        const Menu* menu = model_.menu(name);
        if (!menu || !sameEntries(menu->entries, fresh) || fresh.empty())
            stale_.insert(name);
    }
    reopenStale(now);
}

void Controller::reopenStale(long long now)
{
    if (!model_.visible() || !stale_.erase(model_.current()))
        return;
    reopenTop(now);
}

void Controller::reopenTop(long long now)
{
    const std::string name = model_.current();
    const Menu* menu = model_.menu(name);
    const int at = model_.selection();
    const std::string label =
        menu && at >= 0 && size_t(at) < menu->entries.size() ? menu->entries[size_t(at)].label : "";
    // A stick's folder that has gone is left for the menu below it; else the menu is opened
    // again at once, with nothing of the one below drawn between.
    const std::vector<MenuEntry> fresh = placesAt(model_.depth() - 1);
    reopening_ = !fresh.empty();
    command("menu cancel", now);
    if (fresh.empty()) {
        reopenStale(now);
        return;
    }
    command("set_menu " + name, now);
    int move = std::min(at, int(fresh.size()) - 1);
    for (size_t i = 0; i < fresh.size(); ++i) {
        if (fresh[i].label == label)
            move = int(i);
    }
    for (; move > 0; --move)
        command("menu down", now);
}

void Controller::stickPulled(long long now)
{
    const std::vector<PlayItem> back = flow_.pulled();
    if (back.empty())
        return;
    // Where it was is kept, as the player still knows it, before the start menu comes back.
    leaveClip(now);
    toDriver([this, back](long long t) { driver_.play(back, true, t); }, now);
}

void Controller::powerCommand(const std::string& verb, long long now)
{
    if (verb == "sleep") {
        // The run goes on as it is: the menu, and the clip held still under it.
        out_.add(Action::AskLogind, "Suspend");
        return;
    }
    if (sessionEnd_.empty())
        return;
    // The session asks the system once the run has ended in its orderly way.
    out_.file(Action::WriteFile, sessionEnd_, verb + "\n");
    command("quit", now);
}

void Controller::sleepAnswered(bool done, long long now)
{
    if (!done && !quitting_)
        command(std::string("set_menu ") + kSleepRefusedMenu, now);
    takeEvents();
}
