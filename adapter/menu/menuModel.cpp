#include "menuModel.h"

#include "slaveCommand.h"

#include <algorithm>

MenuModel::MenuModel(std::vector<Menu> menus, const std::string& root, bool shown)
    : menus_(std::move(menus)), shown_(shown)
{
    // Without the root, the first menu is the top; without any, an empty one.
    if (menus_.empty())
        menus_.push_back({root, root, {}});
    const size_t top = find(root);
    stack_.push_back({top == kNone ? 0 : top, 0});
}

const std::string& MenuModel::current() const
{
    return top().name;
}

int MenuModel::selection() const
{
    return stack_.back().selection;
}

int MenuModel::entryCount() const
{
    return int(top().entries.size());
}

const Menu* MenuModel::menu(const std::string& name) const
{
    const size_t at = find(name);
    return at == kNone ? nullptr : &menus_[at];
}

void MenuModel::setEntries(const std::string& name, std::vector<MenuEntry> entries)
{
    const size_t at = find(name);
    if (at == kNone)
        return;
    // Also when an earlier opening of it lies below in the stack, hidden under a choice that
    // closed the menu: the player's own copy there keeps its old entries, as many as these
    // for the same clip, and the screen shows only the new one.
    menus_[at].entries = std::move(entries);
}

std::string MenuModel::opens(const std::string& line) const
{
    const SlaveCommand c = parseSlaveCommand(line);
    if (c.verb == "set_menu")
        return find(c.argument) == kNone ? std::string() : c.argument;
    if (c.verb != "menu" || c.argument != "ok" || !shown_ || entryCount() == 0)
        return {};
    const MenuEntry& entry = top().entries[size_t(selection())];
    return entry.kind == MenuEntry::OpenMenu ? entry.argument : std::string();
}

size_t MenuModel::find(const std::string& name) const
{
    for (size_t i = 0; i < menus_.size(); ++i) {
        if (menus_[i].name == name)
            return i;
    }
    return kNone;
}

MenuModel::Outcome MenuModel::apply(const std::string& line)
{
    // Prefixes change how a command treats a pause, not what it does to the menu.
    const SlaveCommand c = parseSlaveCommand(line);
    if (c.verb == "menu")
        return menuCommand(c.argument);
    if (c.verb == "set_menu")
        return setMenu(c.argument);
    return Nothing;
}

// Opens a menu over the current one and shows it; the player turns the one below back on, so
// going back from the new menu shows it again. An unknown name only hides the menu.
MenuModel::Outcome MenuModel::setMenu(const std::string& name)
{
    const size_t menu = find(name);
    if (menu == kNone) {
        shown_ = false;
        return Nothing;
    }
    stack_.push_back({menu, 0});
    shown_ = true;
    return Nothing;
}

MenuModel::Outcome MenuModel::menuCommand(const std::string& what)
{
    // While hidden, any menu command but "hide" only shows the menu.
    if (!shown_) {
        if (what != "hide")
            shown_ = true;
        return Nothing;
    }
    int& selection = stack_.back().selection;
    const int count = entryCount();
    if (what == "up") {
        if (count > 0)
            selection = (selection + count - 1) % count;
    } else if (what == "down") {
        if (count > 0)
            selection = (selection + 1) % count;
    } else if (what == "hide") {
        shown_ = false;
    } else if (what == "cancel") {
        if (stack_.size() > 1) {
            stack_.pop_back();
            shown_ = true;
        } else {
            shown_ = false;
        }
    } else if (what == "ok") {
        if (count == 0)
            return Nothing;
        const MenuEntry& entry = top().entries[size_t(selection)];
        switch (entry.kind) {
        case MenuEntry::OpenMenu:
            return setMenu(entry.argument);
        case MenuEntry::Command:
            ran_ = entry.argument;
            return CommandRun;
        case MenuEntry::LoadFile:
            chosen_ = {entry.argument};
            return FileChosen;
        case MenuEntry::PlayAll:
            chosen_ = entry.files;
            return FileChosen;
        case MenuEntry::Back:
            return menuCommand("cancel");
        case MenuEntry::Nothing:
            return Nothing;
        }
    }
    return Nothing;
}

std::vector<MenuModel::Step> MenuModel::wayTo(const std::string& clip) const
{
    // Breadth first from the top menu, so that the shortest way wins.
    struct Reached
    {
        size_t menu;
        std::vector<Step> way;
    };
    std::vector<Reached> queue{{stack_.front().menu, {}}};
    std::vector<size_t> seen;
    for (size_t i = 0; i < queue.size(); ++i) {
        const Reached here = queue[i];
        if (here.menu == kNone || std::find(seen.begin(), seen.end(), here.menu) != seen.end())
            continue;
        seen.push_back(here.menu);
        const Menu& menu = menus_[here.menu];
        for (size_t e = 0; e < menu.entries.size(); ++e) {
            const MenuEntry& entry = menu.entries[e];
            std::vector<Step> way = here.way;
            way.push_back({menu.name, int(e)});
            if (entry.kind == MenuEntry::LoadFile && entry.argument == clip)
                return way;
            if (entry.kind == MenuEntry::OpenMenu)
                queue.push_back({find(entry.argument), way});
        }
    }
    return {};
}

std::vector<MenuModel::Step> MenuModel::openMenus() const
{
    std::vector<Step> open;
    for (const Open& o : stack_)
        open.push_back({menus_[o.menu].name, o.selection});
    return open;
}

std::vector<std::string> MenuModel::commandsToShow(const std::string& clip) const
{
    std::vector<Step> way = wayTo(clip);
    if (way.empty())
        way.push_back({openMenus().front().menu, 0});
    // A copy follows the commands as they are made, as the player's menu will.
    MenuModel m = *this;
    std::vector<std::string> commands;
    const auto issue = [&](const std::string& command) {
        commands.push_back(command);
        m.apply(command);
    };
    // Any menu command shows a hidden menu without doing anything more.
    if (!m.visible())
        issue("menu up");
    const std::vector<Step> open = m.openMenus();
    size_t common = 1;
    while (common < open.size() && common < way.size() && open[common].menu == way[common].menu)
        ++common;
    for (size_t i = open.size(); i > common; --i)
        issue("menu cancel");
    for (size_t level = common - 1; level < way.size(); ++level) {
        if (level >= common)
            issue("set_menu " + way[level].menu);
        const int count = m.entryCount();
        int move = way[level].selection - m.selection();
        if (count > 0 && move > count / 2)
            move -= count;
        if (count > 0 && move < -count / 2)
            move += count;
        for (; move > 0; --move)
            issue("menu down");
        for (; move < 0; ++move)
            issue("menu up");
    }
    return commands;
}
