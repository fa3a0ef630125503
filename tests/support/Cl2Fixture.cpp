#include "support/Cl2Fixture.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtEndian>

#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora::test {

std::int32_t int32At(const QByteArray &bytes, qsizetype offset)
{
    return qFromLittleEndian<std::int32_t>(bytes.constData() + offset);
}

void setInt32At(QByteArray &bytes, qsizetype offset, std::int32_t value)
{
    qToLittleEndian(value, bytes.data() + offset);
}

namespace {

// One frame group: count, count + 1 offsets from its start, then the frames,
// whose first two bytes (when they have two) are their direction and index.
void appendGroup(QByteArray &bytes, int direction, int frames, int frameSize)
{
    const qsizetype start = bytes.size();
    bytes.resize(start + 4 * (frames + 2));
    setInt32At(bytes, start, frames);
    for (int i = 0; i <= frames; ++i) {
        setInt32At(bytes, start + 4 + 4 * i, 4 * (frames + 2) + i * frameSize);
    }
    for (int i = 0; i < frames; ++i) {
        for (int k = 0; k < frameSize; ++k) {
            bytes += static_cast<char>(k > 1 || frameSize < 2 ? direction * 31 + i * 7 + k * 3
                                       : k == 0               ? 0xD0 | direction
                                                              : i);
        }
    }
}

} // namespace

QByteArray makeEightDirectionCl2(const std::array<int, 8> &frameCounts, int frameSize)
{
    QByteArray bytes(32, '\0');
    for (int k = 0; k < 8; ++k) {
        setInt32At(bytes, 4 * k, static_cast<std::int32_t>(bytes.size()));
        appendGroup(bytes, k, frameCounts[k], frameSize);
    }
    return bytes;
}

QByteArray makeEightDirectionCl2(int framesPerGroup, int frameSize)
{
    return makeEightDirectionCl2({framesPerGroup, framesPerGroup, framesPerGroup, framesPerGroup,
                                  framesPerGroup, framesPerGroup, framesPerGroup, framesPerGroup},
                                 frameSize);
}

QByteArray makeSingleDirectionCl2(int frames, int frameSize)
{
    QByteArray bytes;
    appendGroup(bytes, 0, frames, frameSize);
    return bytes;
}

QList<QList<QByteArray>> framesBySlot(const QByteArray &image)
{
    // An offset outside the image reads as a value no check below lets through.
    constexpr qint64 outside = std::numeric_limits<std::int32_t>::min() * qint64(4);
    const auto at = [&image](qint64 offset) {
        return offset >= 0 && offset + 4 <= image.size() ? int32At(image, offset) : outside;
    };
    QList<QList<QByteArray>> bySlot(8);
    for (int slot = 0; slot < 8; ++slot) {
        const qint64 group = at(4 * slot);
        const qint64 count = at(group);
        for (qint64 i = 0; i < count; ++i) {
            const qint64 begin = group + at(group + 4 + 4 * i);
            const qint64 end = group + at(group + 8 + 4 * i);
            if (begin < 0 || end < begin || end > image.size()) {
                return {};
            }
            bySlot[slot].append(image.mid(begin, end - begin));
        }
        if (count < 0) {
            return {};
        }
    }
    return bySlot;
}

QList<QList<QByteArray>> slotsAfterConversion(const QByteArray &before)
{
    const QList<QList<QByteArray>> old = framesBySlot(before);
    QList<QList<QByteArray>> after;
    for (const int from : {1, 3, 5, 7, 0, 2, 4, 6}) {
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

QString putFile(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    const QString path = dir.filePath(name);
    if (!QDir().mkpath(QFileInfo(path).absolutePath()) || !writeFile(path, bytes)) {
        qFatal("cannot write fixture %s", qPrintable(path));
    }
    return path;
}

bool makeTree(const QString &root, const QString &entries)
{
    bool made = true;
    for (const QString &entry : entries.split(u' ', Qt::SkipEmptyParts)) {
        const qsizetype end = entry.indexOf(QRegularExpression(QStringLiteral("[>=|]")));
        const QString path = root + u'/' + entry.left(end);
        const QString target = entry.mid(end + 1);
        const QByteArray encoded = QFile::encodeName(path);
        made = made && QDir().mkpath(QFileInfo(path).path());
        if (end < 0) {
            made = made && (entry.endsWith(u'/') || QFile(path).open(QIODevice::WriteOnly));
        } else if (entry[end] == u'>') {
            made =
                made && ::symlink(QFile::encodeName(target).constData(), encoded.constData()) == 0;
        } else if (entry[end] == u'=') {
            made = made && ::link(QFile::encodeName(root + u'/' + target).constData(),
                                  encoded.constData()) == 0;
        } else {
            made = made && ::mkfifo(encoded.constData(), 0600) == 0;
        }
    }
    return made;
}

} // namespace velmora::test
