#pragma once

#include "menuModel.h"

#include <string>
#include <vector>

// The menu the adapter gives the player: static lists only, so that the effect of every entry
// on the menu is known.

// TAMBLIN_MEDIA split at ":", or the user's videos folder and the application folder.
std::vector<std::string> mediaDirectories(const char* tamblinMedia, const std::string& appDir);

// True when the path can go into a menu entry and a player command whole: inside the menu
// file's double-quoted attribute, inside the command's single quotes, with no ";" that would
// split the command.
bool quotable(const std::string& path);

// The media files in those folders, by name, each once; paths that are not quotable are left
// out.
std::vector<std::string> findMedia(const std::vector<std::string>& directories);

// A main menu (play a clip, pause or resume, on-screen display, quit) and the list of clips.
std::vector<Menu> buildMenus(const std::vector<std::string>& files);

// The menus in the player's menu definition syntax.
std::string menuDefinition(const std::vector<Menu>& menus);
