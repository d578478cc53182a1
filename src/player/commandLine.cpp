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
           QByteArray("_./:,+@%=-").contains(c);
}

QByteArray privateFolder()
{
    return "/tmp/tamblin-" + QByteArray::number(geteuid());
}

} // namespace

bool deviceLayout()
{
    return TAMBLIN_DEVICE_LAYOUT;
}

QByteArray applicationDirectory(const char* mypath)
{
    if (mypath)
        return QByteArray(mypath);
    if (deviceLayout())
        return kDeviceApplicationDirectory;
    // The installed private folder, found from where the executable is, wherever that is.
    char self[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    QByteArray dir = n > 0 ? QByteArray(self, n) : QByteArray("./tamblin");
    dir.truncate(dir.lastIndexOf('/'));
    // "../" steps are taken here, so that the log shows a plain path.
    QByteArray relative = TAMBLIN_APP_DIR_FROM_BIN;
    while (relative.startsWith("../") && dir.lastIndexOf('/') > 0) {
        dir.truncate(dir.lastIndexOf('/'));
        relative.remove(0, 3);
    }
    return dir + '/' + relative + '/';
}

QByteArray fifoPath(const char* tamblinFifo)
{
    if (tamblinFifo && *tamblinFifo)
        return QByteArray(tamblinFifo);
    if (deviceLayout())
        return kDeviceFifoPath;
    const char* runtime = getenv("XDG_RUNTIME_DIR");
    if (runtime && runtime[0] == '/')
        return QByteArray(runtime) + "/tamblin-pipe";
    return privateFolder() + "/pipe";
}

bool fifoFolderUsable(const QByteArray& fifo, QByteArray* why)
{
    const QByteArray folder = privateFolder();
    if (deviceLayout() || fifo != folder + "/pipe")
        return true;
    // Made for us alone; made by someone else, it could hold a FIFO of theirs, or take one.
    if (mkdir(folder.constData(), 0700) == 0)
        return true;
    struct stat st;
    if (errno != EEXIST || lstat(folder.constData(), &st) != 0) {
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

QByteArray extraOptions(const QList<QByteArray>& arguments)
{
    return arguments.size() > 1 ? arguments.at(1) + ' ' : QByteArray();
}

QByteArray mediaArgument(const QList<QByteArray>& arguments, const QByteArray& appDir)
{
    if (arguments.size() > 2)
        return arguments.at(2);
    return kStartMenu + appDir + kBackground;
}

QByteArray commandLine(const QByteArray& appDir, const QByteArray& fifo,
                       const QList<QByteArray>& arguments)
{
    const QByteArray media = arguments.size() > 2 ? shellWord(arguments.at(2))
                                                  : kStartMenu + shellWord(appDir + kBackground);
    return shellWord(appDir + "mplayer") + " -slave -input file=" + shellWord(fifo) +
           " -quiet -nortc -nocache " + extraOptions(arguments) + media;
}

QByteArray shellWord(const QByteArray& text)
{
    bool plain = !text.isEmpty();
    for (char c : text)
        plain = plain && plainShellByte(c);
    if (plain)
        return text;
    QByteArray quoted = text;
    quoted.replace('\'', "'\\''");
    return '\'' + quoted + '\'';
}
