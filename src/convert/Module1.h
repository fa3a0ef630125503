#pragma once

#include "convert/MessageLog.h"
#include "platform/BinaryFile.h"

#include <QString>

#include <functional>
#include <unordered_set>

namespace velmora {

class Journal;

struct ConversionOptions
{
    // Apply the inverse order: a file converted once gets its original bytes back.
    bool undo = false;
    // Validate and report what would happen; write nothing.
    bool dryRun = false;
    // Where each file is recorded before it is written, so that a run killed
    // between a file's two writes can be repaired at the next start.
    Journal *journal = nullptr;
};

// The files one batch has converted, so that a file reached under a second name
// (hard or symbolic link) is not converted twice.
using ConvertedFiles = std::unordered_set<FileId, FileIdHash>;

// Rewrites the 8-direction CL2 file at path in place so that its direction
// groups come in the order 1, 3, 5, 7, 0, 2, 4, 6 (or back, with undo). Appends
// exactly one SUCCESS or ERROR line naming path to log, then repaints it. A file
// it refuses is left byte for byte as it was. Returns whether it succeeded.
bool ReorderDirections(const QString &path, MessageLog &log, const ConversionOptions &options = {},
                       ConvertedFiles *batch = nullptr);

struct ScanOptions
{
    ConversionOptions conversion;
    QString maskList = QStringLiteral("*.cl2");
    // Called after each file with the number done and the number found;
    // returning false stops the batch there.
    std::function<bool(qsizetype done, qsizetype total)> progress;
};

struct BatchResult
{
    qsizetype found = 0;
    qsizetype failed = 0;
    bool stopped = false;
};

// Converts every file below folder whose name passes the mask list: one summary
// line with the count (or an error line when nothing matched), then one line
// per file in search order.
BatchResult ScanFolder(const QString &folder, MessageLog &log, const ScanOptions &options = {});

// Whether a regular file can be found at path; it is not opened.
bool FileExists(const QString &path);

} // namespace velmora
