#include "convert/LogEntry.h"

#include "text/PathText.h"

namespace velmora {

namespace {

using Status = LogEntry::Status;

QString convertedText(const LogEntry &entry)
{
    if (entry.undo) {
        return entry.dryRun ? QStringLiteral("directions would be restored")
                            : QStringLiteral("directions were restored");
    }
    return entry.dryRun ? QStringLiteral("directions would be realigned")
                        : QStringLiteral("directions were realigned");
}

// What a file's line says after its path.
QString fileText(const LogEntry &entry)
{
    switch (entry.status) {
    case Status::Converted:
        return convertedText(entry);
    case Status::AlreadyConverted:
        return entry.dryRun ? QStringLiteral("would already be converted in this run")
                            : QStringLiteral("was already converted in this run");
    case Status::Skipped:
        return QLatin1String("was left out: a run on ") + entry.reason +
               QLatin1String(" converted it");
    case Status::NotEightDirections:
        return QStringLiteral("isn't a 8 directions file");
    case Status::NotRegularFile:
        return QLatin1String("is not a regular file (") + entry.reason + u')';
    case Status::ChangedSince:
        return QStringLiteral("is no longer the file that was converted");
    case Status::OpenFailed:
        return QLatin1String("could not be opened: ") + entry.reason;
    case Status::ReadFailed:
        return QLatin1String("could not be read: ") + entry.reason;
    case Status::PutBack:
        return QStringLiteral("was put back as it was before an interrupted run");
    default:
        return entry.reason;
    }
}

QString matchedText(const LogEntry &entry)
{
    return entry.mask.isEmpty() ? QString() : QLatin1String(" matching (") + entry.mask + u')';
}

} // namespace

QString FileProblem::text() const
{
    LogEntry entry;
    entry.status = status;
    entry.reason = reason;
    return fileText(entry);
}

bool LogEntry::isSuccess() const
{
    return status == Status::Converted || status == Status::Found || status == Status::PutBack ||
           status == Status::Skipped;
}

bool LogEntry::isFailure() const
{
    switch (status) {
    case Status::Converted:
    case Status::AlreadyConverted:
    case Status::Skipped:
    case Status::NotEightDirections:
    case Status::PutBack:
    case Status::Found:
    case Status::NoneFound:
    case Status::Stopped:
    case Status::StoppedSearching:
        return false;
    default:
        return true;
    }
}

QString formatLine(const LogEntry &entry)
{
    const QString path = escapedPath(entry.path);
    const QString where =
        QLatin1String(" were found on (") + path + QLatin1String(") and subfolders");
    switch (entry.status) {
    case Status::Found:
        return QLatin1String("SUCCESS: (") + QString::number(entry.count) +
               QLatin1String(") files") + matchedText(entry) + where;
    case Status::NoneFound:
        return (entry.mask.isEmpty() ? QStringLiteral("ERROR: No *.cl2 files")
                                     : QLatin1String("ERROR: No files") + matchedText(entry)) +
               where;
    case Status::FolderNotListed:
        return QLatin1String("ERROR: Folder (") + path + QLatin1String(") could not be listed: ") +
               entry.reason;
    case Status::MaskInvalid:
        return QLatin1String("ERROR: The mask list (") + entry.mask +
               QLatin1String(") is not valid: ") + entry.reason;
    case Status::Stopped:
        return QLatin1String("ERROR: Conversion stopped after (") + QString::number(entry.count) +
               QLatin1String(") of (") + QString::number(entry.total) + QLatin1String(") files");
    case Status::StoppedSearching:
        if (entry.total > 0) {
            return QLatin1String("ERROR: Conversion stopped while searching (") + path +
                   QLatin1String(") and subfolders, after (") + QString::number(entry.count) +
                   QLatin1String(") of the (") + QString::number(entry.total) +
                   QLatin1String(") files found so far");
        }
        return QLatin1String("ERROR: Conversion stopped while searching (") + path +
               QLatin1String(") and subfolders; no file found there was converted");
    case Status::JournalFailed:
        return QLatin1String("ERROR: Journal (") + path + QLatin1String(") ") + entry.reason;
    default:
        return (entry.isSuccess() ? QLatin1String("SUCCESS: File (")
                                  : QLatin1String("ERROR: File (")) +
               path + QLatin1String(") ") + fileText(entry);
    }
}

} // namespace velmora
