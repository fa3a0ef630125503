#include "FuzzTargets.h"

#include "text/modStringFunctions.h"

#include <algorithm>

namespace velmora::fuzz {

// The input holds text, find list, replacement list and delimiter separated by
// 0xFF bytes (never part of UTF-8); a fifth field asks for text compare and
// its length moves FindAny's start.
int replace(const std::uint8_t *data, std::size_t size)
{
    const QList<QByteArray> fields =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size))
            .split('\xff');
    const auto field = [&fields](qsizetype i) {
        return i < fields.size() ? QString::fromUtf8(fields[i]) : QString();
    };
    const QString text = field(0), findList = field(1), replaceList = field(2),
                  delimiter = field(3);
    const CompareMode mode = fields.size() > 4 ? CompareMode::Text : CompareMode::Binary;
    const Qt::CaseSensitivity cs = caseSensitivity(mode);
    const QChar separator = delimiter.isEmpty() ? QChar(u',') : delimiter[0];
    const QStringList finds = findList.split(separator);

    // FindAny gives the earliest position at or after start where an item
    // begins, and which item begins there first.
    const int start = 1 + int(fields.size() > 4 ? fields[4].size() : 0);
    int index = -1;
    const int found = FindAny(text, findList, index, start, mode, delimiter);
    const auto itemAt = [&](qsizetype q) {
        const auto item = std::find_if(finds.begin(), finds.end(), [&](const QString &f) {
            return QStringView(text).sliced(q - 1).startsWith(f, cs);
        });
        return item == finds.end() ? -1 : int(item - finds.begin());
    };
    int earliest = 0;
    for (qsizetype q = start; !findList.isEmpty() && q <= text.size() && !earliest; ++q) {
        earliest = itemAt(q) >= 0 ? int(q) : 0;
    }
    check(found == earliest, "FindAny gives the earliest occurrence");
    const bool listed = !text.isEmpty() && findList.contains(separator);
    check(index == (listed ? (found ? itemAt(found) : 0) : -1), "FindAny names the item found");

    // Always ends; what it gives, the unit tests and the mask lists tell.
    ReplaceAny(text, findList, replaceList, mode, delimiter);
    return 0;
}

} // namespace velmora::fuzz
