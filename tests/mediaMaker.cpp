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
QString chapterFile(const ClipSpec& spec)
{
    QString text = ";FFMETADATA1\n";
    for (qsizetype i = 0; i < spec.chapters.size(); ++i) {
        const int end = i + 1 < spec.chapters.size() ? spec.chapters[i + 1].start : spec.seconds;
        text += QString("[CHAPTER]\nTIMEBASE=1/1000\nSTART=%1\nEND=%2\n")
                    .arg(spec.chapters[i].start * 1000)
                    .arg(end * 1000);
        if (!spec.chapters[i].title.isEmpty())
            text += "title=" + spec.chapters[i].title + "\n";
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
    return writeText(path,
                     "1\n" + clock(1, 500) + " --> " + clock(seconds, 0) + "\n" + text + "\n\n");
}

bool makeClip(const QString& path, const ClipSpec& spec)
{
    QTemporaryDir work;
    if (!work.isValid())
        return false;
    const QString length = QString::number(spec.seconds);
    QStringList inputs{
        "-f", "lavfi", "-i",
        QString("color=c=%1:size=320x240:rate=10:duration=%2").arg(spec.colour, length)};
    QStringList maps{"-map", "0"}, described;
    int input = 1;
    for (qsizetype i = 0; i < spec.sounds.size(); ++i, ++input) {
        inputs << "-f"
               << "lavfi"
               << "-i"
               << QString("sine=frequency=%1:duration=%2").arg(spec.sounds[i].hz).arg(length);
        maps << "-map" << QString::number(input);
        describe(described, "a:" + QString::number(i), spec.sounds[i].language,
                 spec.sounds[i].title);
    }
    for (qsizetype i = 0; i < spec.subtitles.size(); ++i, ++input) {
        const QString srt = work.filePath(QString("%1.srt").arg(i));
        if (!writeSubtitleFile(srt, spec.subtitles[i].text, spec.seconds))
            return false;
        inputs << "-i" << srt;
        maps << "-map" << QString::number(input);
        describe(described, "s:" + QString::number(i), spec.subtitles[i].language,
                 spec.subtitles[i].title);
    }
    if (!spec.chapters.isEmpty()) {
        const QString chapters = work.filePath("chapters");
        if (!writeText(chapters, chapterFile(spec)))
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
