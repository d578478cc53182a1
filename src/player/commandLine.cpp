#include "player/commandLine.h"

#include <QRegularExpression>

const char kDefaultApplicationDirectory[] = "/mmc/mmca1/.system/QTDownLoad/tamblin/";
const char kDefaultFifoPath[] = "/ezxlocal/.mplayer/pipe";

QString applicationDirectory(const char* mypath)
{
    return QString::fromLatin1(mypath ? mypath : kDefaultApplicationDirectory);
}

QString fifoPath(const char* tamblinFifo)
{
    if (tamblinFifo && *tamblinFifo)
        return QString::fromLatin1(tamblinFifo);
    return QString::fromLatin1(kDefaultFifoPath);
}

QString extraOptions(const QStringList& arguments)
{
    return arguments.size() > 1 ? arguments.at(1) + QLatin1Char(' ') : QString();
}

QString mediaArgument(const QStringList& arguments, const QString& appDir)
{
    if (arguments.size() > 2)
        return arguments.at(2);
    return QStringLiteral("-menu-startup ") + appDir + QStringLiteral("background.avi");
}

QString commandLine(const QString& appDir, const QString& fifo, const QString& extraOptions,
                    const QString& mediaArgument)
{
    // The FIFO path may come from the environment: it goes to the shell as one word. The two
    // arguments go unquoted, so that the first one can carry several player options.
    return appDir + QStringLiteral("mplayer") + QStringLiteral(" -slave -input file=") +
           shellWord(fifo) + QStringLiteral(" -quiet -nortc -nocache ") + extraOptions +
           mediaArgument;
}

QString shellWord(const QString& text)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_./:,+@%=-]+$"));
    if (plain.match(text).hasMatch())
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}
