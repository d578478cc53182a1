#include "mediaMenu.h"

#include "mediaSuffixes.h"
#include "menuText.h"
#include "paths.h"
#include "translate.h"

#include <algorithm>
#include <cctype>
#include <functional>
#include <string_view>
#include <unordered_map>

std::string mainMenuFor(bool audio, bool subtitles, bool chapters)
{
    if (!audio && !subtitles && !chapters)
        return "main";
    return std::string("main-") + (audio ? "a" : "") + (subtitles ? "s" : "") +
           (chapters ? "c" : "");
}

namespace {

Menu mainMenu(bool audio, bool subtitles, bool chapters, const MenuOptions& options)
{
    Menu main{mainMenuFor(audio, subtitles, chapters), "Tamblin", {}, false};
    main.entries.push_back({tr("Pause or resume"), MenuEntry::Command, "pause", {}});
    if (audio)
        main.entries.push_back({tr("Sound track"), MenuEntry::OpenMenu, kAudioMenu, {}});
    if (subtitles)
        main.entries.push_back({tr("Subtitles"), MenuEntry::OpenMenu, kSubtitleMenu, {}});
    if (chapters)
        main.entries.push_back({tr("Chapters"), MenuEntry::OpenMenu, kChapterMenu, {}});
    // Under the menu the picture stands still; showing the display must not set it going.
    // Translators: shows the player's own display of the time and a seek bar.
    main.entries.push_back({tr("On-screen display"), MenuEntry::Command, "pausing_keep osd", {}});
    // Translators: turns the menu's speech on, or off when it is on.
    main.entries.push_back({tr("Speech: on/off"), MenuEntry::Command, "@speech", {}});
    // The core's own: they end the run first, or ask the system while it goes on.
    if (options.powerOff)
        main.entries.push_back({tr("Power off"), MenuEntry::Command, "@power-off", {}});
    if (options.restart)
        main.entries.push_back({tr("Restart"), MenuEntry::Command, "@restart", {}});
    if (options.sleep)
        // Translators: the system's sleep (suspend), asked of logind.
        main.entries.push_back({tr("Sleep"), MenuEntry::Command, "@sleep", {}});
    main.entries.push_back({tr("Quit"), MenuEntry::Command, "quit", {}});
    return main;
}

Menu message(const char* name, const char* title)
{
    return {name, title, {{tr("OK"), MenuEntry::Back, "", {}}}, false};
}

} // namespace

std::string stickMenu(int level)
{
    return "stick-" + std::to_string(level);
}

int stickLevel(const std::string& menu)
{
    for (int level = 1; level <= kStickLevels; ++level) {
        if (menu == stickMenu(level))
            return level;
    }
    return 0;
}

std::vector<MenuEntry> folderEntries(const MediaFolder& folder,
                                     const std::function<std::string(const MediaFolder&)>& open)
{
    std::vector<MenuEntry> entries;
    entries.reserve(folder.folders.size() + folder.clips.size() + 2);
    if (!folder.clips.empty())
        entries.push_back({tr("Play all"), MenuEntry::PlayAll, folder.clips.front(), folder.clips});
    for (const MediaFolder& sub : folder.folders)
        entries.push_back({menuLabel(sub.name), MenuEntry::OpenMenu, open(sub), {sub.path}});
    // Without their suffixes, but for clips that would then look the same. The names are
    // looked at in their paths: copies of them were much of a large tree's menus.
    std::vector<std::string_view> names, bare;
    names.reserve(folder.clips.size());
    bare.reserve(folder.clips.size());
    std::unordered_map<std::string_view, int> shown;
    shown.reserve(folder.clips.size());
    for (const std::string& clip : folder.clips) {
        names.push_back(std::string_view(clip).substr(clip.rfind('/') + 1));
        bare.push_back(withoutMediaSuffix(names.back()));
        ++shown[bare.back()];
    }
    for (size_t i = 0; i < folder.clips.size(); ++i) {
        entries.push_back({menuLabel(std::string(shown[bare[i]] > 1 ? names[i] : bare[i])),
                           MenuEntry::LoadFile,
                           folder.clips[i],
                           {}});
    }
    if (folder.cut)
        entries.push_back({"...", MenuEntry::Nothing, "", {}});
    return entries;
}

