#pragma once

#include "convert/ConversionRun.h"
#include "ui/RunController.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <memory>

namespace velmora {

class RunRecord;

// The window's side of the history of runs: the record of the run under
// way, and the last run that converted files, the one Undo Last Conversion
// puts back. With the history kept, that run is read from it at the start,
// so an undo outlives a restart.
class UndoHistory
{
public:
    UndoHistory();
    ~UndoHistory();

    // Reads the last recorded run and records every run from now on.
    void keep();
    bool isKept() const { return m_kept; }

    // Starts the record of a run that writes (when the history is kept);
    // the record to give the run, or null, with the reason in *why when one
    // was wanted but cannot be kept.
    RunRecord *begin(const QList<QByteArray> &paths, const ConversionOptions &options,
                     QString *why);
    // Ends the run's record; a run that converted files is the one to undo.
    void finish(const FinishedRun &run);

    // The files the last run converted, in order; none after take().
    qsizetype undoableCount() const { return m_lastConverted.files.size(); }
    // The menu's text: which run an undo would put back.
    QString undoText() const;
    // Hands over the files of the last run (and the paths it was given) for
    // an undo: exactly those go back, not what a new search would find.
    std::shared_ptr<ConvertedFiles> take(QList<QByteArray> *paths);

private:
    bool m_kept = false;
    std::unique_ptr<RunRecord> m_record;
    QList<QByteArray> m_runPaths;
    ConvertedFiles m_lastConverted;
    QDateTime m_lastStarted;
    QList<QByteArray> m_lastPaths;
};

} // namespace velmora
