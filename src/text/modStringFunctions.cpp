#include "text/modStringFunctions.h"

#include <climits>

namespace velmora {

namespace {

QChar settleDelimiter(const QString &delimiter)
{
    return delimiter.isEmpty() ? QChar(u',') : delimiter.at(0);
}

} // namespace

QString TrimAtNull(const QString &s)
{
    const qsizetype nul = s.indexOf(QChar(u'\0'));
    return nul < 0 ? s : s.left(nul);
}

int FindAny(const QString &text, const QString &findList, int &foundIndex, int start,
            CompareMode compare, const QString &delimiter)
{
    // Positions are 32-bit: a longer text is beyond what the routine can report.
    if (text.isEmpty() || findList.isEmpty() || text.size() >= INT_MAX) {
        return 0;
    }
    const QChar separator = settleDelimiter(delimiter);
    if (!findList.contains(separator)) {
        return int(InStr(start, text, findList, compare));
    }
    const qsizetype notFound = text.size() + 1;
    qsizetype best = notFound;
    int bestIndex = 0;
    int index = 0;
    // Walk the items in place rather than building the split list.
    qsizetype itemStart = 0;
    for (;;) {
        qsizetype itemEnd = findList.indexOf(separator, itemStart);
        if (itemEnd < 0) {
            itemEnd = findList.size();
        }
        const QStringView item = QStringView(findList).sliced(itemStart, itemEnd - itemStart);
        const qsizetype p = InStr(start, text, item, compare);
        if (p > 0 && p < best) {
            best = p;
            bestIndex = index;
        }
        if (itemEnd == findList.size()) {
            break;
        }
        itemStart = itemEnd + 1;
        ++index;
    }
    foundIndex = best == notFound ? 0 : bestIndex;
    return best == notFound ? 0 : int(best);
}

QString ReplaceAny(const QString &text, const QString &findList, const QString &replaceList,
                   CompareMode compare, const QString &delimiter)
{
    if (text.isEmpty()) {
        return QString();
    }
    if (text.size() >= INT_MAX) {
        return text; // beyond 32-bit positions; see FindAny
    }
    const QChar separator = settleDelimiter(delimiter);
    const QStringList finds = Split(findList, separator);
    if (finds.isEmpty()) {
        return text;
    }
    QStringList repls = Split(replaceList, separator);
    if (repls.isEmpty()) {
        repls.append(QString());
    }
    if (repls.size() > finds.size()) {
        repls.resize(finds.size());
    }
    const QString lastReplacement = repls.last();
    while (repls.size() < finds.size()) {
        repls.append(lastReplacement);
    }

    // The result is built as we go; text itself is searched only from just
    // past the last occurrence replaced, which is the same as searching the
    // rewritten text from just past the inserted replacement.
    QString result;
    result.reserve(text.size());
    int position = 1;
    for (;;) {
        int k = 0;
        const int p = FindAny(text, findList, k, position, compare, QString(separator));
        if (p <= 0) {
            break;
        }
        const QString &found = finds.at(k);
        result.append(QStringView(text).sliced(position - 1, p - position));
        result.append(repls.at(k));
        position = p + int(found.size());
        if (found.isEmpty()) {
            // Nothing was taken away: keep the character the replacement was
            // put in front of, and move past it.
            result.append(text.at(p - 1));
            ++position;
        }
        if (position > text.size()) {
            break;
        }
    }
    if (position <= text.size()) {
        result.append(QStringView(text).sliced(position - 1));
    }
    return result;
}

} // namespace velmora
