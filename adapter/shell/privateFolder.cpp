#include "privateFolder.h"

#include <cstdlib>
#include <dirent.h>
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
