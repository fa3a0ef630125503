#include "convert/Journal.h"

#include "platform/DirectoryListing.h"
#include "text/PathText.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QtEndian>

#include <algorithm>
#include <limits>
#include <map>

namespace velmora {

namespace {

// The journal file: a header, then slotCount slots of SlotBytes each, the
// last of which may run on to take a record of any size.
//
// Header (32 bytes): magic "CL2VJRNL", format version, slot count, slot size,
// 4 bytes reserved, checksum of the 24 bytes before it.
//
// Record, at the start of a slot (all integers little-endian):
//    0 magic "CLVR"        4 record size        8 sequence number
//   16 device             24 inode             32 length
//   40 modified (s)       48 modified (ns)     52 swap (0 forward, 1 undo)
//   56 path size          60 front block size  64 front block offset
//   72 partner offset     80 partner size      84 reserved
//   88 path, front block, partner block, then the checksum of all before it.
// The sequence number grows with every record of a journal: of two records
// of one file, the later one counts.
constexpr char FileMagic[8] = {'C', 'L', '2', 'V', 'J', 'R', 'N', 'L'};
constexpr std::uint32_t FormatVersion = 1;
constexpr std::int64_t HeaderBytes = 32;
constexpr std::uint32_t RecordMagic = 0x52564C43; // "CLVR"
constexpr std::int64_t RecordHeadBytes = 88;
constexpr std::int64_t ChecksumBytes = 8;
constexpr std::int64_t SlotBytes = 64 * 1024;
constexpr int MaxSlots = 1024;

const QString FolderName = QStringLiteral("cl2velmora");

// A record cut short by the end of its process keeps part of an older record
// in its place, and the checksum must tell. A multiply-xorshift hash over
// 8-byte words changes with any such difference (but for a chance of one in
// 2^64) at a small fraction of a table CRC's cost.
std::uint64_t checksum(const char *data, std::int64_t size)
{
    constexpr std::uint64_t Multiplier = 0xFF51AFD7ED558CCDull;
    std::uint64_t h = 0x9E3779B97F4A7C15ull ^ static_cast<std::uint64_t>(size);
    std::int64_t i = 0;
    for (; i + 8 <= size; i += 8) {
        h = (h ^ qFromLittleEndian<std::uint64_t>(data + i)) * Multiplier;
        h ^= h >> 29;
    }
    char last[8] = {};
    std::copy(data + i, data + size, last);
    h = (h ^ qFromLittleEndian<std::uint64_t>(last)) * Multiplier;
    return h ^ (h >> 32);
}

template <typename T> void put(char *bytes, std::int64_t at, T value)
{
    qToLittleEndian(value, bytes + at);
}

template <typename T> T get(const char *bytes, std::int64_t at)
{
    return qFromLittleEndian<T>(bytes + at);
}

std::int64_t slotOffset(int slot)
{
    return HeaderBytes + slot * SlotBytes;
}

bool isJournalName(std::string_view name)
{
    return name.starts_with("journal-") && name.ends_with(".bin");
}

// --- repair ----------------------------------------------------------------

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
struct JournalContents
{
    std::vector<Record> records;
    QString unreadable;
    // The journal ends inside its slots, which a run never leaves: something
    // cut it. The files of records it cut into, where their paths are left.
    bool cut = false;
    std::vector<QByteArray> cutShort;
};

// The longest journal a header allows: its slots, the last of which may run
// on to take one record of any size.
std::int64_t longestJournal(std::uint32_t slotCount)
{
    return std::max(slotOffset(static_cast<int>(slotCount)),
                    slotOffset(static_cast<int>(slotCount) - 1) +
                        std::int64_t{std::numeric_limits<std::uint32_t>::max()});
}

// Reads the records of every slot, each only as far as its own size says. A
// slot that was never written, or whose record was cut short by the end of
// its process, holds no record: the writes such a record would cover had not
// begun.
JournalContents readJournal(const LockedFile &journal)
{
    JournalContents contents;
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
    const bool headerValid = headerRead == HeaderBytes &&
                             std::equal(FileMagic, FileMagic + 8, header) &&
                             get<std::uint64_t>(header, 24) == checksum(header, 24) &&
                             get<std::uint32_t>(header, 8) == FormatVersion;
    const std::uint32_t slotCount = headerValid ? get<std::uint32_t>(header, 12) : 0;
    if (!headerValid || slotCount < 1 || slotCount > MaxSlots ||
        get<std::uint32_t>(header, 16) != SlotBytes) {
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
            get<std::uint32_t>(head, 0) != RecordMagic) {
            continue;
        }
        const std::int64_t size = get<std::uint32_t>(head, 4);
        const std::int64_t pathBytes = get<std::uint32_t>(head, 56);
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
        const char *record = bytes.data();
        if (get<std::uint64_t>(record, size - ChecksumBytes) !=
            checksum(record, size - ChecksumBytes)) {
            continue;
        }
        // A record whose checksum holds and whose contents make no sense was
        // not written by us: nothing in this journal can be trusted.
        const std::int64_t frontBytes = get<std::uint32_t>(record, 60);
        const std::int64_t partnerBytes = get<std::uint32_t>(record, 80);
        const std::uint32_t swap = get<std::uint32_t>(record, 52);
        Record entry;
        entry.at = at;
        entry.sequence = get<std::uint64_t>(record, 8);
        entry.identity.id = FileId{get<std::uint64_t>(record, 16), get<std::uint64_t>(record, 24)};
        entry.identity.length = get<std::int64_t>(record, 32);
        entry.identity.modifiedSeconds = get<std::int64_t>(record, 40);
        entry.identity.modifiedNanoseconds = get<std::int32_t>(record, 48);
        entry.frontOffset = get<std::int64_t>(record, 64);
        const char *path = record + RecordHeadBytes;
        if (RecordHeadBytes + pathBytes + frontBytes + partnerBytes + ChecksumBytes != size ||
            swap > 1 || pathBytes < 2 || path[0] != '/' || entry.frontOffset != 0) {
            contents.unreadable = QStringLiteral("a record in slot %1 is not valid").arg(slot);
            return contents;
        }
        entry.path = QByteArray(path, pathBytes);
        entry.swap = swap == 0 ? DirectionSwap::Forward : DirectionSwap::Undo;
        const char *front = path + pathBytes;
        const FileProblem problem = entry.tables.loadFromBlocks(
            entry.swap, {front, static_cast<std::size_t>(frontBytes)},
            get<std::int64_t>(record, 72),
            {front + frontBytes, static_cast<std::size_t>(partnerBytes)});
        if (!problem.isEmpty()) {
            contents.unreadable =
                QStringLiteral("the file in slot %1 %2").arg(QString::number(slot), problem.text());
            return contents;
        }
        contents.records.push_back(std::move(entry));
    }
    return contents;
}

// What a block on disk holds: the original bytes, the new ones, a mix of the
// two byte for byte (a write cut short), or something else.
struct BlockState
{
    bool original = false;
    bool isNew = false;
    bool ours = false; // every byte is the original or the new one
};

BlockState blockState(const std::vector<char> &onDisk, const std::vector<char> &original,
                      const std::vector<char> &changed)
{
    BlockState state;
    state.original = onDisk == original;
    state.isNew = onDisk == changed;
    state.ours = true;
    for (std::size_t i = 0; i < onDisk.size() && state.ours; ++i) {
        state.ours = onDisk[i] == original[i] || onDisk[i] == changed[i];
    }
    return state;
}

void reportFile(MessageLog &log, LogEntry::Status status, const QByteArray &path,
                const QString &reason = {})
{
    LogEntry entry;
    entry.status = status;
    entry.path = path;
    entry.reason = reason;
    log.Report(entry);
}

// Settled: the record is needed no more (the file was put back, found whole,
// or found changed since and said so). Waiting: the file could not be
// reached or written; its record is kept for the next start.
enum class Outcome { Settled, Waiting };

// Checks one file a dead run recorded and puts it back when it was left
// between its two writes (in CheckOnly mode, says that it would).
Outcome repairFile(const Record &record, const QByteArray &journalPath, RepairMode mode,
                   MessageLog &log)
{
    const QByteArray &path = record.path;
    const auto cannotCheck = [&](const QString &why) {
        reportFile(log, LogEntry::Status::NotPutBack, path,
                   QLatin1String("could not be checked after an interrupted run: ") + why +
                       QLatin1String("; it was left as it is"));
        return Outcome::Settled;
    };
    const auto notYet = [&](const QString &why) {
        reportFile(log, LogEntry::Status::WaitsRepair, path,
                   QLatin1String("could not be checked after an interrupted run: ") + why +
                       QLatin1String("; it will be checked again at the next start (removing (") +
                       escapedPath(journalPath) + QLatin1String(") gives it up)"));
        return Outcome::Waiting;
    };
    BinaryFile file;
    QString error;
    FileIdentity now;
    switch (file.openNamed(record.path, &error)) {
    case BinaryFile::NamedOpen::Opened:
        break;
    case BinaryFile::NamedOpen::NotARegularFile:
        return cannotCheck(error);
    case BinaryFile::NamedOpen::Failed:
        return notYet(QLatin1String("it could not be opened (") + error + u')');
    }
    // Our own writes moved the modification time, so it tells nothing here:
    // the blocks' bytes tell which writes were made.
    if (!file.identity(&now, &error) || now.id != record.identity.id) {
        return cannotCheck(QStringLiteral("another file has taken its name"));
    }
    if (now.length != record.identity.length) {
        return cannotCheck(QStringLiteral("its length changed from %1 to %2 bytes")
                               .arg(record.identity.length)
                               .arg(now.length));
    }
    const DirectionTables &tables = record.tables;
    std::vector<char> front(tables.front().size());
    std::vector<char> partner(tables.partner().size());
    if (file.readAt(record.frontOffset, front.data(), std::ssize(front), &error) !=
            std::ssize(front) ||
        file.readAt(tables.partnerOffset(), partner.data(), std::ssize(partner), &error) !=
            std::ssize(partner)) {
        return error.isEmpty() ? cannotCheck(QStringLiteral("it ends before its frame tables"))
                               : notYet(QLatin1String("it could not be read (") + error + u')');
    }
    const BlockState frontState = blockState(front, tables.front(), tables.newFront());
    const BlockState partnerState = blockState(partner, tables.partner(), tables.newPartner());
    if (!frontState.ours || !partnerState.ours) {
        return cannotCheck(QStringLiteral("its bytes were changed since"));
    }
    if ((frontState.original && partnerState.original) ||
        (frontState.isNew && partnerState.isNew)) {
        return Outcome::Settled; // untouched, or converted whole
    }
    if (mode == RepairMode::CheckOnly) {
        reportFile(log, LogEntry::Status::WaitsRepair, path,
                   QStringLiteral("was left half-rewritten by an interrupted run; a run without "
                                  "--dry-run will put it back"));
        return Outcome::Waiting;
    }
    const bool putBack =
        (frontState.original ||
         file.writeAt(record.frontOffset, tables.front().data(), std::ssize(front), &error)) &&
        (partnerState.original || file.writeAt(tables.partnerOffset(), tables.partner().data(),
                                               std::ssize(partner), &error)) &&
        file.sync(&error) && file.close(&error);
    if (putBack) {
        reportFile(log, LogEntry::Status::PutBack, path);
    } else {
        reportFile(log, LogEntry::Status::NotPutBack, path,
                   QLatin1String("could not be put back as it was before an interrupted run (") +
                       error + QLatin1String("); it may be left half-rewritten"));
    }
    return putBack ? Outcome::Settled : Outcome::Waiting;
}

void reportJournal(MessageLog &log, const QByteArray &path, const QString &text)
{
    LogEntry entry;
    entry.status = LogEntry::Status::JournalFailed;
    entry.path = path;
    entry.reason = text;
    log.Report(entry);
}

// Says why the journal is not used and, outside CheckOnly, moves it aside to
// a name never read again, so that it is reported once; when even that
// fails, says how to be rid of it.
void setAside(LockedFile &journal, const QString &what, RepairMode mode, MessageLog &log)
{
    const QByteArray original = journal.path();
    const QByteArray kept = original + ".bad";
    QString error;
    QString fate;
    if (mode == RepairMode::CheckOnly) {
        fate = QStringLiteral("; it was left as it is");
    } else if (journal.rename(kept, &error)) {
        fate = QLatin1String("; it was kept as (") + escapedPath(kept) + u')';
    } else {
        fate = QLatin1String("; it could not be moved aside (") + error +
               QLatin1String("): remove it to stop this message");
    }
    reportJournal(log, original,
                  QLatin1String("of an interrupted run ") + what + fate +
                      QLatin1String("; a file being converted then may be left half-rewritten"));
    journal.close();
}

void repairJournal(LockedFile &journal, RepairMode mode, MessageLog &log)
{
    QString error;
    // An empty journal belongs to a process that died as it started, or to
    // one that has just made it and not yet locked it: see LockedFile::create.
    if (journal.length(&error) == 0) {
        if (mode == RepairMode::Repair) {
            journal.remove(&error);
        }
        return;
    }
    JournalContents contents = readJournal(journal);
    if (!contents.unreadable.isEmpty()) {
        // Kept for whoever wants to look, under a name never read again, so it
        // is reported once.
        setAside(journal, QLatin1String("could not be read: ") + contents.unreadable, mode, log);
        return;
    }
    // Of two records of one file, the later one describes it.
    std::map<std::pair<std::uint64_t, std::uint64_t>, const Record *> latest;
    for (const Record &record : contents.records) {
        const Record *&kept = latest[{record.identity.id.device, record.identity.id.inode}];
        if (!kept || kept->sequence < record.sequence) {
            kept = &record;
        }
    }
    std::vector<const Record *> inOrder;
    for (const auto &entry : latest) {
        inOrder.push_back(entry.second);
    }
    std::sort(inOrder.begin(), inOrder.end(),
              [](const Record *a, const Record *b) { return a->sequence < b->sequence; });
    std::vector<std::int64_t> settled; // the slots whose records are needed no more
    for (const Record &record : contents.records) {
        if (latest[{record.identity.id.device, record.identity.id.inode}] != &record) {
            settled.push_back(record.at);
        }
    }
    bool waiting = false;
    for (const Record *record : inOrder) {
        if (repairFile(*record, journal.path(), mode, log) == Outcome::Settled) {
            settled.push_back(record->at);
        } else {
            waiting = true;
        }
    }
    for (const QByteArray &path : contents.cutShort) {
        reportFile(log, LogEntry::Status::NotPutBack, path,
                   QStringLiteral("could not be checked after an interrupted run: its record in "
                                  "the journal was cut short; it may be left half-rewritten"));
    }
    if (mode == RepairMode::CheckOnly) {
        return;
    }
    if (contents.cut && !waiting) {
        setAside(journal, QStringLiteral("was cut short inside its slots"), mode, log);
        return;
    }
    if (contents.cut) {
        reportJournal(log, journal.path(),
                      QStringLiteral("of an interrupted run was cut short inside its slots; a "
                                     "file being converted then may be left half-rewritten"));
    }
    if (waiting) {
        // Only the records still needed stay: a slot without the magic holds
        // none.
        const char none[4] = {};
        for (const std::int64_t at : settled) {
            journal.writeAt(at, none, sizeof none, &error);
        }
        return;
    }
    const QByteArray path = journal.path();
    if (!journal.remove(&error)) {
        reportJournal(log, path,
                      QLatin1String("of an interrupted run could not be removed: ") + error);
    }
}

} // namespace

