#include "algorithms/VbStrings.h"

namespace velmora {

qsizetype InStr(qsizetype start, QStringView text, QStringView s, CompareMode mode)
{
    if (start < 1) {
        start = 1;
    }
    if (text.isEmpty() || start > text.size()) {
        return 0;
    }
    if (s.isEmpty()) {
        return start;
    }
    const qsizetype index = text.indexOf(s, start - 1, caseSensitivity(mode));
    return index < 0 ? 0 : index + 1;
}

bool StrEqual(QStringView a, QStringView b, CompareMode mode)
{
    return a.compare(b, caseSensitivity(mode)) == 0;
}

QStringList Split(const QString &s, QChar delimiter)
{
    if (s.isEmpty()) {
        return {};
    }
    return s.split(delimiter, Qt::KeepEmptyParts, Qt::CaseSensitive);
}

QString Trim(const QString &s)
{
    qsizetype first = 0;
    qsizetype last = s.size();
    while (first < last && s.at(first) == u' ') {
        ++first;
    }
    while (last > first && s.at(last - 1) == u' ') {
        --last;
    }
    return s.mid(first, last - first);
}

} // namespace velmora
