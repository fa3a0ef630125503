#pragma once

#include <QString>
#include <QStringList>

namespace velmora {

// Reads the paths a script hands over in a file, or on standard input when
// source is "-": one a line, or each ended by a NUL byte when nulSeparated
// (for names that hold a newline, as `find -print0` writes them). Empty
// entries are passed over. False, with the reason in error, when the list
// cannot be read.
bool readPathList(const QString &source, bool nulSeparated, QStringList *paths, QString *error);

} // namespace velmora