// --- writing ---------------------------------------------------------------

std::unique_ptr<Journal> Journal::create(Durability durability, QString *reason, int slotCount)
{
    const QString folder = stateFolder(FolderName, reason);
    if (folder.isEmpty() || !makeFolders(folder, reason)) {
        return nullptr;
    }
    if (QString why; !isOwnFolder(QFile::encodeName(folder), &why)) {
        *reason = folder + QLatin1String(": ") + why;
        return nullptr;
    }
    std::unique_ptr<Journal> journal(new Journal);
    journal->m_durability = durability;
    journal->m_slotCount = std::clamp(slotCount, 1, MaxSlots);
    journal->m_folderOfRelativePaths = QFile::encodeName(QDir::currentPath());
    if (!journal->m_folderOfRelativePaths.endsWith('/')) {
        journal->m_folderOfRelativePaths += '/';
    }

    // A dead process with our id may have left a journal that could not be
    // removed; ours then takes another name.
    const QByteArray stem = QFile::encodeName(folder) + "/journal-" +
                            QByteArray::number(QCoreApplication::applicationPid());
    QString error;
    LockedFile::Created created = LockedFile::Created::AlreadyThere;
    for (int n = 0; n < 100 && created == LockedFile::Created::AlreadyThere; ++n) {
        const QByteArray suffix = n == 0 ? QByteArray() : '-' + QByteArray::number(n);
        const QByteArray name = stem + suffix + ".bin";
        created = journal->m_file.create(name, &error);
    }
    if (created != LockedFile::Created::Yes) {
        *reason = QFile::decodeName(journal->m_file.path()) + QLatin1String(": ") + error;
        return nullptr;
    }

    std::vector<char> header(HeaderBytes, '\0');
    std::copy(FileMagic, FileMagic + 8, header.begin());
    put<std::uint32_t>(header.data(), 8, FormatVersion);
    put<std::uint32_t>(header.data(), 12, static_cast<std::uint32_t>(journal->m_slotCount));
    put<std::uint32_t>(header.data(), 16, SlotBytes);
    put<std::uint64_t>(header.data(), 24, checksum(header.data(), 24));
    journal->m_mappedBytes = slotOffset(journal->m_slotCount);
    bool ready = journal->m_file.writeAt(0, header.data(), HeaderBytes, &error) &&
                 (journal->m_slots = journal->m_file.mapForWriting(journal->m_mappedBytes, &error));
    if (ready && durability == Durability::PowerLoss) {
        // The journal's name and header must be on the disk before any record
        // in it can be relied on.
        ready = journal->m_file.syncAll(&error) && syncFolder(folder, &error);
    }
    if (!ready) {
        *reason = QFile::decodeName(journal->m_file.path()) + QLatin1String(": ") + error;
        journal->m_file.remove(&error);
        return nullptr;
    }
    return journal;
}

