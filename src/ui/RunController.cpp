#include "ui/RunController.h"

#include "convert/EarlierConversions.h"
#include "ui/LogBox.h"
#include "ui/RunLog.h"

#include <QThread>

#include <optional>

namespace velmora {

RunController::RunController(LogBox &log, QObject *parent) : QObject(parent), m_log(log)
{
    m_frames.setInterval(int(FrameClock::FrameMs));
    connect(&m_frames, &QTimer::timeout, this, &RunController::takeLines);
}

RunController::~RunController()
{
    if (m_worker) {
        m_run->requestStop();
        m_worker->wait();
        delete m_worker;
    }
}

void RunController::start(const ConversionOptions &options, bool countAgain, Work work)
{
    m_done = 0;
    m_total = 0;
    m_foldersSearched = 0;
    m_filesFound = 0;
    m_run = std::make_unique<ConversionRun>(options);
    if (!options.undo) {
        m_run->keepConvertedList();
    }
    m_run->progress = [this](qsizetype done, qsizetype total) {
        m_done = done;
        m_total = total;
    };
    m_run->searchProgress = [this](qsizetype folders, qsizetype files) {
        m_foldersSearched = folders;
        m_filesFound = files;
    };
    if (m_runObserver) {
        m_runObserver(*m_run);
    }
    m_runLog = std::make_unique<RunLog>();
    m_frames.start();
    m_worker = QThread::create([this, countAgain, work = std::move(work)] {
        // Read while the run starts, not on the window's thread: the history
        // may be large.
        std::unique_ptr<EarlierConversions> earlier;
        if (countAgain) {
            earlier = EarlierConversions::fromHistory(m_run->options().record);
            m_run->earlier = earlier.get();
        }
        work(*m_run, *m_runLog);
        m_run->earlier = nullptr;
    });
    connect(m_worker, &QThread::finished, this, &RunController::finish);
    m_worker->start();
}

void RunController::stop()
{
    if (m_run) {
        m_run->requestStop();
    }
}

void RunController::reportFailure(const QString &line)
{
    if (m_runLog) {
        m_runLog->AppendFailure(line);
    }
}

void RunController::takeLines()
{
    if (!m_runLog) {
        return;
    }
    for (const LogLine &line : m_runLog->take()) {
        m_log.Append(line);
    }
    m_log.Repaint();
    const qsizetype total = m_total;
    if (total > 0 && m_progressClock.due()) {
        emit batchProgress(m_done, total);
    } else if (total == 0 && m_foldersSearched > 0 && m_progressClock.due()) {
        emit searchProgress(m_foldersSearched, m_filesFound);
    }
}

void RunController::finish()
{
    m_worker->wait();
    delete m_worker;
    m_worker = nullptr;
    m_frames.stop();
    takeLines();
    m_log.flush();
    FinishedRun result;
    result.summary = m_runLog->summary();
    result.summary.turnedAgain = m_run->turnedAgain();
    result.undo = m_run->options().undo;
    if (!result.undo) {
        result.converted = m_run->convertedFiles();
    }
    m_run.reset();
    m_runLog.reset();
    m_progressClock.reset();
    emit finished(result);
}

} // namespace velmora
