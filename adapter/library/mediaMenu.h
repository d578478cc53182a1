#pragma once

#include "mediaTree.h"
#include "menuModel.h"

#include <functional>
#include <string>
#include <vector>

// The menu the adapter gives the player: static lists only, so that the effect of every entry
// on the menu is known.

// A main menu (play a clip, pause or resume, on-screen display, speech on or off, quit) and a
// menu for each folder: "Play all" when it holds clips, its folders, its clips, and "..." when
// cut. With one media folder, "Play a clip" opens it; with more, a menu of them. Names are shown as
// menuLabel() shows them, clips without their media suffix. One more menu says that a chosen
// file cannot be played.
//
// With removable media watched, "Play a clip" is there even without a media folder, and the
// menus of the media and of the sticks plugged in are listed menus (placesMenu(), the stick
// menus). With a way to power, the entries for it come before Quit.
struct MenuOptions
{
    bool removable = false;
    bool powerOff = false, restart = false, sleep = false;
};
std::vector<Menu> buildMenus(const MediaScan& scan, const MenuOptions& options = {});

constexpr char kUnplayableMenu[] = "unplayable";

// The media folders and the sticks plugged in, as "Play a clip" lists them while there are
// sticks (or no media folder). A stick's folders are listed menus too, one a level, all titled
// "USB stick": the player's menu titles are fixed when it starts.
constexpr char kPlacesMenu[] = "places";
constexpr int kStickLevels = kMaxDepth + 1;
std::string stickMenu(int level); // 1 for a stick's own menu
// Its level, or 0 when the name is not a stick's menu.
int stickLevel(const std::string& menu);
// The menu that says that a stick was pulled out while one of its clips played.
constexpr char kRemovedMenu[] = "removed";
// The messages of a refused power off, restart or sleep.
constexpr char kPowerOffRefusedMenu[] = "power-off-refused";
constexpr char kRestartRefusedMenu[] = "restart-refused";
constexpr char kSleepRefusedMenu[] = "sleep-refused";

// The entries of a folder's menu: "Play all" when it holds clips, its folders (each opening the
// menu that `open` names for it, with the folder's path as the entry's one file), its clips, and
// "..." when cut.
std::vector<MenuEntry> folderEntries(const MediaFolder& folder,
                                     const std::function<std::string(const MediaFolder&)>& open);

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