Journal::~Journal()
{
    // The run ended normally: every file it touched is whole.
    if (m_file.isOpen()) {
        QString error;
        m_file.remove(&error);
    }
}

void Journal::setFailureHandler(std::function<void(const QString &)> handler)
{
    m_onFailure = std::move(handler);
}

void Journal::fail(const QString &reason)
{
    const std::lock_guard lock(m_failureMutex);
    if (!m_failed) {
        m_failed = true;
        m_failure = reason;
    }
}

void Journal::deliverFailure()
{
    QString reason;
    {
        const std::lock_guard lock(m_failureMutex);
        if (!m_failed || m_failureDelivered) {
            return;
        }
        m_failureDelivered = true;
        reason = m_failure;
    }
    if (m_onFailure) {
        m_onFailure(reason);
    }
}

std::int64_t Journal::storedPathBytes(const QByteArray &encodedPath) const
{
    // The next start may run in another folder: a relative path is stored
    // after the folder it starts in.
    return encodedPath.size() + (encodedPath.startsWith('/') ? 0 : m_folderOfRelativePaths.size());
}

std::int64_t Journal::recordSize(const QByteArray &encodedPath, const DirectionTables &tables) const
{
    return RecordHeadBytes + storedPathBytes(encodedPath) + std::ssize(tables.front()) +
           std::ssize(tables.partner()) + ChecksumBytes;
}

