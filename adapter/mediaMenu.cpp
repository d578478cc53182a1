#include "mediaMenu.h"

#include "descriptors.h"
#include "paths.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The user's videos folder, as the XDG user directories name it, else ~/Videos.
std::string videosFolder()
{
    const char* home = getenv("HOME");
    if (!home || !*home)
        return {};
    const char* config = getenv("XDG_CONFIG_HOME");
    const std::string dirs =
        (config && *config ? std::string(config) : std::string(home) + "/.config") +
        "/user-dirs.dirs";
    std::ifstream in(dirs);
    std::string line;
    const std::string key = "XDG_VIDEOS_DIR=\"";
    while (std::getline(in, line)) {
        if (line.compare(0, key.size(), key) != 0 || line.back() != '"')
            continue;
        std::string value = line.substr(key.size(), line.size() - key.size() - 1);
        if (value.compare(0, 5, "$HOME") == 0)
            value = home + value.substr(5);
        if (!value.empty() && value[0] == '/')
            return value;
    }
    return std::string(home) + "/Videos";
}

} // namespace

std::vector<std::string> mediaDirectories(const char* tamblinMedia, const std::string& appDir)
{
    std::vector<std::string> dirs;
    if (tamblinMedia) {
        const std::string list(tamblinMedia);
        size_t start = 0;
        for (;;) {
            const size_t colon = list.find(':', start);
            const std::string part = list.substr(start, colon - start);
            if (!part.empty())
                dirs.push_back(part);
            if (colon == std::string::npos)
                break;
            start = colon + 1;
        }
        return dirs;
    }
    const std::string videos = videosFolder();
    if (!videos.empty())
        dirs.push_back(videos);
    if (!appDir.empty())
        dirs.push_back(appDir);
    return dirs;
}

std::vector<Menu> buildMenus(const MediaScan& scan)
{
    std::vector<Menu> menus;
    Menu main{"main", "Tamblin", {}};
    main.entries.push_back({"Pause or resume", MenuEntry::Command, "pause", {}});
    // Under the menu the picture stands still; showing the display must not set it going.
    main.entries.push_back({"On-screen display", MenuEntry::Command, "pausing_keep osd", {}});
    main.entries.push_back({"Quit", MenuEntry::Command, "quit", {}});
    menus.push_back(main);

    int made = 0;
    // Adds the folder's menu, and those of its folders, and returns its name.
    std::function<std::string(const MediaFolder&)> add = [&](const MediaFolder& folder) {
        const std::string name = "f" + std::to_string(++made);
        const size_t at = menus.size();
        menus.push_back({name, folder.name, {}});
        std::vector<MenuEntry> entries;
        if (!folder.clips.empty())
            entries.push_back({"Play all", MenuEntry::PlayAll, folder.clips.front(), folder.clips});
        for (const MediaFolder& sub : folder.folders)
            entries.push_back({sub.name, MenuEntry::OpenMenu, add(sub), {}});
        for (const std::string& clip : folder.clips)
            entries.push_back({baseName(clip), MenuEntry::LoadFile, clip, {}});
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
        menus.push_back({clips, "Media", {}});
        std::vector<MenuEntry> entries;
        for (const MediaFolder& folder : scan.folders)
            entries.push_back({folder.name, MenuEntry::OpenMenu, add(folder), {}});
        menus[at].entries = std::move(entries);
    }
    if (!clips.empty())
        menus.front().entries.insert(menus.front().entries.begin(),
                                     {"Play a clip", MenuEntry::OpenMenu, clips, {}});
    return menus;
}

std::string menuDefinition(const std::vector<Menu>& menus)
{
    std::string text;
    for (const Menu& menu : menus) {
        text += "<cmdlist name=\"" + menu.name + "\" title=\"" + menu.title + "\" ptr=\"> \">\n";
        for (const MenuEntry& e : menu.entries) {
            std::string ok;
            switch (e.kind) {
            case MenuEntry::OpenMenu:
                ok = "set_menu " + e.argument;
                break;
            case MenuEntry::Command:
                ok = e.argument;
                break;
            case MenuEntry::LoadFile:
            case MenuEntry::PlayAll:
                // The adapter knows from its menu model which entry was chosen, and hands the
                // player the files itself.
            case MenuEntry::Nothing:
                break;
            }
            text += "  <e name=\"" + e.label + "\" ok=\"" + ok + "\"/>\n";
        }
        text += "</cmdlist>\n";
    }
    return text;
}

bool writeMenuFile(const std::string& path, const std::vector<Menu>& menus)
{
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    const bool written = writeAll(fd, menuDefinition(menus));
    const int error = errno;
    if (close(fd) != 0 || !written) {
        errno = written ? errno : error;
        return false;
    }
    return true;
}
