#pragma once

#include "convert/LogEntry.h"
#include "convert/RunSummary.h"

#include <QByteArray>

namespace velmora {

// The --json form of the log: one JSON object a line, with stable field
// names (documented in the manual page):
//   status   what happened (converted, not_eight_directions, open_failed, ...)
//   message  the line the text log shows
//   path     the file or folder, exact when its bytes are UTF-8; otherwise
//            escaped as in the text, and
//   path_base64  its exact bytes
//   reason, count, total, mask, dry_run, undo   where they apply
QByteArray jsonLine(const LogEntry &entry);
// The last line: the run's counts, how long it took and its exit status.
QByteArray jsonSummary(const RunSummary &summary, double seconds, int exitStatus);

} // namespace velmora