bool Journal::fits(int slot, const QByteArray &encodedPath, const DirectionTables &tables) const
{
    return slot + 1 == m_slotCount || recordSize(encodedPath, tables) <= SlotBytes;
}

bool Journal::record(int slot, const QByteArray &encodedPath, BinaryFile &file, DirectionSwap swap,
                     const DirectionTables &tables)
{
    if (slot < 0 || slot >= m_slotCount) {
        return false;
    }
    const QByteArray &given = encodedPath;
    // The next start may run in another folder: the path must be absolute.
    const bool relative = !given.startsWith('/');
    const std::int64_t size = recordSize(given, tables);
    const std::int64_t pathBytes = storedPathBytes(given);
    const std::int64_t frontBytes = std::ssize(tables.front());
    const std::int64_t partnerBytes = std::ssize(tables.partner());
    if (!fits(slot, given, tables)) {
        return false;
    }
    QString error;
    FileIdentity identity;
    if (!file.identity(&identity, &error)) {
        fail(QFile::decodeName(given) + QLatin1String(": ") + error);
        return false;
    }

    // A record that fits the mapped slots is built in place; only the last
    // slot, which no other thread uses, takes a larger one, written by pwrite.
    const std::int64_t at = slotOffset(slot);
    const bool mapped = at + size <= m_mappedBytes;
    if (!mapped) {
        m_record.resize(static_cast<std::size_t>(size));
    }
    char *const record = mapped ? m_slots + at : m_record.data();
    put<std::uint32_t>(record, 0, RecordMagic);
    put<std::uint32_t>(record, 4, static_cast<std::uint32_t>(size));
    put<std::uint64_t>(record, 8, ++m_sequence);
    put<std::uint64_t>(record, 16, identity.id.device);
    put<std::uint64_t>(record, 24, identity.id.inode);
    put<std::int64_t>(record, 32, identity.length);
    put<std::int64_t>(record, 40, identity.modifiedSeconds);
    put<std::int32_t>(record, 48, identity.modifiedNanoseconds);
    put<std::uint32_t>(record, 52, swap == DirectionSwap::Forward ? 0 : 1);
    put<std::uint32_t>(record, 56, static_cast<std::uint32_t>(pathBytes));
    put<std::uint32_t>(record, 60, static_cast<std::uint32_t>(frontBytes));
    put<std::int64_t>(record, 64, 0);
    put<std::int64_t>(record, 72, tables.partnerOffset());
    put<std::uint32_t>(record, 80, static_cast<std::uint32_t>(partnerBytes));
    put<std::uint32_t>(record, 84, 0);
    char *out = record + RecordHeadBytes;
    if (relative) {
        out = std::copy(m_folderOfRelativePaths.begin(), m_folderOfRelativePaths.end(), out);
    }
    out = std::copy(given.begin(), given.end(), out);
    out = std::copy(tables.front().begin(), tables.front().end(), out);
    out = std::copy(tables.partner().begin(), tables.partner().end(), out);
    put<std::uint64_t>(record, size - ChecksumBytes, checksum(record, size - ChecksumBytes));
    if (!mapped && !m_file.writeAt(at, record, size, &error)) {
        fail(QFile::decodeName(m_file.path()) + QLatin1String(": ") + error);
        return false;
    }
    return true;
}

