#pragma once

#include "menuModel.h"
#include "windowArguments.h"

#include <string>
#include <vector>

// The menu as MPlayer's menu filter draws it: its definition, and the font and size it is
// drawn in.

// The font that covers the menu's names, and a size at which the title and about 11 entries
// fill the window's height; every label and title cut with "…" to the window's width. Without
// the window's size, the player's own size and no cuts.
struct MPlayerMenuLook
{
    std::vector<std::string> options; // for the player: -font, -subfont-*
    std::vector<Menu> menus;          // with labels that fit
    std::string font;                 // the font's family, or empty
};
MPlayerMenuLook mplayerMenuLook(std::vector<Menu> menus, WindowSize window);

// The menus in the menu filter's definition syntax, labels made safe for it
// (definitionSafe()). Entries that play files carry no command: the adapter knows from its model
// which one was chosen, and hands the player the files itself.
std::string menuDefinition(const std::vector<Menu>& menus);
