#pragma once

// A run of the real program on a player of Debian's behind the adapter, with the adapter's
// trace, and what the screen shows. The player is MPlayer, or mpv when the suite runs with
// TAMBLIN_TEST_PLAYER=mpv: one suite, two players.

#include "harness.h"

#include <QImage>

// Which player the suite runs on.
bool onMpv();
// What the trace says when the player has shown the last command's effect and come to rest:
// MPlayer is stopped then, mpv only left alone.
QString restMark();

struct AdapterSession
{
    TamblinRun run;
    QString trace;

    // The bundled background clip, or another one, in the application directory.
    explicit AdapterSession(const Xvfb* x, const QString& background = QString());

    QStringList traceLines() const;
    int count(const QString& line) const { return int(traceLines().count(line)); }
    bool waitFor(const QString& line, int times = 1, int ms = 10000) const;
    // The adapter's and the player's pids.
    QList<pid_t> pids() const;
    // Writes a command into the FIFO beside the window's own; false when nobody reads it (the
    // run has gone). inject() fails the test then.
    bool send(const QByteArray& command) const;
    void inject(const QByteArray& command) const;
    // The adapter's answer to a query of our own, or nothing once the run has gone.
    QString menuAnswer() const;
    // The player's answer to a property query, through the adapter (empty when it has none).
    QString property(const QString& name) const;
};

// The whole screen.
QImage screenshot(const Xvfb& x, const QString& scratchDir);
// How many of every other pixel in every other row differ clearly.
int differingPixels(const QImage& a, const QImage& b);
// The process's state letter from /proc ('T' when stopped), or '?' when it is gone.
char processState(pid_t pid);
// Makes a clip of one flat colour: only a menu over it changes the picture.
bool makeFlatClip(const QString& path, const QString& colour, const QString& size, int fps,
                  double seconds);
