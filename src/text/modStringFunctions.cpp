#include "text/modStringFunctions.h"

#include <QHash>

#include <algorithm>
#include <climits>
#include <vector>

namespace velmora {

namespace {

QChar settleDelimiter(const QString &delimiter)
{
    return delimiter.isEmpty() ? QChar(u',') : delimiter.at(0);
}

// The text ReplaceAny is rewriting: done, what the replacements have made of
// the text so far (open to change near its end), followed by the original text
// from m_rest on, not yet reached by any replacement. Searches of the original
// part reuse each item's last known occurrence while it still lies ahead, so a
// whole rewrite reads the original text about once per item.
class Rewriter
{
public:
    Rewriter(const QString &text, const QStringList &finds, Qt::CaseSensitivity cs)
        : m_text(text), m_finds(finds), m_cs(cs), m_searchedFrom(std::size_t(finds.size()), -1),
          m_foundAt(std::size_t(finds.size()), -1)
    {
        m_done.reserve(text.size());
        for (qsizetype i = 0; i < finds.size(); ++i) {
            m_longest = std::max(m_longest, finds.at(i).size());
            if (m_firstEmpty < 0 && finds.at(i).isEmpty()) {
                m_firstEmpty = i;
            }
        }
    }

    qsizetype length() const { return m_done.size() + m_text.size() - m_rest; }
    const QString &done() const { return m_done; }

    // FindAny over the whole text from start: the earliest position where an
    // item occurs, the earlier item on a tie. With skipEmpty empty items are
    // not looked for.
    bool find(qsizetype start, bool skipEmpty, qsizetype &position, qsizetype &index)
    {
        if (start > length()) {
            return false;
        }
        const qsizetype doneSize = m_done.size();
        if (!skipEmpty && m_firstEmpty >= 0) {
            // An empty item occurs at start itself: only an item listed before
            // it can be found instead.
            const QStringView here = from(start);
            index = m_firstEmpty;
            for (qsizetype i = 0; i < m_firstEmpty; ++i) {
                if (here.startsWith(m_finds.at(i), m_cs)) {
                    index = i;
                    break;
                }
            }
            position = start;
            return true;
        }
        if (start <= doneSize) {
            // Occurrences that begin in the rewritten part, which may run on
            // into the original text.
            const QStringView tail = from(start);
            for (qsizetype q = start; q <= doneSize; ++q) {
                const QStringView here = tail.sliced(q - start);
                for (qsizetype i = 0; i < m_finds.size(); ++i) {
                    const QString &item = m_finds.at(i);
                    if (!item.isEmpty() && here.startsWith(item, m_cs)) {
                        position = q;
                        index = i;
                        return true;
                    }
                }
            }
        }
        const qsizetype first = m_rest + std::max<qsizetype>(start - doneSize - 1, 0);
        qsizetype best = -1;
        for (qsizetype i = 0; i < m_finds.size(); ++i) {
            if (m_finds.at(i).isEmpty()) {
                continue;
            }
            const qsizetype at = nextOccurrence(i, first);
            if (at >= 0 && (best < 0 || at < best)) {
                best = at;
                index = i;
            }
        }
        if (best < 0) {
            return false;
        }
        position = doneSize + 1 + best - m_rest;
        return true;
    }

    // Whether replacing item index at position takes away (or passes) some of
    // the original text.
    bool reachesRest(qsizetype position, qsizetype index) const
    {
        return position - 1 + m_finds.at(index).size() > m_done.size();
    }

    // Puts replacement in place of item index at position. True when that
    // reached into the original text.
    bool replace(qsizetype position, qsizetype index, const QString &replacement)
    {
        const qsizetype size = m_finds.at(index).size();
        if (!reachesRest(position, index)) {
            m_done.replace(position - 1, size, replacement);
            return false;
        }
        const qsizetype doneSize = m_done.size();
        if (position - 1 <= doneSize) {
            m_rest += position - 1 + size - doneSize;
            m_done.truncate(position - 1);
        } else {
            const qsizetype passed = position - 1 - doneSize;
            m_done.append(QStringView(m_text).sliced(m_rest, passed));
            m_rest += passed + size;
        }
        m_done.append(replacement);
        return true;
    }

    // Takes done back to what it was when the same text that now follows
    // position followed height.
    void rollBack(qsizetype height, qsizetype position)
    {
        m_done.remove(height, position - 1 - height);
    }

