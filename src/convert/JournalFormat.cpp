#include "convert/JournalFormat.h"

#include <algorithm>
#include <limits>

namespace velmora::JournalFormat {

namespace {

// The slot count of a valid header, or 0.
std::uint32_t headerSlotCount(const char *header, std::int64_t bytesRead)
{
    const bool valid =
        bytesRead == HeaderBytes &&
        std::equal(FileMagic, FileMagic + 8, header + HeaderAt::Magic) &&
        get<std::uint64_t>(header, HeaderAt::Checksum) == checksum(header, HeaderAt::Checksum) &&
        get<std::uint32_t>(header, HeaderAt::Version) == Version;
    const std::uint32_t slotCount = valid ? get<std::uint32_t>(header, HeaderAt::SlotCount) : 0;
    if (slotCount > MaxSlots || get<std::uint32_t>(header, HeaderAt::SlotBytes) != SlotBytes) {
        return 0;
    }
    return slotCount;
}

enum class Decoded { Valid, Malformed, BadTables };

// Decodes a record of size bytes whose checksum holds. A record that makes no
// sense was not written by us.
Decoded decodeRecord(const char *record, std::int64_t size, Record *entry, QString *problemText)
{
    const std::int64_t pathBytes = get<std::uint32_t>(record, RecordAt::PathBytes);
    const std::int64_t frontBytes = get<std::uint32_t>(record, RecordAt::FrontBytes);
    const std::int64_t partnerBytes = get<std::uint32_t>(record, RecordAt::PartnerBytes);
    const std::uint32_t swap = get<std::uint32_t>(record, RecordAt::Swap);
    entry->sequence = get<std::uint64_t>(record, RecordAt::Sequence);
    entry->identity.id = FileId{get<std::uint64_t>(record, RecordAt::Device),
                                get<std::uint64_t>(record, RecordAt::Inode)};
    entry->identity.length = get<std::int64_t>(record, RecordAt::Length);
    entry->identity.modifiedSeconds = get<std::int64_t>(record, RecordAt::ModifiedSeconds);
    entry->identity.modifiedNanoseconds = get<std::int32_t>(record, RecordAt::ModifiedNanoseconds);
    entry->frontOffset = get<std::int64_t>(record, RecordAt::FrontOffset);
    const char *path = record + RecordHeadBytes;
    if (RecordHeadBytes + pathBytes + frontBytes + partnerBytes + ChecksumBytes != size ||
        swap > 1 || pathBytes < 2 || path[0] != '/' || entry->frontOffset != 0) {
        return Decoded::Malformed;
    }
    entry->path = QByteArray(path, pathBytes);
    entry->swap = swap == 0 ? DirectionSwap::Forward : DirectionSwap::Undo;
    const char *front = path + pathBytes;
    const FileProblem problem =
        entry->tables.loadFromBlocks(entry->swap, {front, static_cast<std::size_t>(frontBytes)},
                                     get<std::int64_t>(record, RecordAt::PartnerOffset),
                                     {front + frontBytes, static_cast<std::size_t>(partnerBytes)});
    if (!problem.isEmpty()) {
        *problemText = problem.text();
        return Decoded::BadTables;
    }
    return Decoded::Valid;
}

} // namespace

QString folderName()
{
    return QStringLiteral("cl2velmora");
}

bool isJournalName(std::string_view name)
{
    return name.starts_with("journal-") && name.ends_with(".bin");
}

std::int64_t slotOffset(int slot)
{
    return HeaderBytes + slot * SlotBytes;
}

std::int64_t longestJournal(std::uint32_t slotCount)
{
    return std::max(slotOffset(static_cast<int>(slotCount)),
                    slotOffset(static_cast<int>(slotCount) - 1) +
                        std::int64_t{std::numeric_limits<std::uint32_t>::max()});
}

void encodeHeader(char *header, std::uint32_t slotCount)
{
    std::fill(header, header + HeaderBytes, '\0');
    std::copy(FileMagic, FileMagic + 8, header + HeaderAt::Magic);
    put<std::uint32_t>(header, HeaderAt::Version, Version);
    put<std::uint32_t>(header, HeaderAt::SlotCount, slotCount);
    put<std::uint32_t>(header, HeaderAt::SlotBytes, SlotBytes);
    put<std::uint64_t>(header, HeaderAt::Checksum, checksum(header, HeaderAt::Checksum));
}

std::int64_t recordSize(std::int64_t storedPathBytes, const DirectionTables &tables)
{
    return RecordHeadBytes + storedPathBytes + std::ssize(tables.front()) +
           std::ssize(tables.partner()) + ChecksumBytes;
}

void encodeRecord(char *record, std::int64_t size, const RecordSource &source)
{
    const DirectionTables &tables = *source.tables;
    const std::int64_t pathBytes = source.storedFolder->size() + source.path->size();
    put<std::uint32_t>(record, RecordAt::Magic, RecordMagic);
    put<std::uint32_t>(record, RecordAt::Size, static_cast<std::uint32_t>(size));
    put<std::uint64_t>(record, RecordAt::Sequence, source.sequence);
    put<std::uint64_t>(record, RecordAt::Device, source.identity.id.device);
    put<std::uint64_t>(record, RecordAt::Inode, source.identity.id.inode);
    put<std::int64_t>(record, RecordAt::Length, source.identity.length);
    put<std::int64_t>(record, RecordAt::ModifiedSeconds, source.identity.modifiedSeconds);
    put<std::int32_t>(record, RecordAt::ModifiedNanoseconds, source.identity.modifiedNanoseconds);
    put<std::uint32_t>(record, RecordAt::Swap, source.swap == DirectionSwap::Forward ? 0 : 1);
    put<std::uint32_t>(record, RecordAt::PathBytes, static_cast<std::uint32_t>(pathBytes));
    put<std::uint32_t>(record, RecordAt::FrontBytes,
                       static_cast<std::uint32_t>(std::ssize(tables.front())));
    put<std::int64_t>(record, RecordAt::FrontOffset, 0);
    put<std::int64_t>(record, RecordAt::PartnerOffset, tables.partnerOffset());
    put<std::uint32_t>(record, RecordAt::PartnerBytes,
                       static_cast<std::uint32_t>(std::ssize(tables.partner())));
    put<std::uint32_t>(record, RecordAt::Reserved, 0);
    char *out = record + RecordHeadBytes;
    out = std::copy(source.storedFolder->begin(), source.storedFolder->end(), out);
    out = std::copy(source.path->begin(), source.path->end(), out);
    out = std::copy(tables.front().begin(), tables.front().end(), out);
    out = std::copy(tables.partner().begin(), tables.partner().end(), out);
    put<std::uint64_t>(record, size - ChecksumBytes, checksum(record, size - ChecksumBytes));
}

Contents read(const LockedFile &journal)
{
    Contents contents;
    QString error;
    const std::int64_t length = journal.length(&error);
    if (length < 0) {
        contents.unreadable = error;
        return contents;
    }
    char header[HeaderBytes] = {};
    const std::int64_t headerRead = journal.readAt(0, header, HeaderBytes, &error);
    if (headerRead < 0) {
        contents.unreadable = error;
        return contents;
    }
    const std::uint32_t slotCount = headerSlotCount(header, headerRead);
    if (slotCount < 1) {
        contents.unreadable = QStringLiteral("it does not begin with a valid header");
        return contents;
    }
    if (length > longestJournal(slotCount)) {
        contents.unreadable =
            QStringLiteral("it is longer (%1 bytes) than its header allows").arg(length);
        return contents;
    }
    // Its process died between the header and the slots: no record yet.
    contents.cut = length > HeaderBytes && length < slotOffset(static_cast<int>(slotCount));
    std::vector<char> bytes;
    for (std::uint32_t slot = 0; slot < slotCount; ++slot) {
        const std::int64_t at = slotOffset(static_cast<int>(slot));
        const std::int64_t room =
            slot + 1 == slotCount ? length - at : std::min(SlotBytes, length - at);
        char head[RecordHeadBytes];
        if (room < RecordHeadBytes ||
            journal.readAt(at, head, RecordHeadBytes, &error) != RecordHeadBytes ||
            get<std::uint32_t>(head, RecordAt::Magic) != RecordMagic) {
            continue;
        }
        const std::int64_t size = get<std::uint32_t>(head, RecordAt::Size);
        const std::int64_t pathBytes = get<std::uint32_t>(head, RecordAt::PathBytes);
        if (size < RecordHeadBytes + ChecksumBytes) {
            continue;
        }
        if (size > room) {
            // Torn by its process's end, or cut with the journal: then its
            // file is named, as far as the cut left its path.
            QByteArray path(std::min<std::int64_t>(pathBytes, room - RecordHeadBytes), '\0');
            if (contents.cut && at + std::min(size, SlotBytes) > length && pathBytes < size &&
                journal.readAt(at + RecordHeadBytes, path.data(), path.size(), &error) ==
                    path.size()) {
                contents.cutShort.push_back(path.size() == pathBytes ? path : path + "...");
            }
            continue;
        }
        bytes.resize(static_cast<std::size_t>(size));
        if (journal.readAt(at, bytes.data(), size, &error) != size) {
            contents.unreadable = error.isEmpty() ? QStringLiteral("it was cut short") : error;
            return contents;
        }
        if (get<std::uint64_t>(bytes.data(), size - ChecksumBytes) !=
            checksum(bytes.data(), size - ChecksumBytes)) {
            continue;
        }
        Record entry;
        entry.at = at;
        QString problem;
        switch (decodeRecord(bytes.data(), size, &entry, &problem)) {
        case Decoded::Valid:
            contents.records.push_back(std::move(entry));
            break;
        case Decoded::Malformed:
            // Its checksum holds: nothing in this journal can be trusted.
            contents.unreadable = QStringLiteral("a record in slot %1 is not valid").arg(slot);
            return contents;
        case Decoded::BadTables:
            contents.unreadable =
                QStringLiteral("the file in slot %1 %2").arg(QString::number(slot), problem);
            return contents;
        }
    }
    return contents;
}

} // namespace velmora::JournalFormat
