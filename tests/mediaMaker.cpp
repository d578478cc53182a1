#include "mediaMaker.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace {

QString clock(int seconds, int ms)
{
    return QString::asprintf("%02d:%02d:%02d,%03d", seconds / 3600, seconds / 60 % 60, seconds % 60,
                             ms);
}

bool writeText(const QString& path, const QString& text)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           f.write(text.toUtf8()) == text.toUtf8().size();
}

// ffmpeg's metadata file: each chapter runs to the next one, the last to the clip's end.
QString chapterFile(const ClipRecipe& recipe)
{
    QString text = ";FFMETADATA1\n";
    for (qsizetype i = 0; i < recipe.chapters.size(); ++i) {
        const int end =
            i + 1 < recipe.chapters.size() ? recipe.chapters[i + 1].start : recipe.seconds;
        text += QString("[CHAPTER]\nTIMEBASE=1/1000\nSTART=%1\nEND=%2\n")
                    .arg(recipe.chapters[i].start * 1000)
                    .arg(end * 1000);
        if (!recipe.chapters[i].title.isEmpty())
            text += "title=" + recipe.chapters[i].title + "\n";
    }
    return text;
}

void describe(QStringList& args, const QString& stream, const QString& language,
              const QString& title)
{
    if (!language.isEmpty())
        args << "-metadata:s:" + stream << "language=" + language;
    if (!title.isEmpty())
        args << "-metadata:s:" + stream << "title=" + title;
}

} // namespace

bool writeSubtitleFile(const QString& path, const QString& text, int seconds)
{
    // One line a second, each up to the next, as a film's lines follow one another: a track
    // switched to shows from its next line in MPlayer.
    QString srt;
    for (int at = 1; at < seconds; ++at)
        srt += QString("%1\n%2 --> %3\n%4\n\n")
                   .arg(at)
                   .arg(clock(at, 500), at + 1 < seconds ? clock(at + 1, 500) : clock(at + 1, 0),
                        text);
    return writeText(path, srt);
}

bool makeClip(const QString& path, const ClipRecipe& recipe)
{
    QTemporaryDir work;
    if (!work.isValid())
        return false;
    const QString length = QString::number(recipe.seconds);
    QStringList inputs{
        "-f", "lavfi", "-i",
        QString("color=c=%1:size=320x240:rate=10:duration=%2").arg(recipe.colour, length)};
    QStringList maps{"-map", "0"}, described;
    int input = 1;
    for (qsizetype i = 0; i < recipe.sounds.size(); ++i, ++input) {
        inputs << "-f"
               << "lavfi"
               << "-i"
               << QString("sine=frequency=%1:duration=%2").arg(recipe.sounds[i].hz).arg(length);
        maps << "-map" << QString::number(input);
        describe(described, "a:" + QString::number(i), recipe.sounds[i].language,
                 recipe.sounds[i].title);
    }
    for (qsizetype i = 0; i < recipe.subtitles.size(); ++i, ++input) {
        const QString srt = work.filePath(QString("%1.srt").arg(i));
        if (!writeSubtitleFile(srt, recipe.subtitles[i].text, recipe.seconds))
            return false;
        inputs << "-i" << srt;
        maps << "-map" << QString::number(input);
        describe(described, "s:" + QString::number(i), recipe.subtitles[i].language,
                 recipe.subtitles[i].title);
    }
    if (!recipe.chapters.isEmpty()) {
        const QString chapters = work.filePath("chapters");
        if (!writeText(chapters, chapterFile(recipe)))
            return false;
        inputs << "-f"
               << "ffmetadata"
               << "-i" << chapters;
        maps << "-map_chapters" << QString::number(input);
    }
    const QStringList codecs{"-c:v", "mpeg4", "-q:v", "5",   "-g", "10",
                             "-c:a", "aac",   "-c:s", "srt", "-f", "matroska"};
    return QProcess::execute("ffmpeg", QStringList{"-loglevel", "error", "-y"} + inputs + maps +
                                           described + codecs + QStringList{path}) == 0;
}
