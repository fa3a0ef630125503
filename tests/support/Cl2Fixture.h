#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <array>
#include <cstdint>

class QTemporaryDir;

namespace velmora::test {

// Builds CL2 files for the tests. Every frame's bytes name its direction and
// index, so a test can tell which frames a header slot shows.

// An 8-direction file: a 32-byte header of group offsets, then eight groups,
// each a frame count, count + 1 offsets relative to the group's start, and the
// frames. frameCounts[k] frames in group k, each frameSize bytes.
QByteArray makeEightDirectionCl2(const std::array<int, 8> &frameCounts, int frameSize = 16);
QByteArray makeEightDirectionCl2(int framesPerGroup, int frameSize = 16);

// A single-direction file: a frame count, count + 1 offsets from the file's
// start, and the frames.
QByteArray makeSingleDirectionCl2(int frames, int frameSize = 16);

// Little-endian 32-bit access to a file image, for building broken files.
std::int32_t int32At(const QByteArray &bytes, qsizetype offset);
void setInt32At(QByteArray &bytes, qsizetype offset, std::int32_t value);

// The frames each of the eight header slots addresses: result[slot][i] is the
// bytes of frame i. Empty when the image does not decode.
QList<QList<QByteArray>> framesBySlot(const QByteArray &image);

// The frames each slot of `before` shows once converted: slot j shows what
// slot 1, 3, 5, 7, 0, 2, 4, 6 (for j = 0 .. 7) showed before.
QList<QList<QByteArray>> slotsAfterConversion(const QByteArray &before);

// The log lines of a converted and of a refused file.
QString realignedLine(const QString &path);
QString notEightDirectionsLine(const QString &path);

bool writeFile(const QString &path, const QByteArray &bytes);
QByteArray readFile(const QString &path);
// Writes a file at name under dir, making its folders, and gives its path; a
// fixture that cannot be written ends the test program.
QString putFile(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes);

// Makes each space-separated entry under root, its folders as needed: "name/"
// a folder, "name>target" a symbolic link, "name=target" a hard link to a file
// under root, "name|" a pipe, anything else an empty file. False if any fails.
bool makeTree(const QString &root, const QString &entries);

} // namespace velmora::test
