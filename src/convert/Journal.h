#pragma once

#include "convert/DirectionTables.h"
#include "platform/BinaryFile.h"
#include "platform/LockedFile.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace velmora {

// A rewrite is two writes at two places in a file; a process that dies
// between them leaves a file that still looks valid but has lost a direction.
// Before its first write, each file gets a record here of what tells its
// state apart later and what puts it back: its path, identity and the
// original bytes of both blocks (the new bytes follow from them). The next
// start of either program reads the journals of dead processes and repairs
// (RepairInterruptedRuns, in JournalRepair.h). The file's layout is in
// JournalFormat.h.
//
// One journal per process, in the state folder, locked for the process's
// lifetime so that the lock, not a process id, tells a live owner from a dead
// one. It has a few slots at fixed places; each record is written into a slot
// in one go, so the journal never grows with a batch, and a record cut short
// is recognised by its checksum. The slots are mapped into memory: a record is
// one copy into the page cache, not a system call, which keeps the journal's
// cost to a few percent of a conversion. A run that ends normally deletes its
// journal.
class Journal
{
public:
    enum class Durability {
        // The records live in the page cache: they survive the death of the
        // process, not of the machine. Costs one pwrite per file.
        ProcessDeath,
        // The records and the data reach the disk in an order that leaves
        // every file original or converted after a power cut at any instant.
        PowerLoss,
    };

    // Creates this process's journal in the state folder. Null, with the
    // reason, when it cannot be had (no usable state folder, a full disk).
    static std::unique_ptr<Journal> create(Durability durability, QString *reason,
                                           int slotCount = 1);
    ~Journal();
    Journal(const Journal &) = delete;
    Journal &operator=(const Journal &) = delete;

    // Called with the reason, by deliverFailure(), the first time a record
    // could not be written; the journal keeps trying with the files after it.
    void setFailureHandler(std::function<void(const QString &reason)> handler);
    // Calls the failure handler on this thread if a record failed since.
    void deliverFailure();

    // Records the open file's original blocks in a slot, with one copy (one
    // pwrite for a record larger than the mapped slots). Threads may record
    // at once, each in a slot of its own.
    // Only the last slot takes a record of any size; in the others, a record
    // larger than the slot is refused (false) without being reported.
    // encodedPath is the path the file was opened by, as the system took it.
    bool record(int slot, const QByteArray &encodedPath, BinaryFile &file, DirectionSwap swap,
                const DirectionTables &tables);
    // Under PowerLoss, waits until the records written so far are on the disk:
    // the writes they cover may start only afterwards.
    bool commit();
    // Under PowerLoss, waits until the file's writes are on the disk: only
    // then may its slot take another record. What failed, or empty.
    QString written(BinaryFile &file);

    // Whether slot takes the record of this file.
    bool fits(int slot, const QByteArray &encodedPath, const DirectionTables &tables) const;
    int slotCount() const { return m_slotCount; }
    const QByteArray &path() const { return m_file.path(); }

private:
    Journal() = default;
    void fail(const QString &reason);
    std::int64_t storedPathBytes(const QByteArray &encodedPath) const;
    std::int64_t recordSize(const QByteArray &encodedPath, const DirectionTables &tables) const;

    LockedFile m_file;
    char *m_slots = nullptr; // the mapped file, header included
    std::int64_t m_mappedBytes = 0;
    Durability m_durability = Durability::ProcessDeath;
    int m_slotCount = 1;
    std::atomic<std::uint64_t> m_sequence{0};
    QByteArray m_folderOfRelativePaths; // where relative paths start, ending in '/'
    std::vector<char> m_record;
    std::function<void(const QString &)> m_onFailure;
    std::mutex m_failureMutex;
    bool m_failed = false;
    bool m_failureDelivered = false;
    QString m_failure;
};

// Writes the prepared tables to the file as DirectionTables::store() does,
// recording the file (opened by encodedPath) in journal's slot first when
// there is a journal.
QString storeRecorded(BinaryFile &file, const QByteArray &encodedPath,
                      const DirectionTables &tables, DirectionSwap swap, Journal *journal,
                      int slot);

} // namespace velmora
