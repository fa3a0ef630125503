#pragma once

#include <QByteArray>
#include <QString>

namespace velmora {

// What happened, one entry a result: a file converted or refused, a search's
// count, a folder not listed, a stop. The core reports entries; each front
// turns them into what it shows (formatLine below for the log's text, JSON
// Lines on the command line, the window's counts) and never reads text back.
struct LogEntry
{
    enum class Status : quint8 {
        // A file, named by path.
        Converted,          // rewritten (or, in a dry run, would be)
        AlreadyConverted,   // reached again under another name in this run
        Skipped,            // left out: a recorded run (on reason) converted it
        NotEightDirections, // left as it is: not an 8-direction file
        Damaged,            // refused: its tables cannot be rewritten safely
        NotRegularFile,     // refused: a link to nothing, a pipe, a device...
        ChangedSince,       // not undone: written or replaced since
        Busy,               // another program kept it locked
        OpenFailed,
        ReadFailed,
        WriteFailed,
        CloseFailed,
        PutBack,       // a file a killed run left half-written, put back
        NotPutBack,    // one that could not be checked or put back
        WaitsRepair,   // one a dry run found half-written and left for a real run
        JournalFailed, // a journal of a killed run that could not be used (path)
        // A search, on the folder named by path.
        Found,     // count files matched the mask
        NoneFound, // none did
        FolderNotListed,
        MaskInvalid, // the mask list is not valid (reason); nothing was searched
        // The run.
        Stopped, // after count of total files
        // While searching: count files found so far, none converted; or,
        // when total is not 0, after count of the total files found so far.
        StoppedSearching,
    };

    Status status = Status::Converted;
    // The file or folder as the system spells it (bytes, not text).
    QByteArray path;
    // Why, in words, for the statuses that have one.
    QString reason;
    qsizetype count = 0;
    qsizetype total = 0;
    // Converted: in the inverse order, or only checked (dry run).
    bool undo = false;
    bool dryRun = false;
    // Found, NoneFound: the mask list when it is not the default one.
    QString mask;

    // Whether the entry is a failure: a file that could not be read or
    // written, refused as damaged, a folder not listed... A file that is
    // simply not an 8-direction file, or was named twice, is not one.
    bool isFailure() const;
    // Whether the line begins with SUCCESS.
    bool isSuccess() const;
};

// What keeps a file from being converted, as the core finds it; nothing
// when isEmpty().
struct FileProblem
{
    LogEntry::Status status = LogEntry::Status::Converted;
    QString reason;

    bool isEmpty() const { return status == LogEntry::Status::Converted; }
    // What the file's line says of it after the path.
    QString text() const;
};

// The line the log shows for an entry, beginning "SUCCESS: " or "ERROR: ",
// with the path escaped so that it is one exact line.
QString formatLine(const LogEntry &entry);

} // namespace velmora
