#include "ui/FileFilter.h"

#include <QStringList>

namespace velmora {

QString qtNameFilter(const QString &classicFilter)
{
    const QStringList parts = classicFilter.split(u'|');
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString description = parts.at(i).trimmed();
        QString patterns = parts.at(i + 1).trimmed();
        patterns.replace(u';', u' ');
        const QString named = u'(' + patterns + u')';
        entries.append(description.contains(named) ? description : description + u' ' + named);
    }
    return entries.join(QLatin1String(";;"));
}

} // namespace velmora
