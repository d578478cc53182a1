#pragma once

// Clips that carry sound tracks, subtitles and chapters, made with ffmpeg (lavfi) for the
// tests: a flat picture, so that only a menu or a subtitle changes it; each sound track one
// steady tone; each subtitle track the same line again every second, from just after the first
// second to the end (MPlayer never shows a line that starts at 0).

#include <QList>
#include <QString>

struct SoundTrack
{
    int hz;
    QString language; // empty: none (ffmpeg then writes "und")
    QString title;
};

struct SubtitleTrack
{
    QString text;
    QString language;
    QString title;
};

struct ChapterMark
{
    int start; // seconds
    QString title;
};

struct ClipRecipe
{
    QString colour; // 0xRRGGBB, dark, so that white text stands out
    int seconds = 30;
    QList<SoundTrack> sounds;
    QList<SubtitleTrack> subtitles;
    QList<ChapterMark> chapters;
};

// A Matroska clip, 320x240 at 10 fps with a key frame every second.
bool makeClip(const QString& path, const ClipRecipe& recipe);
// An .srt file of the same line every second, shown from 1.5 s until `seconds`.
bool writeSubtitleFile(const QString& path, const QString& text, int seconds);
