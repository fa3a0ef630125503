#pragma once

#include "algorithms/FileClaims.h"
#include "algorithms/FileIdSet.h"
#include "convert/LogEntry.h"
#include "convert/WrittenStamps.h"
#include "platform/BinaryFile.h"
#include "search/FoundFileList.h"

#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace velmora {

class EarlierConversions;
struct FileInFlight;
class Journal;
class RunRecord;

// Everything a run is asked to do, whichever program asks.
struct ConversionOptions
{
    static constexpr int DefaultJobs = 8;

    // Apply the inverse order: a file converted once gets its original bytes back.
    bool undo = false;
    // Validate and report what would happen; write nothing.
    bool dryRun = false;
    // How many files a batch has in flight at once; 1 works through them one
    // after another.
    int jobs = DefaultJobs;
    // Which file names a folder search takes.
    QString maskList = QStringLiteral("*.cl2");
    // With more than one job, a folder's files are converted while the
    // search still goes on; off, the whole tree is listed first.
    bool overlapSearch = true;
    // Leave out the files a recorded run converted that are unchanged since
    // (see ConversionRun::earlier); otherwise they are converted, but counted.
    bool skipConverted = false;
    // Files and journal reach the disk in an order that survives a power cut,
    // not only the death of the process.
    bool syncToDisk = false;
    // Where each file is recorded before it is written, so that a run killed
    // between a file's two writes can be repaired at the next start.
    Journal *journal = nullptr;
    // Where each converted file is recorded for later runs (see RunHistory).
    RunRecord *record = nullptr;
};

// The files a run converted, in order, each with its stamp right after the
// conversion: an undo touches a file only while it is still that file.
struct ConvertedFiles
{
    FoundFileList files;
    std::vector<FileStamp> stamps;
};

// Everything one command starts (a command line with all its paths, one drop,
// one Proceed, one single-file conversion, one undo) is one run. Within a run
// a file is converted at most once, however its names reach it: the run
// remembers every file it converted by identity. It also carries the stop
// request and, when asked to, the list of the files it converted, so that the
// run can be undone.
class ConversionRun
{
public:
    explicit ConversionRun(const ConversionOptions &options = {}) : m_options(options) {}
    ConversionRun(const ConversionRun &) = delete;
    ConversionRun &operator=(const ConversionRun &) = delete;

    const ConversionOptions &options() const { return m_options; }
    // What the run is asked to do may change until it starts.
    ConversionOptions &options() { return m_options; }

    // Called when a folder search starts, and after each file of a batch with
    // the number done and the number found.
    std::function<void(const QString &folder)> searching;
    std::function<void(qsizetype done, qsizetype total)> progress;
    // Called while a folder search goes on, after each folder it has listed,
    // with the folders listed and the files found so far.
    std::function<void(qsizetype folders, qsizetype files)> searchProgress;

    // Asks the run to stop between two files; safe from any thread.
    void requestStop() { m_stop.store(true, std::memory_order_relaxed); }
    // Also asked between files: a stop that arrives from outside (a signal).
    // A batch asks it on its worker threads too, so it must be thread-safe.
    void setStopProbe(std::function<bool()> probe) { m_stopProbe = std::move(probe); }
    bool stopRequested() const
    {
        return m_stop.load(std::memory_order_relaxed) || (m_stopProbe && m_stopProbe());
    }

    // The files recorded runs converted. A file among them that is unchanged
    // since is left out when skipConverted, and converted otherwise, but
    // counted (turnedAgain).
    const EarlierConversions *earlier = nullptr;
    // What keeps an open file out of the run, by the recorded runs; nothing
    // for a file to convert (marked convertedBefore when a recorded run
    // converted it). Safe from any thread.
    FileProblem checkEarlier(FileInFlight &job) const;
    // Files this run converted that a recorded run had converted, unchanged
    // since: they are now turned one step further.
    qsizetype turnedAgain() const { return m_turnedAgain; }

    // Keep the list of converted files (the window's undo needs it; the
    // command line does not, and saves the memory).
    void keepConvertedList() { m_keepList = true; }
    bool keepsConvertedList() const { return m_keepList; }
    // Whether a converted file's stamp is wanted: for the list or the record.
    bool needsStamps() const { return m_keepList || m_options.record; }
    // The stamp of a file this run wrote since `before`. Thread-safe.
    FileStamp stampAfterWriting(const BinaryFile &file, std::int64_t before)
    {
        return m_writtenStamps.after(file, before);
    }
    const ConvertedFiles &convertedFiles() const { return m_convertedList; }

    // Claims a file for conversion by the name that reaches it first in the
    // run; false when it was claimed before. Either way *number is the
    // claim's, the same for every name of the file. Claims are made in search
    // order, one at a time, while the conversions themselves overlap.
    bool claim(const FileId &id, std::uint32_t *number)
    {
        const auto [claimed, first] = m_claimed.claim(id);
        *number = claimed;
        return first;
    }

    // Whether the file of a claim was converted (or, in a dry run, would be)
    // earlier in this run. Asked and marked by one thread only.
    bool hasConverted(std::uint32_t claim) const
    {
        return claim < m_converted.size() && m_converted[claim];
    }
    void markConverted(std::uint32_t claim)
    {
        if (claim >= m_converted.size()) {
            m_converted.resize(std::size_t(claim) + 1);
        }
        m_converted[claim] = true;
    }
    // Records a converted file under the name that reached it: the folder it
    // lies in (ending in a separator, shown and as the system spells it) and
    // its bare name, with its stamp when the list is kept. convertedBefore:
    // a recorded run had converted it, and it was not changed since.
    void recordConverted(const FileId &id, const FileStamp &stamp, const QString &folder,
                         const QByteArray &encodedFolder, std::string_view name,
                         bool convertedBefore);
    // Records a file in the run's record as soon as it is written, on
    // whichever thread wrote it: a killed run's record then names every file
    // it converted whole, not only those its log had reached. Thread-safe.
    void recordWritten(const FileId &id, const FileStamp &stamp, const QByteArray &encodedFolder,
                       std::string_view name);

private:
    ConversionOptions m_options;
    std::atomic<bool> m_stop{false};
    std::function<bool()> m_stopProbe;
    FileClaims m_claimed;
    std::vector<bool> m_converted; // by claim
    bool m_keepList = false;
    std::mutex m_recordMutex;
    WrittenStamps m_writtenStamps;
    qsizetype m_turnedAgain = 0;
    ConvertedFiles m_convertedList;
    QByteArray m_lastFolder;
    bool m_hasFolder = false;
};

} // namespace velmora
