#include "cli/PathList.h"

#include <QFile>

#include <cstdio>

namespace velmora {

bool readPathList(const QString &source, bool nulSeparated, QList<QByteArray> *paths,
                  QString *error)
{
    QFile file;
    const bool opened = source == QLatin1String("-")
                            ? file.open(stdin, QIODevice::ReadOnly)
                            : (file.setFileName(source), file.open(QIODevice::ReadOnly));
    if (!opened) {
        *error = file.errorString();
        return false;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        *error = file.errorString();
        return false;
    }
    const char separator = nulSeparated ? '\0' : '\n';
    for (const QByteArray &entry : bytes.split(separator)) {
        if (!entry.isEmpty()) {
            paths->append(entry);
        }
    }
    return true;
}

} // namespace velmora
