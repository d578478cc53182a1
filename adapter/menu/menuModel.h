#pragma once

#include <string>
#include <vector>

// What choosing a menu entry does, as far as the menu is concerned.
struct MenuEntry
{
    enum Kind { OpenMenu, Command, LoadFile, PlayAll, Back, Nothing };
    std::string label; // as shown
    Kind kind;
    std::string argument;           // the menu to open, the command, or the file to load first
    std::vector<std::string> files; // Play all: the folder's clips, in order; a folder's
                                    // OpenMenu: the folder's path
};

struct Menu
{
    std::string name;
    std::string title;
    std::vector<MenuEntry> entries;
    // Its entries are made while the run goes (a clip's tracks), just before it opens.
    bool listed = false;
};

// The player's on-screen menu as the player keeps it, followed command by command: a stack of
// open menus, each with its own selection, and whether the top one is shown.
class MenuModel
{
  public:
    enum Outcome { Nothing, FileChosen, CommandRun };

    // A menu to open, with the entry to select in it.
    struct Step
    {
        std::string menu;
        int selection;
    };

    MenuModel(std::vector<Menu> menus, const std::string& root, bool shown);

    // Follows one command that the player is about to carry out. FileChosen: the selected
    // entry plays chosenFiles() in turn; the menu stays up until the adapter hides it.
    // CommandRun: the player runs ranCommand() for the selected entry.
    Outcome apply(const std::string& command);

    bool visible() const { return shown_; }
    const std::string& current() const;
    int selection() const;
    // How many entries the menu on top has.
    int entryCount() const;
    size_t depth() const { return stack_.size(); }
    const std::vector<std::string>& chosenFiles() const { return chosen_; }
    const std::string& ranCommand() const { return ran_; }
    const std::vector<Menu>& menus() const { return menus_; }
    // The menu of that name; null when there is none.
    const Menu* menu(const std::string& name) const;
    // Gives a listed menu its entries, as it is about to open.
    void setEntries(const std::string& name, std::vector<MenuEntry> entries);
    // The menu that the command would open (an entry that opens one, or set_menu), else empty.
    std::string opens(const std::string& command) const;

    // The way from the top menu to the clip's entry: each menu to open, with the entry that
    // leads on (and, last, the clip's own entry) selected. Empty when no menu lists the clip.
    std::vector<Step> wayTo(const std::string& clip) const;
    // The menus open now, bottom first, each with its selection.
    std::vector<Step> openMenus() const;
    // The menu commands that show the clip's entry from where the menu is now, selected in the
    // menu that lists it (the top menu when none does), by the shortest way round.
    std::vector<std::string> commandsToShow(const std::string& clip) const;

  private:
    // Menus are held by their place in menus_, so that a copy of the model is whole.
    struct Open
    {
        size_t menu;
        int selection;
    };
    static constexpr size_t kNone = size_t(-1);
    size_t find(const std::string& name) const;
    const Menu& top() const { return menus_[stack_.back().menu]; }
    Outcome setMenu(const std::string& name);
    Outcome menuCommand(const std::string& what);

    std::vector<Menu> menus_;
    std::vector<Open> stack_;
    bool shown_;
    std::vector<std::string> chosen_;
    std::string ran_;
};
