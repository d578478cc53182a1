#pragma once

#include "menuFont.h"
#include "menuModel.h"
#include "windowArguments.h"

#include <functional>
#include <string>
#include <vector>

// The menu as MPlayer's menu filter draws it: its definition, and the font and size it is
// drawn in.

// An entry's label cut with "…" to the menu's width.
using LabelFit = std::function<std::string(const std::string&)>;

// The font that covers the menu's names, and a size at which the title and about 11 entries
// fill the window's height; every label and title cut with "…" to the window's width. Without
// the window's size, the player's own size and no cuts.
struct MPlayerMenuLook
{
    std::vector<std::string> options; // for the player: -font, -subfont-*
    std::string definition;           // the menus' (menuDefinition()), with labels that fit
    std::string font;                 // the font's family, or empty
    LabelFit fit;                     // for labels made later (listed menus); null: no cuts
    MenuFont chosen;                  // the font itself, and ...
    int size = 0;                     // ... its pixel size; 0 without the window's size
};
// more: characters shown later, in listed menus, that the font must have too. watched: as
// chooseMenuFont() has it.
MPlayerMenuLook mplayerMenuLook(const std::vector<Menu>& menus, WindowSize window,
                                const std::string& more = {},
                                std::vector<std::string>* watched = nullptr);
// The look once more, of menus fitted before in that font at that size: its options and the
// fit of labels made later, which measures nothing until it is first asked. No definition.
MPlayerMenuLook mplayerLookAgain(const MenuFont& font, int size, WindowSize window);

// The menus in the menu filter's definition syntax, labels made safe for it
// (definitionSafe()). Entries that play files carry no command: the adapter knows from its model
// which one was chosen, and hands the player the files itself. A listed menu is a file
// selector: the player lists the folder given as its -menu-chroot, which the adapter fills with
// the menu's entries (listedNames()) just before it opens; choosing a file there does nothing.
std::string menuDefinition(const std::vector<Menu>& menus);

// A listed menu's entries as the names of empty files, one a line, for the folder that the
// player's menu lists (sorted by their bytes, dot files hidden). Each name starts with the
// entry's place, written in base 3 with characters that are drawn with no width (U+200B, U+200C,
// U+200D, in the order of their bytes) and as many digits for each: the byte order is the
// entries' order, no name starts with a dot, and no two are alike. The label follows, with '/'
// shown as '∕', control characters as a box, fitted by `fit`, and cut to the longest name a file
// can have.
std::string listedNames(const std::vector<MenuEntry>& entries, const LabelFit& fit);