bool Journal::commit()
{
    QString error;
    if (m_durability == Durability::PowerLoss && !m_file.syncData(&error)) {
        fail(QFile::decodeName(m_file.path()) + QLatin1String(": ") + error);
        return false;
    }
    return true;
}

QString Journal::written(BinaryFile &file)
{
    QString error;
    if (m_durability == Durability::PowerLoss && !file.sync(&error)) {
        return QLatin1String("may not have reached the disk: ") + error;
    }
    return {};
}

QString storeRecorded(BinaryFile &file, const QByteArray &encodedPath,
                      const DirectionTables &tables, DirectionSwap swap, Journal *journal, int slot)
{
    if (!journal) {
        return tables.store(file);
    }
    // Under PowerLoss, a power cut at any instant leaves the file original or
    // converted: its record is on the disk before the first write (commit),
    // so a file the cut left half-written is always recorded; and its data is
    // on the disk before its slot takes the next file's record (written), so
    // a record is never lost while its file is half-written. A record the
    // cut tore fails its checksum, but then its writes had not begun. The
    // previous file's record may be torn with it: its data was already on
    // the disk.
    journal->record(slot, encodedPath, file, swap, tables);
    journal->commit();
    const QString problem = tables.store(file);
    // Even a failed store has written something (then put it back).
    const QString unsynced = journal->written(file);
    return problem.isEmpty() ? unsynced : problem;
}

