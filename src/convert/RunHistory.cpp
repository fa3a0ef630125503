#include "convert/RunHistory.h"

#include "convert/HistoryFolder.h"
#include "convert/RecordFormat.h"

namespace velmora {

namespace {

// The record as read, or only its path and why it cannot be read.
RecordedRun readOrSayWhy(const QByteArray &path, RecordDetail detail)
{
    RecordedRun run;
    QString reason;
    if (!RecordFormat::read(path, detail, &run, &reason)) {
        run = RecordedRun();
        run.recordPath = path;
        run.unreadable = reason;
    }
    return run;
}

} // namespace

void readRunHistory(RecordDetail detail, const std::function<void(RecordedRun &&)> &each)
{
    for (const QByteArray &path : keptRecords()) {
        each(readOrSayWhy(path, detail));
    }
}

std::optional<RecordedRun> readLastRun(RecordDetail detail)
{
    const std::vector<QByteArray> paths = keptRecords();
    if (paths.empty()) {
        return std::nullopt;
    }
    return readOrSayWhy(paths.back(), detail);
}

std::vector<RecordedRun> readRunHistory(RecordDetail detail)
{
    std::vector<RecordedRun> runs;
    readRunHistory(detail, [&runs](RecordedRun &&run) { runs.push_back(std::move(run)); });
    return runs;
}

QString runTimeText(const QDateTime &when)
{
    return when.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

} // namespace velmora
