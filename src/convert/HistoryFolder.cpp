#include "convert/HistoryFolder.h"

#include "convert/RecordFormat.h"
#include "platform/DirectoryListing.h"
#include "platform/LockedFile.h"

#include <QFile>
#include <QList>

namespace velmora {

QByteArray historyFolder(bool make, QString *reason)
{
    const QString state = stateFolder(QStringLiteral("cl2velmora"), reason);
    if (state.isEmpty()) {
        return {};
    }
    // Nothing is made inside a folder that is not the user's own.
    const QString folder = state + QLatin1String("/history");
    for (const QString &path : {state, folder}) {
        if (make && !makeFolders(path, reason)) {
            return {};
        }
        if (QString why; !isOwnFolder(QFile::encodeName(path), &why)) {
            *reason = path + QLatin1String(": ") + why;
            return {};
        }
    }
    return QFile::encodeName(folder);
}

std::vector<QByteArray> recordPaths(const QByteArray &folder)
{
    std::vector<QByteArray> paths;
    DirectoryListing listing;
    QString error;
    if (listing.read(folder, &error) != DirectoryListing::Outcome::Listed) {
        return paths;
    }
    for (std::size_t i = 0; i < listing.count(); ++i) {
        if (RecordFormat::isRecordName(listing.name(i))) {
            paths.push_back(folder + '/' +
                            QByteArray(listing.name(i).data(), qsizetype(listing.name(i).size())));
        }
    }
    return paths;
}

std::vector<QByteArray> keptRecords()
{
    QString reason;
    const QByteArray folder = historyFolder(false, &reason);
    return folder.isEmpty() ? std::vector<QByteArray>() : recordPaths(folder);
}

void removeOldRecords(const QByteArray &folder, int keepRuns, std::int64_t keepBytes)
{
    const std::vector<QByteArray> paths = recordPaths(folder);
    std::int64_t bytes = 0;
    int kept = 0;
    for (auto it = paths.rbegin(); it != paths.rend(); ++it) {
        QString error;
        LockedFile record;
        bool live = false;
        if (!record.openToRead(*it, &live, &error)) {
            continue; // not ours to remove; the reader says why
        }
        const std::int64_t length = record.length(&error);
        record.close();
        if (kept < keepRuns && bytes + length <= keepBytes) {
            ++kept;
            bytes += length;
            continue;
        }
        if (record.claim(*it, &error) == LockedFile::Claim::Claimed) {
            record.remove(&error);
        }
    }
}

qint64 writerOfRecord(const QByteArray &path)
{
    // run-TIME-PID.bin or run-TIME-PID-N.bin
    const QByteArray name = path.mid(path.lastIndexOf('/') + 1);
    const QList<QByteArray> parts = name.chopped(4).split('-'); // without ".bin"
    bool ok = false;
    const qint64 pid = parts.size() >= 3 ? parts[2].toLongLong(&ok) : -1;
    return ok ? pid : -1;
}

} // namespace velmora
