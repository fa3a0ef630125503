#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

namespace velmora {

// Where the records of runs live: history/ in the user's state folder,
// checked as the journal's folder is, one run-<time>-<pid>[-n].bin a run.

// The history folder, made when missing and make is set; empty, with the
// reason, when it cannot be used.
QByteArray historyFolder(bool make, QString *reason);

// The records in folder, oldest first (their names start with the time).
std::vector<QByteArray> recordPaths(const QByteArray &folder);

// The records kept, oldest first; none when no history folder is there or
// can be trusted.
std::vector<QByteArray> keptRecords();

// Removes the oldest records until at most keepRuns are kept in at most
// keepBytes. A record whose run goes on is kept.
void removeOldRecords(const QByteArray &folder, int keepRuns, std::int64_t keepBytes);

// The process a record's name says wrote it; -1 when it says none.
qint64 writerOfRecord(const QByteArray &path);

} // namespace velmora
