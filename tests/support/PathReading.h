#pragma once

#include <QByteArray>
#include <QString>

namespace velmora::test {

// Reads a path the log shows back to its bytes, as a user or a script would:
// \\, \n, \r, \t and \xHH are escapes; any other backslash stands for itself.
QByteArray unescapedPath(const QString &text);

} // namespace velmora::test
