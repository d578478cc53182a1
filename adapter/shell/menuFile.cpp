#include "menuFile.h"

#include "descriptors.h"
#include "mplayerMenu.h"
#include "uniqueFd.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

bool writeMenuFile(const std::string& path, const std::vector<Menu>& menus)
{
    return writeMenuFile(path, menuDefinition(menus));
}

bool writeMenuFile(const std::string& path, const std::string& definition)
{
    UniqueFd fd(open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    if (!fd.valid())
        return false;
    const bool written = writeAll(fd.get(), definition);
    const int error = errno;
    if (close(fd.release()) != 0 || !written) {
        errno = written ? errno : error;
        return false;
    }
    return true;
}
