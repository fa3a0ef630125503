#pragma once

#include "convert/ConversionRun.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

namespace velmora {

// The history of runs as the records in the state folder tell it (written
// by RunRecord): for --history, and to undo the last run after a restart.

// A run as its record tells it.
struct RecordedRun
{
    enum class End { Finished, Stopped, Killed, Running };

    QByteArray recordPath;
    // Why the record cannot be trusted or read; nothing else is then known.
    QString unreadable;
    QDateTime started;
    QString program;
    QList<QByteArray> paths;
    bool undo = false;
    End end = End::Killed;
    // The record reached its size bound: files after those listed are missing.
    bool full = false;
    qsizetype fileCount = 0;
    // Filled when asked for: the files, in the order converted.
    ConvertedFiles files;
};

// How much of each record is read: the header alone, or its files too.
enum class RecordDetail { Header, Files };

// The recorded runs, oldest first. A record that cannot be trusted or read
// comes with only its path and the reason.
std::vector<RecordedRun> readRunHistory(RecordDetail detail);
// The same, one record at a time.
void readRunHistory(RecordDetail detail, const std::function<void(RecordedRun &&)> &each);
// The newest recorded run alone; nothing when none is recorded.
std::optional<RecordedRun> readLastRun(RecordDetail detail);

// How a run's start time is shown.
QString runTimeText(const QDateTime &when);

} // namespace velmora
