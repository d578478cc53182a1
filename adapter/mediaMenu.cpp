#include "mediaMenu.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <set>

namespace {

const char* const kMediaSuffixes[] = {"avi",  "mp4", "m4v", "mkv",  "webm", "mov", "mpg",
                                      "mpeg", "ogv", "ogg", "flv",  "wmv",  "3gp", "ts",
                                      "vob",  "mp3", "wav", "flac", "oga",  "opus"};

std::string baseName(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

std::vector<std::string> mediaDirectories(const char* tamblinMedia, const std::string& appDir)
{
    std::vector<std::string> dirs;
    if (tamblinMedia) {
        const QStringList parts = QString::fromLocal8Bit(tamblinMedia).split(QLatin1Char(':'));
        for (const QString& part : parts) {
            if (!part.isEmpty())
                dirs.push_back(part.toLocal8Bit().toStdString());
        }
        return dirs;
    }
    const QString videos = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    if (!videos.isEmpty())
        dirs.push_back(videos.toLocal8Bit().toStdString());
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
    QStringList filters;
    for (const char* suffix : kMediaSuffixes)
        filters << QStringLiteral("*.") + QLatin1String(suffix);

    std::vector<std::string> files;
    std::set<std::string> seen;
    for (const std::string& dir : directories) {
        QDir d(QString::fromLocal8Bit(dir.c_str()));
        d.setNameFilters(filters);
        d.setFilter(QDir::Files | QDir::Readable);
        d.setSorting(QDir::Name);
        for (const QFileInfo& info : d.entryInfoList()) {
            const std::string path = info.absoluteFilePath().toLocal8Bit().toStdString();
            const std::string canonical = info.canonicalFilePath().toLocal8Bit().toStdString();
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
