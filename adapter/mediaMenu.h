#pragma once

#include "mediaTree.h"
#include "menuModel.h"

#include <string>
#include <vector>

// The menu the adapter gives the player: static lists only, so that the effect of every entry
// on the menu is known.

// TAMBLIN_MEDIA split at ":", or the user's videos folder and the application folder.
std::vector<std::string> mediaDirectories(const char* tamblinMedia, const std::string& appDir);

// A main menu (play a clip, pause or resume, on-screen display, quit) and a menu for each
// folder: "Play all" when it holds clips, its folders, its clips, and "..." when cut. With one
// media folder, "Play a clip" opens it; with more, a menu of them.
std::vector<Menu> buildMenus(const MediaScan& scan);

// The menus in the player's menu definition syntax.
std::string menuDefinition(const std::vector<Menu>& menus);

// Writes the definition to a new file; false, with errno set, unless all of it was written.
bool writeMenuFile(const std::string& path, const std::vector<Menu>& menus);
