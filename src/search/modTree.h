#pragma once

#include <QString>
#include <QStringList>

namespace velmora {

// Full paths of every file below startFolder whose bare name passes maskList,
// breadth-first: the start folder's files first, then each subfolder's in the
// order the subfolders were found, level by level; each folder's entries in
// byte order of their names. With no match the list holds one empty string.
// A malformed mask list matches nothing and its reason goes to maskError.
QStringList FindFiles(const QString &startFolder, const QString &maskList,
                      QString *maskError = nullptr);

} // namespace velmora
