#include "privateFolder.h"

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

std::string privateFolder()
{
    const char* tmp = getenv("TMPDIR");
    std::string base = tmp && *tmp == '/' ? tmp : "/tmp";
    if (base.find_first_not_of(
            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789/._-") !=
        std::string::npos)
        base = "/tmp";
    std::string dir = base + "/tamblin-adapter.XXXXXX";
    return mkdtemp(&dir[0]) ? dir : std::string();
}

void removeFolder(const std::string& dir)
{
    if (DIR* d = opendir(dir.c_str())) {
        while (const dirent* e = readdir(d)) {
            const std::string name = e->d_name, path = dir + "/" + name;
            struct stat st;
            if (name == "." || name == ".." || lstat(path.c_str(), &st) != 0)
                continue;
            if (S_ISDIR(st.st_mode))
                removeFolder(path);
            else
                unlink(path.c_str());
        }
        closedir(d);
    }
    rmdir(dir.c_str());
}

bool listFolder(const std::string& dir, const std::string& names)
{
    removeFolder(dir);
    if (mkdir(dir.c_str(), 0700) != 0)
        return false;
    size_t at = 0;
    while (at < names.size()) {
        size_t end = names.find('\n', at);
        if (end == std::string::npos)
            end = names.size();
        const std::string name = names.substr(at, end - at);
        at = end + 1;
        if (name.empty() || name[0] == '.' || name.find('/') != std::string::npos)
            continue;
        const int fd =
            open((dir + "/" + name).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0)
            return false;
        close(fd);
    }
    return true;
}
