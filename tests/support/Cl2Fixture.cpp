#include "support/Cl2Fixture.h"

#include <QFile>
#include <QtEndian>

namespace velmora::test {

QByteArray framePayload(int direction, int frame, int frameSize)
{
    QByteArray bytes(frameSize, '\0');
    for (int i = 0; i < frameSize; ++i) {
        bytes[i] = static_cast<char>((direction * 31 + frame * 7 + i * 3) & 0xff);
    }
    if (frameSize >= 2) {
        bytes[0] = static_cast<char>(0xD0 | direction);
        bytes[1] = static_cast<char>(frame & 0xff);
    }
    return bytes;
}

std::int32_t int32At(const QByteArray &bytes, qsizetype offset)
{
    return qFromLittleEndian<std::int32_t>(bytes.constData() + offset);
}

void setInt32At(QByteArray &bytes, qsizetype offset, std::int32_t value)
{
    qToLittleEndian(value, bytes.data() + offset);
}

namespace {

void appendInt32(QByteArray &bytes, std::int32_t value)
{
    const qsizetype at = bytes.size();
    bytes.resize(at + 4);
    setInt32At(bytes, at, value);
}

// One frame group: count, count + 1 offsets from `base`, then the frames.
void appendGroup(QByteArray &bytes, int direction, int frames, int frameSize, std::int32_t base)
{
    appendInt32(bytes, frames);
    const std::int32_t first = 4 * (frames + 2);
    for (int i = 0; i <= frames; ++i) {
        appendInt32(bytes, base + first + i * frameSize);
    }
    for (int i = 0; i < frames; ++i) {
        bytes += framePayload(direction, i, frameSize);
    }
}

} // namespace

QByteArray makeEightDirectionCl2(const std::array<int, 8> &frameCounts, int frameSize)
{
    QByteArray bytes(32, '\0');
    for (int k = 0; k < 8; ++k) {
        setInt32At(bytes, 4 * k, static_cast<std::int32_t>(bytes.size()));
        appendGroup(bytes, k, frameCounts[k], frameSize, 0);
    }
    return bytes;
}

QByteArray makeEightDirectionCl2(int framesPerGroup, int frameSize)
{
    std::array<int, 8> counts;
    counts.fill(framesPerGroup);
    return makeEightDirectionCl2(counts, frameSize);
}

QByteArray makeSingleDirectionCl2(int frames, int frameSize)
{
    QByteArray bytes;
    appendGroup(bytes, 0, frames, frameSize, 0);
    return bytes;
}

QList<QList<QByteArray>> framesBySlot(const QByteArray &image)
{
    QList<QList<QByteArray>> bySlot;
    if (image.size() < 32) {
        return {};
    }
    for (int slot = 0; slot < 8; ++slot) {
        const qint64 group = int32At(image, 4 * slot);
        if (group < 0 || group + 4 > image.size()) {
            return {};
        }
        const qint64 count = int32At(image, group);
        if (count < 0 || group + 4 + 4 * (count + 1) > image.size()) {
            return {};
        }
        QList<QByteArray> frames;
        for (qint64 i = 0; i < count; ++i) {
            const qint64 begin = group + int32At(image, group + 4 + 4 * i);
            const qint64 end = group + int32At(image, group + 8 + 4 * i);
            if (begin < 0 || end < begin || end > image.size()) {
                return {};
            }
            frames.append(image.mid(begin, end - begin));
        }
        bySlot.append(frames);
    }
    return bySlot;
}

QList<QList<QByteArray>> slotsAfterConversion(const QByteArray &before)
{
    const QList<QList<QByteArray>> old = framesBySlot(before);
    QList<QList<QByteArray>> after;
    for (const int from : DirectionOrder) {
        after.append(old.value(from));
    }
    return after;
}

QString realignedLine(const QString &path)
{
    return QLatin1String("SUCCESS: File (") + path + QLatin1String(") directions were realigned");
}

QString notEightDirectionsLine(const QString &path)
{
    return QLatin1String("ERROR: File (") + path + QLatin1String(") isn't a 8 directions file");
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size() && file.flush();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace velmora::test
