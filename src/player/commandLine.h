#pragma once

#include <QString>
#include <QStringList>

// The player's command line, built from fixed pieces and the program's two optional arguments.

extern const char kDefaultApplicationDirectory[];
extern const char kDefaultFifoPath[];

// MYPATH as it comes (it must end in "/"), or the device's default when unset.
QString applicationDirectory(const char* mypath);
// TAMBLIN_FIFO when set and not empty, else the device's fixed path.
QString fifoPath(const char* tamblinFifo);

// arguments as QCoreApplication::arguments() gives them: the program name first.
QString extraOptions(const QStringList& arguments);
QString mediaArgument(const QStringList& arguments, const QString& appDir);

QString commandLine(const QString& appDir, const QString& fifo, const QString& extraOptions,
                    const QString& mediaArgument);

// The text unchanged when the shell takes it as one word as it is, else single-quoted.
QString shellWord(const QString& text);
