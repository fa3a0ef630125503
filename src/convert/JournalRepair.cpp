#include "convert/JournalRepair.h"

#include "convert/JournalFormat.h"
#include "convert/RunRecord.h"
#include "platform/BinaryFile.h"
#include "platform/DirectoryListing.h"
#include "platform/LockedFile.h"
#include "text/PathText.h"

#include <QFile>

#include <algorithm>
#include <map>

namespace velmora {

namespace {

using JournalFormat::Record;

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
// A file found converted whole goes to *converted: its run may have been
// killed before it recorded it in the history.
Outcome repairFile(const Record &record, const QByteArray &journalPath, RepairMode mode,
                   MessageLog &log, std::vector<UnrecordedFile> *converted)
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
    if (frontState.original && partnerState.original) {
        return Outcome::Settled; // untouched (or written with the same bytes)
    }
    if (frontState.isNew && partnerState.isNew) {
        if (mode == RepairMode::Repair) {
            // Not written since it was opened and locked.
            converted->push_back({record.path, now.id, file.stampWhenLocked()});
        }
        return Outcome::Settled;
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

// The process a journal's name says wrote it: journal-PID.bin or
// journal-PID-N.bin.
qint64 writerOf(const QByteArray &journalPath)
{
    const QByteArray name = journalPath.mid(journalPath.lastIndexOf('/') + 1);
    bool ok = false;
    const qint64 pid = name.chopped(4).split('-').value(1).toLongLong(&ok); // without ".bin"
    return ok ? pid : -1;
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
    JournalFormat::Contents contents = JournalFormat::read(journal);
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
    std::vector<UnrecordedFile> converted;
    for (const Record *record : inOrder) {
        if (repairFile(*record, journal.path(), mode, log, &converted) == Outcome::Settled) {
            settled.push_back(record->at);
        } else {
            waiting = true;
        }
    }
    if (!converted.empty()) {
        recordFilesOfKilledRun(writerOf(journal.path()), converted);
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

void RepairInterruptedRuns(MessageLog &log, RepairMode mode)
{
    QString error;
    const QString folder = stateFolder(JournalFormat::folderName(), &error);
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
        if (!JournalFormat::isJournalName(listing.name(i))) {
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
