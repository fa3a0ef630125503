#include "cli/JsonLines.h"

#include "text/PathText.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace velmora {

namespace {

const char *statusName(LogEntry::Status status)
{
    using Status = LogEntry::Status;
    switch (status) {
    case Status::Converted:
        return "converted";
    case Status::AlreadyConverted:
        return "already_converted";
    case Status::Skipped:
        return "skipped";
    case Status::NotEightDirections:
        return "not_eight_directions";
    case Status::Damaged:
        return "damaged";
    case Status::NotRegularFile:
        return "not_regular_file";
    case Status::ChangedSince:
        return "changed_since";
    case Status::Busy:
        return "busy";
    case Status::OpenFailed:
        return "open_failed";
    case Status::ReadFailed:
        return "read_failed";
    case Status::WriteFailed:
        return "write_failed";
    case Status::CloseFailed:
        return "close_failed";
    case Status::PutBack:
        return "put_back";
    case Status::NotPutBack:
        return "not_put_back";
    case Status::WaitsRepair:
        return "waits_repair";
    case Status::JournalFailed:
        return "journal_failed";
    case Status::Found:
        return "found";
    case Status::NoneFound:
        return "none_found";
    case Status::FolderNotListed:
        return "folder_not_listed";
    case Status::MaskInvalid:
        return "mask_invalid";
    case Status::Stopped:
        return "stopped";
    case Status::StoppedSearching:
        return "stopped_searching";
    }
    return "unknown";
}

// Invalid bytes come back from the round trip as replacement characters.
bool isUtf8(const QByteArray &bytes)
{
    return QString::fromUtf8(bytes).toUtf8() == bytes;
}

QByteArray compact(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

} // namespace

QByteArray jsonLine(const LogEntry &entry)
{
    QJsonObject object{{QStringLiteral("status"), QLatin1String(statusName(entry.status))},
                       {QStringLiteral("message"), formatLine(entry)}};
    const bool hasPath = !entry.path.isEmpty();
    if (hasPath && isUtf8(entry.path)) {
        object.insert(QStringLiteral("path"), QString::fromUtf8(entry.path));
    } else if (hasPath) {
        object.insert(QStringLiteral("path"), escapedPath(entry.path));
        object.insert(QStringLiteral("path_base64"), QLatin1String(entry.path.toBase64()));
    }
    if (!entry.reason.isEmpty()) {
        object.insert(QStringLiteral("reason"), entry.reason);
    }
    using Status = LogEntry::Status;
    if (entry.status == Status::Found || entry.status == Status::Stopped ||
        entry.status == Status::StoppedSearching) {
        object.insert(QStringLiteral("count"), double(entry.count));
    }
    if (entry.status == Status::Stopped ||
        (entry.status == Status::StoppedSearching && entry.total > 0)) {
        object.insert(QStringLiteral("total"), double(entry.total));
    }
    if (!entry.mask.isEmpty()) {
        object.insert(QStringLiteral("mask"), entry.mask);
    }
    if (entry.status == Status::Converted || entry.status == Status::AlreadyConverted) {
        object.insert(QStringLiteral("dry_run"), entry.dryRun);
        object.insert(QStringLiteral("undo"), entry.undo);
    }
    return compact(object);
}

QByteArray jsonSummary(const RunSummary &summary, double seconds, int exitStatus)
{
    return compact({{QStringLiteral("status"), QStringLiteral("summary")},
                    {QStringLiteral("converted"), double(summary.converted)},
                    {QStringLiteral("not_eight_directions"), double(summary.notEightDirections)},
                    {QStringLiteral("already_converted"), double(summary.alreadyConverted)},
                    {QStringLiteral("failed"), double(summary.failed)},
                    {QStringLiteral("folders_not_listed"), double(summary.foldersNotListed)},
                    {QStringLiteral("put_back"), double(summary.putBack)},
                    {QStringLiteral("skipped"), double(summary.skipped)},
                    {QStringLiteral("converted_again"), double(summary.turnedAgain)},
                    {QStringLiteral("stopped"), summary.stopped},
                    {QStringLiteral("seconds"), seconds},
                    {QStringLiteral("exit_status"), exitStatus}});
}

} // namespace velmora
