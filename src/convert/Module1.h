#pragma once

#include "convert/BatchResult.h"
#include "convert/ConversionRun.h"
#include "convert/MessageLog.h"

#include <QString>
#include <QStringList>

namespace velmora {

// Rewrites the 8-direction CL2 file at path in place so that its direction
// groups come in the order 1, 3, 5, 7, 0, 2, 4, 6 (or back, with undo). Appends
// exactly one SUCCESS or ERROR line naming path to log, then repaints it. A file
// it refuses is left byte for byte as it was, and so is a file the run has
// already converted under another name. Returns whether it succeeded.
bool ReorderDirections(const QString &path, MessageLog &log, ConversionRun &run);
// The same for a path as the system spells it (its bytes, which need not be
// UTF-8); the log shows it escaped where it is not printable text.
bool ReorderDirections(const QByteArray &encodedPath, MessageLog &log, ConversionRun &run);
// The same as a run of its own.
bool ReorderDirections(const QString &path, MessageLog &log, const ConversionOptions &options = {});

// Converts every file below folder whose name passes the run's mask list: one
// summary line with the count (or an error line when nothing matched), then
// one line per file in search order, then one line per folder that could not
// be listed. A stop between two files ends the log with the line that says
// how far the batch got.
BatchResult ScanFolder(const QString &folder, MessageLog &log, ConversionRun &run);
BatchResult ScanFolder(const QByteArray &encodedFolder, MessageLog &log, ConversionRun &run);
// The same as a run of its own.
BatchResult ScanFolder(const QString &folder, MessageLog &log);

// One run over several paths: each folder is converted as above, anything
// else as a single file.
BatchResult ConvertPaths(const QStringList &paths, MessageLog &log, ConversionRun &run);
BatchResult ConvertPaths(const QList<QByteArray> &encodedPaths, MessageLog &log,
                         ConversionRun &run);

// Puts back, in the order they were converted, the files an earlier run
// converted: undoRun applies the inverse order to each file that is still
// the file that was converted, validated as usual, one line per file.
BatchResult UndoConversion(const ConvertedFiles &converted, MessageLog &log,
                           ConversionRun &undoRun);

// Whether a regular file can be found at path; it is not opened.
bool FileExists(const QString &path);

} // namespace velmora
