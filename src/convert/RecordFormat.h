#pragma once

#include "algorithms/RecordBytes.h"
#include "convert/RunHistory.h"
#include "platform/LockedFile.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string_view>

namespace velmora {

// The layout of a run's record, written by RunRecord and read by the history.
//
// A header, then one entry per converted file, in the order converted, then
// for a finished run a trailer. All integers little-endian. Past the last
// entry of a record still written the file holds zeros.
namespace RecordFormat {

constexpr char Magic[8] = {'C', 'L', '2', 'V', 'H', 'I', 'S', 'T'};
constexpr std::uint32_t Version = 1;
constexpr std::int64_t ChecksumBytes = 8;
// The longest record: one that would outgrow it takes no more files.
constexpr std::int64_t MaxBytes = 100 * 1024 * 1024;
// The paths a header keeps: a list read from a file may name thousands.
constexpr int KeptPaths = 16;

// Where each field of the header begins. The checksum covers the bytes from
// Started to the header's end: the end and full fields change as the run goes.
// After Program: the program's name, then each kept path as its size and
// bytes; padded to 8 bytes.
namespace HeaderAt {
constexpr std::int64_t Magic = 0;
constexpr std::int64_t Version = 8;
constexpr std::int64_t End = 12; // an EndCode
constexpr std::int64_t Full = 16;
constexpr std::int64_t HeaderBytes = 20;
constexpr std::int64_t Checksum = 24;
constexpr std::int64_t Started = 32; // ms since the epoch
constexpr std::int64_t Undo = 40;
constexpr std::int64_t PathsGiven = 44;
constexpr std::int64_t PathsKept = 48;
constexpr std::int64_t ProgramBytes = 52;
constexpr std::int64_t Program = 56;
} // namespace HeaderAt

enum EndCode : std::uint32_t { Running = 0, Finished = 1, Stopped = 2 };

// Where each field of an entry begins. The path (never empty) is padded to 8
// bytes and followed by the checksum of all before it: a process killed while
// storing an entry leaves one whose checksum fails, and the record ends there.
namespace EntryAt {
constexpr std::int64_t PathBytes = 0;
constexpr std::int64_t EarlierByUs = 4; // the stamp's span, 0 for an exact one
constexpr std::int64_t Device = 8;
constexpr std::int64_t Inode = 16;
constexpr std::int64_t Length = 24;
constexpr std::int64_t Modified = 32; // ns
constexpr std::int64_t Path = 40;
} // namespace EntryAt

// The trailer of a finished record: from the times alone a reader that knows
// a file's time can tell whether the record may hold that file. Its first
// four bytes read as an entry too long to fit: a reader that does not know it
// stops there.
namespace TrailerAt {
constexpr std::int64_t Magic = 0;
constexpr std::int64_t Earliest = 8; // ns, the earliest a file was left with
constexpr std::int64_t Latest = 16;
constexpr std::int64_t Checksum = 24;
constexpr std::int64_t End = 32;
} // namespace TrailerAt
constexpr char TrailerMagic[8] = {'C', 'L', '2', 'V', 'T', 'A', 'I', 'L'};
constexpr std::int64_t TrailerBytes = TrailerAt::End;

bool isRecordName(std::string_view name);

// The header of a run that starts now.
QByteArray encodeHeader(std::int64_t startedMs, bool undo, const QString &program,
                        const QList<QByteArray> &paths);

std::int64_t entrySize(std::int64_t pathBytes);
// Writes a file's entry, its path made of parts, into the entrySize() bytes
// at entry.
void encodeEntry(char *entry, const FileId &id, const FileStamp &stamp,
                 std::initializer_list<QByteArrayView> pathParts);

void encodeTrailer(char *trailer, std::int64_t earliest, std::int64_t latest);

using StampSink = std::function<void(const FileId &, const FileStamp &)>;

// What read can say of a record beyond the run: where its entries end and,
// for a finished one, the times its files were left with.
struct Shape
{
    bool entries = true; // false: the header and the trailer only
    std::int64_t end = 0;
    bool hasTimes = false;
    std::int64_t earliest = 0;
    std::int64_t latest = 0;
};

// Reads one record; false, with the reason, when it cannot be trusted or is
// not one. eachStamp, when given, is told the identity and stamp of each
// file, in the order converted.
bool read(const QByteArray &path, RecordDetail detail, RecordedRun *run, QString *reason,
          const StampSink &eachStamp = {}, Shape *shape = nullptr);

} // namespace RecordFormat

} // namespace velmora
