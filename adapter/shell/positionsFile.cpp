#include "positionsFile.h"

#include "descriptors.h"
#include "paths.h"
#include "uniqueFd.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Makes the folder and those above it, for this user alone.
bool makeFolders(const std::string& dir)
{
    if (dir.empty() || dir == "/" || dir == ".")
        return true;
    struct stat st;
    if (stat(dir.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode);
    return makeFolders(folderOf(dir)) && (mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST);
}

bool fail(const std::string& what, std::string* why)
{
    *why = what + ": " + strerror(errno);
    return false;
}

} // namespace

std::string positionsFile(const char* xdgStateHome, const char* home)
{
    if (xdgStateHome && xdgStateHome[0] == '/')
        return std::string(xdgStateHome) + "/tamblin/positions";
    if (home && *home)
        return std::string(home) + "/.local/state/tamblin/positions";
    return {};
}

bool readPositions(const std::string& file, std::string* text, std::string* why)
{
    std::ifstream in(file);
    if (!in)
        return fail(file, why);
    std::ostringstream whole;
    whole << in.rdbuf();
    *text = whole.str();
    return true;
}

bool writePositions(const std::string& file, const std::string& text, std::string* why)
{
    if (!makeFolders(folderOf(file)))
        return fail(folderOf(file), why);
    const std::string temporary = file + ".tmp" + std::to_string(getpid());
    UniqueFd fd(open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    if (!fd.valid())
        return fail(temporary, why);
    const bool written = writeAll(fd.get(), text) && fsync(fd.get()) == 0;
    const int error = errno;
    fd.reset();
    if (!written || rename(temporary.c_str(), file.c_str()) != 0) {
        errno = written ? errno : error;
        fail(file, why);
        unlink(temporary.c_str());
        return false;
    }
    return true;
}