void RepairInterruptedRuns(MessageLog &log, RepairMode mode)
{
    QString error;
    const QString folder = stateFolder(FolderName, &error);
    if (folder.isEmpty()) {
        return; // no folder could hold a journal; creating one will say why
    }
    const QByteArray encodedFolder = QFile::encodeName(folder);
    if (!isOwnFolder(encodedFolder, &error)) {
        // Missing until the first run. Nothing in a folder another user can
        // write to is believed; making the journal there fails and says why.
        return;
    }
    // One repair at a time: a program that starts during another's repair
    // waits for it to end, rather than take the journal it repairs for a
    // live run's and convert its half-written files. A dry run makes no
    // lock file; without one, no repair is under way.
    LockedFile repairing;
    repairing.lockWaiting(encodedFolder + "/repair.lock", mode == RepairMode::Repair, &error);
    DirectoryListing listing;
    if (listing.read(encodedFolder, &error) != DirectoryListing::Outcome::Listed) {
        return;
    }
    for (std::size_t i = 0; i < listing.count(); ++i) {
        if (!isJournalName(listing.name(i))) {
            continue;
        }
        const QByteArray path =
            encodedFolder + '/' +
            QByteArray(listing.name(i).data(), static_cast<qsizetype>(listing.name(i).size()));
        LockedFile journal;
        switch (journal.claim(path, &error)) {
        case LockedFile::Claim::Claimed:
            repairJournal(journal, mode, log);
            break;
        case LockedFile::Claim::HeldByAnother: // its process is alive
        case LockedFile::Claim::Gone:
            break;
        case LockedFile::Claim::Untrusted:
            setAside(journal, QLatin1String("is not trusted: ") + error, mode, log);
            break;
        case LockedFile::Claim::NotNow: // kept as it is for the next start
            reportJournal(log, path,
                          QLatin1String("of an interrupted run could not be read now (") + error +
                              QLatin1String("); it is kept for the next start"));
            break;
        case LockedFile::Claim::Failed:
            setAside(journal, QLatin1String("could not be read: ") + error, mode, log);
            break;
        }
    }
    log.Repaint();
}

} // namespace velmora
