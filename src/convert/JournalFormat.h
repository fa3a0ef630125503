#pragma once

#include "algorithms/RecordBytes.h"
#include "convert/DirectionTables.h"
#include "platform/BinaryFile.h"
#include "platform/LockedFile.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <string_view>
#include <vector>

namespace velmora {

// The journal file's layout, written by Journal and read by the repair.
//
// A header, then slotCount slots of SlotBytes each, the last of which may run
// on to take a record of any size. All integers are little-endian.
namespace JournalFormat {

constexpr char FileMagic[8] = {'C', 'L', '2', 'V', 'J', 'R', 'N', 'L'};
constexpr std::uint32_t Version = 1;
constexpr std::uint32_t RecordMagic = 0x52564C43; // "CLVR"
constexpr std::int64_t ChecksumBytes = 8;
constexpr std::int64_t SlotBytes = 64 * 1024;
constexpr int MaxSlots = 1024;

// Where each field of the header begins; the checksum covers the bytes
// before it.
namespace HeaderAt {
constexpr std::int64_t Magic = 0;
constexpr std::int64_t Version = 8;
constexpr std::int64_t SlotCount = 12;
constexpr std::int64_t SlotBytes = 16;
constexpr std::int64_t Reserved = 20;
constexpr std::int64_t Checksum = 24;
constexpr std::int64_t End = 32;
} // namespace HeaderAt
constexpr std::int64_t HeaderBytes = HeaderAt::End;

// Where each field of a record begins, from the start of its slot. The head
// is followed by the path, the front block and the partner block, then the
// checksum of all before it. The sequence number grows with every record of
// a journal: of two records of one file, the later one counts.
namespace RecordAt {
constexpr std::int64_t Magic = 0;
constexpr std::int64_t Size = 4;
constexpr std::int64_t Sequence = 8;
constexpr std::int64_t Device = 16;
constexpr std::int64_t Inode = 24;
constexpr std::int64_t Length = 32;
constexpr std::int64_t ModifiedSeconds = 40;
constexpr std::int64_t ModifiedNanoseconds = 48;
constexpr std::int64_t Swap = 52; // 0 forward, 1 undo
constexpr std::int64_t PathBytes = 56;
constexpr std::int64_t FrontBytes = 60;
constexpr std::int64_t FrontOffset = 64;
constexpr std::int64_t PartnerOffset = 72;
constexpr std::int64_t PartnerBytes = 80;
constexpr std::int64_t Reserved = 84;
constexpr std::int64_t End = 88; // the path starts here
} // namespace RecordAt
constexpr std::int64_t RecordHeadBytes = RecordAt::End;

// The folder in the user's state folder that holds the journals.
QString folderName();
bool isJournalName(std::string_view name);

std::int64_t slotOffset(int slot);
// The longest journal a header allows: its slots, the last of which may run
// on to take one record of any size.
std::int64_t longestJournal(std::uint32_t slotCount);

void encodeHeader(char *header, std::uint32_t slotCount);

// A record as written: storedFolder (empty for an absolute path) then path
// make the file's absolute path.
struct RecordSource
{
    std::uint64_t sequence = 0;
    FileIdentity identity;
    DirectionSwap swap = DirectionSwap::Forward;
    const QByteArray *storedFolder = nullptr;
    const QByteArray *path = nullptr;
    const DirectionTables *tables = nullptr;
};

std::int64_t recordSize(std::int64_t storedPathBytes, const DirectionTables &tables);
// Writes the record into out, which holds recordSize() bytes.
void encodeRecord(char *out, std::int64_t size, const RecordSource &source);

// A record as read back.
struct Record
{
    std::int64_t at = 0; // where its slot begins in the journal
    std::uint64_t sequence = 0;
    QByteArray path;
    FileIdentity identity;
    DirectionSwap swap = DirectionSwap::Forward;
    std::int64_t frontOffset = 0;
    DirectionTables tables;
};

// What a journal holds, or why it cannot be read.
struct Contents
{
    std::vector<Record> records;
    QString unreadable;
    // The journal ends inside its slots, which a run never leaves: something
    // cut it. The files of records it cut into, where their paths are left.
    bool cut = false;
    std::vector<QByteArray> cutShort;
};

// Reads the records of every slot, each only as far as its own size says. A
// slot that was never written, or whose record was cut short by the end of
// its process, holds no record: the writes such a record would cover had not
// begun.
Contents read(const LockedFile &journal);

} // namespace JournalFormat

} // namespace velmora
