#include "player/commandLine.h"

const char kDefaultApplicationDirectory[] = "/mmc/mmca1/.system/QTDownLoad/tamblin/";
const char kDefaultFifoPath[] = "/ezxlocal/.mplayer/pipe";

namespace {

const char kBackground[] = "background.avi";
const char kStartMenu[] = "-menu-startup ";

bool plainShellByte(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
           QByteArray("_./:,+@%=-").contains(c);
}

} // namespace

QByteArray applicationDirectory(const char* mypath)
{
    return QByteArray(mypath ? mypath : kDefaultApplicationDirectory);
}

QByteArray fifoPath(const char* tamblinFifo)
{
    if (tamblinFifo && *tamblinFifo)
        return QByteArray(tamblinFifo);
    return QByteArray(kDefaultFifoPath);
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
