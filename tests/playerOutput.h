#pragma once

// What a player puts out, as the tests read it: the tone in the sound it writes to a file
// (MPlayer's -ao pcm:file=F, and mpv's --ao=pcm that it becomes), and the subtitle line on the
// screen.

#include <QImage>
#include <QString>

struct Sound
{
    double seconds = 0; // how much the file holds
    double hz = 0;      // the tone of its last part, from the first channel's zero crossings
    double peak = 0;    // the loudest sample there, 1 being full scale
};

// The WAV file as written so far: the header's format (IEEE float or 16-bit PCM, any rate and
// channels), then every whole frame up to the file's end, whatever size the header gives (it is
// only right once the player closes the file). False while there is no header yet.
bool readSound(const QString& wav, double lastSeconds, Sound* sound);

// The tone of the last `lastSeconds` to the nearest of the given tones (within a fifth of it);
// 0 when it is silent or none of them.
int toneOf(const Sound& sound, const QList<int>& tones);

// The subtitle line on screen, from the near-white ink in the lower third of a picture that
// is otherwise dark: its width over its height (so the same for both players, which draw text
// at sizes of their own), or 0 when there is none.
double subtitleShape(const QImage& shot);
