#pragma once

#include <QByteArray>
#include <QList>

// The player's command line, built from fixed pieces and the program's two optional arguments.
// Everything that comes from the user is held as the bytes it came as, and reaches the shell,
// the player and the log unchanged, whatever the locale.

extern const char kDefaultApplicationDirectory[];
extern const char kDefaultFifoPath[];

// MYPATH as it comes (it must end in "/"), or the device's default when unset.
QByteArray applicationDirectory(const char* mypath);
// TAMBLIN_FIFO when set and not empty, else the device's fixed path.
QByteArray fifoPath(const char* tamblinFifo);

// arguments: the program's arguments as bytes, the program name first.
QByteArray extraOptions(const QList<QByteArray>& arguments);
// The media argument as the log shows it: the second argument, or the start menu's background.
QByteArray mediaArgument(const QList<QByteArray>& arguments, const QByteArray& appDir);

// The extra options go to the shell as they are: they are the user's own option string, split
// into options by the shell. Paths (the player, the FIFO, the media or the background) go as one
// shell word each.
QByteArray commandLine(const QByteArray& appDir, const QByteArray& fifo,
                       const QList<QByteArray>& arguments);

// The text unchanged when the shell takes it as one word as it is, else single-quoted.
QByteArray shellWord(const QByteArray& text);