    QString result() const { return m_done + QStringView(m_text).sliced(m_rest); }

private:
    // The text from position on, at least as far as the longest item reaches.
    QStringView from(qsizetype position)
    {
        const qsizetype doneSize = m_done.size();
        if (position > doneSize) {
            return QStringView(m_text).sliced(m_rest + position - doneSize - 1);
        }
        m_window.resize(0);
        m_window.append(QStringView(m_done).sliced(position - 1));
        m_window.append(
            QStringView(m_text).sliced(m_rest).first(std::min(m_longest, m_text.size() - m_rest)));
        return m_window;
    }

    // Index in the original text of the first occurrence of item i at or
    // after first, or -1.
    qsizetype nextOccurrence(qsizetype i, qsizetype first)
    {
        const std::size_t slot = std::size_t(i);
        const qsizetype searched = m_searchedFrom[slot];
        const qsizetype found = m_foundAt[slot];
        if (searched < 0 || searched > first || (found >= 0 && found < first)) {
            m_searchedFrom[slot] = first;
            m_foundAt[slot] = m_text.indexOf(m_finds.at(i), first, m_cs);
        }
        return m_foundAt[slot];
    }

    const QString &m_text;
    const QStringList &m_finds;
    const Qt::CaseSensitivity m_cs;
    qsizetype m_longest = 0;
    qsizetype m_firstEmpty = -1;
    QString m_done;
    qsizetype m_rest = 0;
    std::vector<qsizetype> m_searchedFrom;
    std::vector<qsizetype> m_foundAt;
    QString m_window;
};

// Tells when replacements that stay inside the rewritten part would go on
// forever. A state is the tail, the text from the search position to the end
// of the rewritten part, at a height, the number of characters before the
// search position. Such a replacement never lengthens the tail, and the next
// one depends on the tail alone while the search does not go back before it.
// So when a tail comes back at the same or a greater height, with no resume
// position in between below the first one, the same replacements follow one
// another without end.
class LoopWatch
{
public:
    // Records the state at position before a replacement that stays inside
    // done; asked is the resume position the previous replacement asked for.
    // Returns the height of the earlier state this one repeats, or -1.
    qsizetype visit(const QString &done, qsizetype position, qsizetype asked)
    {
        const qsizetype height = position - 1;
        QString tail = done.sliced(height);
        if (!m_states.empty() && m_states.back().tail.size() != tail.size()) {
            clear(); // a longer tail never comes back
        }
        // The search has gone back below these states: they prove nothing now.
        while (!m_states.empty() && m_states.back().height > asked - 1) {
            m_heights.remove(m_states.back().tail);
            m_states.pop_back();
        }
        if (const auto it = m_heights.constFind(tail); it != m_heights.cend()) {
            return it.value();
        }
        m_heights.insert(tail, height);
        m_states.push_back({height, std::move(tail)});
        return -1;
    }

    void clear()
    {
        m_states.clear();
        m_heights.clear();
    }

private:
    struct State
    {
        qsizetype height;
        QString tail;
    };
    std::vector<State> m_states; // heights never decrease from bottom to top
    QHash<QString, qsizetype> m_heights;
};

} // namespace

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
    bool selfRef = false;
    for (const QString &find : finds) {
        selfRef = selfRef || repls.contains(find, Qt::CaseSensitive);
    }

    Rewriter rewriter(text, finds, caseSensitivity(compare));
    LoopWatch watch;
    qsizetype position = 1;
    qsizetype asked = 1; // the resume position before a value below 1 is raised to 1
    bool cutShort = false;
    for (;;) {
        if (rewriter.length() >= INT_MAX) {
            break; // as FindAny
        }
        qsizetype p = 0;
        qsizetype k = 0;
        if (!rewriter.find(position, cutShort, p, k)) {
            break;
        }
        if (!rewriter.reachesRest(p, k)) {
            const qsizetype loopHeight = watch.visit(rewriter.done(), position, asked);
            if (loopHeight >= 0) {
                rewriter.rollBack(loopHeight, position);
                watch.clear();
                position = rewriter.done().size() + 1;
                cutShort = true;
                continue;
            }
        }
        if (rewriter.replace(p, k, repls.at(k))) {
            watch.clear();
            cutShort = false;
        }
        asked = p + repls.at(k).size() - finds.at(k).size() + (selfRef ? 1 : 0);
        position = std::max<qsizetype>(asked, 1);
    }
    return rewriter.result();
}

} // namespace velmora
