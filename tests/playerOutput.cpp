#include "playerOutput.h"

#include <QFile>
#include <QtEndian>

#include <cmath>
#include <cstring>

namespace {

const int kFloat = 3, kPcm = 1, kExtensible = 0xfffe;

struct Format
{
    int tag = 0, channels = 0, rate = 0, bits = 0;
    qsizetype dataAt = -1;
};

// Walks the RIFF chunks up to "data", which is the last one a player writes.
Format formatOf(const QByteArray& file)
{
    Format f;
    if (file.size() < 12 || !file.startsWith("RIFF") || file.mid(8, 4) != "WAVE")
        return f;
    qsizetype at = 12;
    while (at + 8 <= file.size()) {
        const QByteArray id = file.mid(at, 4);
        const quint32 size = qFromLittleEndian<quint32>(file.constData() + at + 4);
        if (id == "data") {
            f.dataAt = at + 8;
            return f;
        }
        if (id == "fmt " && at + 8 + 16 <= file.size()) {
            const char* p = file.constData() + at + 8;
            f.tag = qFromLittleEndian<quint16>(p);
            f.channels = qFromLittleEndian<quint16>(p + 2);
            f.rate = int(qFromLittleEndian<quint32>(p + 4));
            f.bits = qFromLittleEndian<quint16>(p + 14);
            // WAVE_FORMAT_EXTENSIBLE names the real format in its sub-format's first bytes.
            if (f.tag == kExtensible && size >= 40 && at + 8 + 26 <= file.size())
                f.tag = qFromLittleEndian<quint16>(p + 24);
        }
        at += 8 + qsizetype(size) + (size & 1);
    }
    return f;
}

} // namespace

bool readSound(const QString& wav, double lastSeconds, Sound* sound)
{
    // The header, then only the part at the end: the file grows by megabytes a minute.
    QFile in(wav);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    const Format f = formatOf(in.read(4096));
    const bool isFloat = f.tag == kFloat && f.bits == 32, isShort = f.tag == kPcm && f.bits == 16;
    if (f.dataAt < 0 || f.channels < 1 || f.rate < 1 || (!isFloat && !isShort))
        return false;
    const qsizetype frameBytes = qsizetype(f.channels) * f.bits / 8;
    const qsizetype frames = (in.size() - f.dataAt) / frameBytes;
    if (frames < 1)
        return false;
    const qsizetype window = qMin(frames, qsizetype(lastSeconds * f.rate));
    if (!in.seek(f.dataAt + (frames - window) * frameBytes))
        return false;
    const QByteArray tail = in.read(window * frameBytes);
    const auto sample = [&](qsizetype frame) {
        const char* p = tail.constData() + frame * frameBytes;
        if (isShort)
            return double(qFromLittleEndian<qint16>(p)) / 32768;
        float v;
        memcpy(&v, p, sizeof v);
        return double(v);
    };
    const qsizetype got = tail.size() / frameBytes;
    int crossings = 0;
    double peak = 0, before = 0;
    for (qsizetype i = 0; i < got; ++i) {
        const double v = sample(i);
        peak = qMax(peak, std::fabs(v));
        if (i > 0 && (v < 0) != (before < 0))
            ++crossings;
        before = v;
    }
    sound->seconds = double(frames) / f.rate;
    sound->peak = peak;
    sound->hz = got > 1 ? crossings / 2.0 / (double(got) / f.rate) : 0;
    return true;
}

int toneOf(const Sound& sound, const QList<int>& tones)
{
    if (sound.peak < 0.02)
        return 0;
    for (int tone : tones) {
        if (std::fabs(sound.hz - tone) < tone / 5.0)
            return tone;
    }
    return 0;
}

double subtitleShape(const QImage& shot)
{
    int left = shot.width(), right = -1, top = shot.height(), bottom = -1, ink = 0;
    for (int y = shot.height() * 2 / 3; y < shot.height(); ++y) {
        for (int x = 0; x < shot.width(); ++x) {
            const QRgb p = shot.pixel(x, y);
            if (qRed(p) > 200 && qGreen(p) > 200 && qBlue(p) > 200) {
                ++ink;
                left = qMin(left, x);
                right = qMax(right, x);
                top = qMin(top, y);
                bottom = qMax(bottom, y);
            }
        }
    }
    // A few stray pixels are no line of text.
    return ink < 10 ? 0 : double(right - left + 1) / (bottom - top + 1);
}
