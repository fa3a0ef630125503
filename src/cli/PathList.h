#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace velmora {

// Reads the paths a script hands over in a file, or on standard input when
// source is "-": one a line, or each ended by a NUL byte when nulSeparated
// (for names that hold a newline, as `find -print0` writes them). Empty
// entries are passed over. Each path is kept as the system spells it (its
// bytes, UTF-8 or not). False, with the reason in error, when the list
// cannot be read.
bool readPathList(const QString &source, bool nulSeparated, QList<QByteArray> *paths,
                  QString *error);

} // namespace velmora