std::vector<Menu> buildMenus(const MediaScan& scan, const MenuOptions& options)
{
    std::vector<Menu> menus;
    // The main menu first: the top one. Its mixes for a clip after it.
    for (int mix = 0; mix < 8; ++mix)
        menus.push_back(mainMenu(mix & 1, mix & 2, mix & 4, options));
    // Shown over the menu when a chosen file cannot be played.
    menus.push_back(message(kUnplayableMenu, tr("This file cannot be played")));
    // Translators: the title of a question: a clip chosen again resumes, or starts anew.
    const char* whereToStart = tr("Where to start");
    for (const auto& [name, title] :
         {std::pair{kAudioMenu, tr("Sound track")}, std::pair{kSubtitleMenu, tr("Subtitles")},
          std::pair{kChapterMenu, tr("Chapters")}, std::pair{kStartMenu, whereToStart}})
        menus.push_back({name, title, {}, true});
    if (options.removable) {
        // Translators: the menu of the media folders and the USB sticks plugged in.
        menus.push_back({kPlacesMenu, tr("Media"), {}, true});
        for (int level = 1; level <= kStickLevels; ++level)
            menus.push_back({stickMenu(level), tr("USB stick"), {}, true});
        menus.push_back(message(kRemovedMenu, tr("The USB stick was removed")));
    }
    if (options.powerOff)
        menus.push_back(message(kPowerOffRefusedMenu, tr("Power off was refused")));
    if (options.restart)
        menus.push_back(message(kRestartRefusedMenu, tr("Restart was refused")));
    if (options.sleep)
        menus.push_back(message(kSleepRefusedMenu, tr("Sleep was refused")));

    int made = 0;
    // Adds the folder's menu, and those of its folders, and returns its name.
    std::function<std::string(const MediaFolder&)> add = [&](const MediaFolder& folder) {
        const std::string name = "f" + std::to_string(++made);
        const size_t at = menus.size();
        menus.push_back({name, menuLabel(folder.name), {}, false});
        std::vector<MenuEntry> entries = folderEntries(folder, add);
        menus[at].entries = std::move(entries);
        return name;
    };
    std::string clips;
    if (scan.folders.size() == 1) {
        clips = add(scan.folders.front());
    } else if (scan.folders.size() > 1) {
        clips = "media";
        const size_t at = menus.size();
        menus.push_back({clips, tr("Media"), {}, false});
        std::vector<MenuEntry> entries;
        for (const MediaFolder& folder : scan.folders)
            entries.push_back({menuLabel(folder.name), MenuEntry::OpenMenu, add(folder), {}});
        menus[at].entries = std::move(entries);
    } else if (options.removable) {
        clips = kPlacesMenu;
    }
    if (!clips.empty()) {
        for (int mix = 0; mix < 8; ++mix)
            menus[size_t(mix)].entries.insert(menus[size_t(mix)].entries.begin(),
                                              {tr("Play a clip"), MenuEntry::OpenMenu, clips, {}});
    }
    return menus;
}

std::u32string menuCharacters(const std::vector<Menu>& menus, const std::string& more)
{
    std::vector<bool> seen(0x110000);
    std::u32string characters;
    const auto collect = [&](const std::string& text) {
        // Plain ASCII, as most names are, without decoding.
        bool ascii = true;
        for (char c : text) {
            const unsigned char b = static_cast<unsigned char>(c);
            ascii = ascii && b < 0x80;
            if (b < 0x80 && !seen[b]) {
                seen[b] = true;
                characters += char32_t(b);
            }
        }
        if (ascii)
            return;
        for (char32_t c : codePoints(text)) {
            if (!seen[c]) {
                seen[c] = true;
                characters += c;
            }
        }
    };
    collect(more + utf8(std::u32string(1, kEllipsis)));
    for (const Menu& m : menus) {
        collect(m.title);
        for (const MenuEntry& e : m.entries)
            collect(e.label);
    }
    return characters;
}
