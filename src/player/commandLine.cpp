#include "player/commandLine.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

const char kDeviceApplicationDirectory[] = "/mmc/mmca1/.system/QTDownLoad/tamblin/";
const char kDeviceFifoPath[] = "/ezxlocal/.mplayer/pipe";

namespace {

const char kBackground[] = "background.avi";
const char kStartMenu[] = "-menu-startup ";

bool plainShellByte(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
           strchr("_./:,+@%=-", c) != nullptr;
}

std::string privateFolder()
{
    return "/tmp/tamblin-" + std::to_string(geteuid());
}

} // namespace

bool deviceLayout()
{
    return TAMBLIN_DEVICE_LAYOUT;
}

std::string applicationDirectory(const char* mypath)
{
    if (mypath)
        return mypath;
    if (deviceLayout())
        return kDeviceApplicationDirectory;
    return installedApplicationDirectory();
}

std::string installedApplicationDirectory()
{
    char self[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string dir = n > 0 ? std::string(self, size_t(n)) : std::string("./tamblin");
    dir.resize(dir.rfind('/'));
    // "../" steps are taken here, so that the log shows a plain path.
    std::string relative = TAMBLIN_APP_DIR_FROM_BIN;
    while (relative.compare(0, 3, "../") == 0 && dir.rfind('/') != 0 &&
           dir.rfind('/') != std::string::npos) {
        dir.resize(dir.rfind('/'));
        relative.erase(0, 3);
    }
    return dir + '/' + relative + '/';
}

std::string fifoPath(const char* tamblinFifo)
{
    if (tamblinFifo && *tamblinFifo)
        return tamblinFifo;
    if (deviceLayout())
        return kDeviceFifoPath;
    const char* runtime = getenv("XDG_RUNTIME_DIR");
    if (runtime && runtime[0] == '/')
        return std::string(runtime) + "/tamblin-pipe";
    return privateFolder() + "/pipe";
}

bool fifoFolderUsable(const std::string& fifo, std::string* why)
{
    const std::string folder = privateFolder();
    if (deviceLayout() || fifo != folder + "/pipe")
        return true;
    // Made for us alone; made by someone else, it could hold a FIFO of theirs, or take one.
    if (mkdir(folder.c_str(), 0700) == 0)
        return true;
    struct stat st;
    if (errno != EEXIST || lstat(folder.c_str(), &st) != 0) {
        *why = folder + ": " + strerror(errno);
        return false;
    }
    if (!S_ISDIR(st.st_mode))
        *why = folder + " is not a folder";
    else if (st.st_uid != geteuid())
        *why = folder + " belongs to another user";
    else if (st.st_mode & 077)
        *why = folder + " may be used by others";
    else
        return true;
    return false;
}

std::string extraOptions(const std::vector<std::string>& arguments)
{
    return arguments.size() > 1 ? arguments.at(1) + ' ' : std::string();
}

std::string mediaArgument(const std::vector<std::string>& arguments, const std::string& appDir)
{
    if (arguments.size() > 2)
        return arguments.at(2);
    return kStartMenu + appDir + kBackground;
}

std::string commandLine(const std::string& appDir, const std::string& fifo,
                        const std::vector<std::string>& arguments)
{
    const std::string media = arguments.size() > 2 ? shellWord(arguments.at(2))
                                                   : kStartMenu + shellWord(appDir + kBackground);
    return shellWord(appDir + "mplayer") + " -slave -input file=" + shellWord(fifo) +
           " -quiet -nortc -nocache " + extraOptions(arguments) + media;
}

std::string shellWord(const std::string& text)
{
    bool plain = !text.empty();
    for (char c : text)
        plain = plain && plainShellByte(c);
    if (plain)
        return text;
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + '\'';
}
