#pragma once

#include "mediaTree.h"
#include "menuModel.h"

#include <string>
#include <vector>

// The menu the adapter gives the player: static lists only, so that the effect of every entry
// on the menu is known.

// A main menu (play a clip, pause or resume, on-screen display, quit) and a menu for each
// folder: "Play all" when it holds clips, its folders, its clips, and "..." when cut. With one
// media folder, "Play a clip" opens it; with more, a menu of them. Names are shown as
// menuLabel() shows them, clips without their media suffix. One more menu says that a chosen
// file cannot be played.
std::vector<Menu> buildMenus(const MediaScan& scan);

constexpr char kUnplayableMenu[] = "unplayable";

// What plays now, made into menus as it starts (Menu::listed): its sound tracks, its
// subtitles, its chapters, and where to start a clip that was left partway.
constexpr char kAudioMenu[] = "audio";
constexpr char kSubtitleMenu[] = "subtitles";
constexpr char kChapterMenu[] = "chapters";
constexpr char kStartMenu[] = "start";

// The main menu over a clip, with a way to its sound tracks, subtitles and chapters where it
// has them: each mix is a menu of its own, so that a player whose menus are fixed when it
// starts has them all ("main" has none of them).
std::string mainMenuFor(bool audio, bool subtitles, bool chapters);

// Each character the menus show, once, with those of `more` and the ellipsis: what their font
// must have.
std::u32string menuCharacters(const std::vector<Menu>& menus, const std::string& more);
