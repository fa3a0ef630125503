#include "convert/RunSummary.h"

#include <QStringList>

namespace velmora {

void RunSummary::add(const LogEntry &entry)
{
    using Status = LogEntry::Status;
    switch (entry.status) {
    case Status::Converted:
        ++converted;
        return;
    case Status::NotEightDirections:
        ++notEightDirections;
        m_leftAlone = true;
        return;
    case Status::AlreadyConverted:
        ++alreadyConverted;
        m_leftAlone = true;
        return;
    case Status::NoneFound:
        m_leftAlone = true;
        return;
    case Status::PutBack:
        ++putBack;
        return;
    case Status::Skipped:
        ++skipped;
        return;
    case Status::FolderNotListed:
        ++foldersNotListed;
        return;
    case Status::Stopped:
    case Status::StoppedSearching:
        stopped = true;
        return;
    case Status::Found:
        return;
    case Status::MaskInvalid:
    case Status::JournalFailed:
        otherFailure = true;
        return;
    default:
        ++failed;
        return;
    }
}

QString RunSummary::text() const
{
    const auto count = [](qsizetype n, const char *what) -> QString {
        return QString::number(n) + u' ' + QLatin1String(what);
    };
    QStringList parts{count(converted, "converted"),
                      count(notEightDirections, "not 8-direction files left as they are"),
                      count(failed, "failed")};
    if (alreadyConverted > 0) {
        parts << count(alreadyConverted, "named again after their conversion");
    }
    if (skipped > 0) {
        parts << count(skipped, "left out as converted by an earlier run");
    }
    if (turnedAgain > 0) {
        parts << count(turnedAgain, "converted a second time");
    }
    if (foldersNotListed > 0) {
        parts << count(foldersNotListed,
                       foldersNotListed == 1 ? "folder not listed" : "folders not listed");
    }
    if (putBack > 0) {
        parts << count(putBack, "put back after an interrupted run");
    }
    if (stopped) {
        parts << QStringLiteral("stopped");
    }
    return QStringLiteral("files: ") + parts.join(QLatin1String(", "));
}

} // namespace velmora
