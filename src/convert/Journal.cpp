#include "convert/Journal.h"

#include "convert/JournalFormat.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <algorithm>

namespace velmora {

using namespace JournalFormat;

std::unique_ptr<Journal> Journal::create(Durability durability, QString *reason, int slotCount)
{
    const QString folder = stateFolder(folderName(), reason);
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

    char header[HeaderBytes];
    encodeHeader(header, static_cast<std::uint32_t>(journal->m_slotCount));
    journal->m_mappedBytes = slotOffset(journal->m_slotCount);
    bool ready = journal->m_file.writeAt(0, header, HeaderBytes, &error) &&
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
    return JournalFormat::recordSize(storedPathBytes(encodedPath), tables);
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
    const QByteArray absolute;
    RecordSource source;
    source.sequence = ++m_sequence;
    source.identity = identity;
    source.swap = swap;
    source.storedFolder = relative ? &m_folderOfRelativePaths : &absolute;
    source.path = &given;
    source.tables = &tables;
    encodeRecord(record, size, source);
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

} // namespace velmora
