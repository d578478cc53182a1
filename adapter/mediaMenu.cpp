#include "mediaMenu.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char* const kMediaSuffixes[] = {"avi",  "mp4", "m4v", "mkv",  "webm", "mov", "mpg",
                                      "mpeg", "ogv", "ogg", "flv",  "wmv",  "3gp", "ts",
                                      "vob",  "mp3", "wav", "flac", "oga",  "opus"};

std::string baseName(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool isMedia(const std::string& name)
{
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0)
        return false;
    std::string suffix = name.substr(dot + 1);
    std::transform(suffix.begin(), suffix.end(), suffix.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    for (const char* s : kMediaSuffixes) {
        if (suffix == s)
            return true;
    }
    return false;
}

// The folder as an absolute path without a trailing slash.
std::string absoluteFolder(std::string dir)
{
    if (!dir.empty() && dir[0] != '/') {
        char cwd[PATH_MAX];
        if (getcwd(cwd, sizeof cwd))
            dir = std::string(cwd) + "/" + dir;
    }
    while (dir.size() > 1 && dir.back() == '/')
        dir.pop_back();
    return dir;
}

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

bool quotable(const std::string& path)
{
    if (path.empty())
        return false;
    for (unsigned char c : path) {
        if (c < 0x20 || c == 0x7f)
            return false;
        switch (c) {
        case '"':
        case '\'':
        case '\\':
        case ';':
        case '<':
        case '>':
        case '&':
            return false;
        default:
            break;
        }
    }
    return true;
}

std::vector<std::string> findMedia(const std::vector<std::string>& directories)
{
    std::vector<std::string> files;
    std::set<std::string> seen;
    for (const std::string& given : directories) {
        const std::string dir = absoluteFolder(given);
        DIR* d = opendir(dir.c_str());
        if (!d)
            continue;
        std::vector<std::string> names;
        while (const dirent* e = readdir(d)) {
            if (e->d_name[0] != '.' && isMedia(e->d_name))
                names.push_back(e->d_name);
        }
        closedir(d);
        std::sort(names.begin(), names.end());
        for (const std::string& name : names) {
            const std::string path = (dir == "/" ? dir : dir + "/") + name;
            struct stat st;
            char canonical[PATH_MAX];
            if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
                access(path.c_str(), R_OK) != 0 || !realpath(path.c_str(), canonical))
                continue;
            if (!quotable(path) || !seen.insert(canonical).second)
                continue;
            files.push_back(path);
        }
    }
    return files;
}

std::vector<Menu> buildMenus(const std::vector<std::string>& files)
{
    Menu main{"main", "Tamblin", {}};
    if (!files.empty())
        main.entries.push_back({"Play a clip", MenuEntry::OpenMenu, "clips"});
    main.entries.push_back({"Pause or resume", MenuEntry::Command, "pause"});
    // Under the menu the picture stands still; showing the display must not set it going.
    main.entries.push_back({"On-screen display", MenuEntry::Command, "pausing_keep osd"});
    main.entries.push_back({"Quit", MenuEntry::Command, "quit"});

    Menu clips{"clips", "Clips", {}};
    for (const std::string& file : files)
        clips.entries.push_back({baseName(file), MenuEntry::LoadFile, file});

    std::vector<Menu> menus{main};
    if (!files.empty())
        menus.push_back(clips);
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
                ok = "loadfile '" + e.argument + "'";
                break;
            }
            text += "  <e name=\"" + e.label + "\" ok=\"" + ok + "\"/>\n";
        }
        text += "</cmdlist>\n";
    }
    return text;
}
