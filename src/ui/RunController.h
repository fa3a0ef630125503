#pragma once

#include "convert/ConversionRun.h"
#include "convert/MessageLog.h"
#include "convert/RunSummary.h"
#include "ui/FrameClock.h"

#include <QObject>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>

class QThread;

namespace velmora {

class LogBox;
class RunLog;

// What a run came to, once its last lines are in the log.
struct FinishedRun
{
    RunSummary summary;
    bool undo = false;
    // What it converted, for an undo (empty for an undo).
    ConvertedFiles converted;
};

// The life of one run at a time in a window: it goes on a thread of its own
// so that the window stays responsive; its lines go to the window's log once
// a frame, and so does its progress. One run at a time.
class RunController : public QObject
{
    Q_OBJECT

public:
    using Work = std::function<void(ConversionRun &, MessageLog &)>;

    explicit RunController(LogBox &log, QObject *parent = nullptr);
    // A run still going is stopped between two files and waited for: a file
    // is never left half rewritten.
    ~RunController() override;

    // Starts work as a new run with options. countAgain: files that recorded
    // runs converted are counted when converted again (the history is read
    // on the run's thread, as it may be large).
    void start(const ConversionOptions &options, bool countAgain, Work work);
    bool isRunning() const { return m_worker != nullptr; }
    // Asks the run to stop between two files; its log then says how far it got.
    void stop();
    // A failure line of the window's own, among the run's lines; any thread.
    void reportFailure(const QString &line);

    // Test seam: called with each new run before it starts.
    void setRunObserver(std::function<void(ConversionRun &)> observer)
    {
        m_runObserver = std::move(observer);
    }

signals:
    // How far the run is, a few times a second while it goes on: the folders
    // its search has listed and the files found, then the files done.
    void searchProgress(qsizetype folders, qsizetype files);
    void batchProgress(qsizetype done, qsizetype total);
    // The run is over and its last lines are in the log; another may start.
    void finished(const velmora::FinishedRun &run);

private:
    void takeLines();
    void finish();

    LogBox &m_log;
    QThread *m_worker = nullptr;
    std::unique_ptr<ConversionRun> m_run;
    std::unique_ptr<RunLog> m_runLog;
    // Takes the run's lines once a frame while it goes on.
    QTimer m_frames;
    FrameClock m_progressClock;
    // Written by the run's thread, shown by the window's.
    std::atomic<qsizetype> m_done{0};
    std::atomic<qsizetype> m_total{0};
    std::atomic<qsizetype> m_foldersSearched{0};
    std::atomic<qsizetype> m_filesFound{0};
    std::function<void(ConversionRun &)> m_runObserver;
};

} // namespace velmora
