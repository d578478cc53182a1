#include "mediaMenu.h"

#include "mediaSuffixes.h"
#include "menuText.h"
#include "paths.h"

#include <algorithm>
#include <cctype>
#include <functional>
#include <map>
#include <set>

std::string mainMenuFor(bool audio, bool subtitles, bool chapters)
{
    if (!audio && !subtitles && !chapters)
        return "main";
    return std::string("main-") + (audio ? "a" : "") + (subtitles ? "s" : "") +
           (chapters ? "c" : "");
}

namespace {

Menu mainMenu(bool audio, bool subtitles, bool chapters)
{
    Menu main{mainMenuFor(audio, subtitles, chapters), "Tamblin", {}, false};
    main.entries.push_back({"Pause or resume", MenuEntry::Command, "pause", {}});
    if (audio)
        main.entries.push_back({"Sound track", MenuEntry::OpenMenu, kAudioMenu, {}});
    if (subtitles)
        main.entries.push_back({"Subtitles", MenuEntry::OpenMenu, kSubtitleMenu, {}});
    if (chapters)
        main.entries.push_back({"Chapters", MenuEntry::OpenMenu, kChapterMenu, {}});
    // Under the menu the picture stands still; showing the display must not set it going.
    main.entries.push_back({"On-screen display", MenuEntry::Command, "pausing_keep osd", {}});
    main.entries.push_back({"Quit", MenuEntry::Command, "quit", {}});
    return main;
}

} // namespace

std::vector<Menu> buildMenus(const MediaScan& scan)
{
    std::vector<Menu> menus;
    // The main menu first: the top one. Its mixes for a clip after it.
    for (int mix = 0; mix < 8; ++mix)
        menus.push_back(mainMenu(mix & 1, mix & 2, mix & 4));
    // Shown over the menu when a chosen file cannot be played.
    menus.push_back(
        {kUnplayableMenu, "This file cannot be played", {{"OK", MenuEntry::Back, "", {}}}, false});
    for (const auto& [name, title] :
         {std::pair{kAudioMenu, "Sound track"}, std::pair{kSubtitleMenu, "Subtitles"},
          std::pair{kChapterMenu, "Chapters"}, std::pair{kStartMenu, "Where to start"}})
        menus.push_back({name, title, {}, true});

    int made = 0;
    // Adds the folder's menu, and those of its folders, and returns its name.
    std::function<std::string(const MediaFolder&)> add = [&](const MediaFolder& folder) {
        const std::string name = "f" + std::to_string(++made);
        const size_t at = menus.size();
        menus.push_back({name, menuLabel(folder.name), {}, false});
        std::vector<MenuEntry> entries;
        if (!folder.clips.empty())
            entries.push_back({"Play all", MenuEntry::PlayAll, folder.clips.front(), folder.clips});
        for (const MediaFolder& sub : folder.folders)
            entries.push_back({menuLabel(sub.name), MenuEntry::OpenMenu, add(sub), {}});
        // Without their suffixes, but for clips that would then look the same.
        std::vector<std::string> bare;
        std::map<std::string, int> shown;
        for (const std::string& clip : folder.clips) {
            bare.push_back(withoutMediaSuffix(baseName(clip)));
            ++shown[bare.back()];
        }
        for (size_t i = 0; i < folder.clips.size(); ++i) {
            const std::string& clip = folder.clips[i];
            entries.push_back({menuLabel(shown[bare[i]] > 1 ? baseName(clip) : bare[i]),
                               MenuEntry::LoadFile,
                               clip,
                               {}});
        }
        if (folder.cut)
            entries.push_back({"...", MenuEntry::Nothing, "", {}});
        menus[at].entries = std::move(entries);
        return name;
    };
    std::string clips;
    if (scan.folders.size() == 1) {
        clips = add(scan.folders.front());
    } else if (scan.folders.size() > 1) {
        clips = "media";
        const size_t at = menus.size();
        menus.push_back({clips, "Media", {}, false});
        std::vector<MenuEntry> entries;
        for (const MediaFolder& folder : scan.folders)
            entries.push_back({menuLabel(folder.name), MenuEntry::OpenMenu, add(folder), {}});
        menus[at].entries = std::move(entries);
    }
    if (!clips.empty()) {
        for (int mix = 0; mix < 8; ++mix)
            menus[size_t(mix)].entries.insert(menus[size_t(mix)].entries.begin(),
                                              {"Play a clip", MenuEntry::OpenMenu, clips, {}});
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
