#include "mediaFolders.h"

#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
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

FolderListing readFolder(const std::string& path)
{
    FolderListing listing;
    // Opened first, then asked what it is: the path is looked up once, not for a stat and
    // again for the opening. The flags are opendir()'s own.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return listing;
    struct stat st;
    DIR* dir = fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) ? fdopendir(fd) : nullptr;
    if (!dir) {
        close(fd);
        return listing;
    }
    listing.isFolder = true;
    listing.id = {st.st_dev, st.st_ino};
    listing.mtimeNs = (long long)st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec;
    // Entries looked at from the open folder: no lookup of the whole path again for each of
    // them, which was most of a large tree's scan.
    const int at = dirfd(dir);
    while (const dirent* e = readdir(dir)) {
        FolderEntry entry;
        entry.name = e->d_name;
        if (entry.name == "." || entry.name == "..")
            continue;
        entry.isFolder = e->d_type == DT_DIR;
        bool isFile = e->d_type == DT_REG;
        entry.id = {st.st_dev, e->d_ino};
        if (e->d_type == DT_LNK || e->d_type == DT_UNKNOWN) {
            struct stat target;
            if (fstatat(at, e->d_name, &target, 0) != 0)
                continue;
            entry.isFolder = S_ISDIR(target.st_mode);
            isFile = S_ISREG(target.st_mode);
            entry.id = {target.st_dev, target.st_ino};
        }
        // Not asked whether it can be read: that was a lookup of each name, a third of a large
        // tree's scan. A clip that cannot be read is reported unplayable when chosen.
        entry.isFile = isFile;
        listing.entries.push_back(std::move(entry));
    }
    closedir(dir);
    return listing;
}

std::vector<std::string> absoluteFolders(const std::vector<std::string>& directories)
{
    std::vector<std::string> absolute;
    for (const std::string& d : directories)
        absolute.push_back(absoluteFolder(d));
    return absolute;
}

MediaScan scanMediaFolders(const std::vector<std::string>& directories)
{
    return scanMedia(absoluteFolders(directories), readFolder);
}
