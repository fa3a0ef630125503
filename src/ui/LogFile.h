#pragma once

#include <QString>

namespace velmora {

class LogView;

// Writes the lines view shows, as it shows them, to fileName: UTF-8, each line
// ended by CR LF, as the log's own text is. The file is replaced whole or not
// at all; false, with the reason in why, when it could not be.
bool saveShownLines(const LogView &view, const QString &fileName, QString *why);

} // namespace velmora
