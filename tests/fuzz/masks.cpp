#include "FuzzTargets.h"

#include "search/modTree.h"

#include <algorithm>

namespace velmora::fuzz {

namespace {

// Whether the pattern element at i takes c; next is set past the element.
bool elementTakes(const QString &p, qsizetype i, QChar c, qsizetype &next)
{
    next = i + 1;
    if (p[i] == u'?' || p[i] == u'#') {
        return p[i] == u'?' || (c >= u'0' && c <= u'9');
    }
    if (p[i] != u'[') {
        return p[i].toCaseFolded() == c.toCaseFolded();
    }
    qsizetype j = i + 1;
    const bool negated = j < p.size() && p[j] == u'!';
    bool in = false;
    for (j += negated; p[j] != u']'; ++j) {
        const QChar low = p[j];
        const bool range = j + 2 < p.size() && p[j + 1] == u'-' && p[j + 2] != u']';
        const QChar high = range ? p[j += 2] : low;
        for (const QChar x : {c, c.toLower(), c.toUpper()}) {
            in = in || (x >= low && x <= high);
        }
    }
    next = j + 1;
    return in != negated;
}

// A plain matcher to hold the compiled one to: the set of pattern positions
// reachable after each character of the name, a star taking any run.
bool referenceMatch(const QString &p, QStringView name)
{
    std::vector<char> at(p.size() + 1), next;
    at[0] = 1;
    for (qsizetype k = 0;; ++k) {
        for (qsizetype i = 0; i < p.size(); ++i) {
            at[i + 1] |= at[i] && p[i] == u'*'; // a star may take nothing
        }
        if (k == name.size()) {
            return at.back();
        }
        next.assign(at.size(), 0);
        for (qsizetype i = 0, after = 0; i < p.size(); ++i) {
            if (at[i] && p[i] == u'*') {
                next[i] = 1;
            } else if (at[i] && elementTakes(p, i, name[k], after)) {
                next[after] = 1;
            }
        }
        at.swap(next);
    }
}

bool isAscii(const QByteArray &bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return c >= 0; });
}

bool anyMatches(const QStringList &patterns, QStringView name)
{
    return std::any_of(patterns.begin(), patterns.end(),
                       [name](const QString &p) { return referenceMatch(p, name); });
}

} // namespace

// The input's first line is a mask list, each further line a file name.
int masks(const std::uint8_t *data, std::size_t size)
{
    const QList<QByteArray> lines =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size)).split('\n');
    const QString maskList = QString::fromUtf8(lines.first());
    MaskSet set;
    QString error;
    const bool valid = PrepareMasks(maskList, set, &error);
    check(valid == error.isEmpty(), "a mask list is refused exactly when a reason is given");
    QStringList include, exclude;
    bool hasInclude = false, hasExclude = false;
    SplitMasks(ParseMaskList(maskList, true), include, exclude, hasInclude, hasExclude);
    WildcardPattern pattern;
    for (const QByteArray &line : lines.sliced(1)) {
        const QString name = QString::fromUtf8(line);
        const std::string_view ascii(line.constData(), std::size_t(line.size()));
        // The raw list as one pattern too: it may hold no star at all. One
        // object compiled again for each pattern keeps nothing of the last.
        for (const QString &p : include + exclude + QStringList{maskList}) {
            const bool wellFormed = pattern.compile(p, nullptr);
            check(pattern.matches(name) == (wellFormed && referenceMatch(p, name)),
                  "a pattern matches as the plain matcher does; a malformed one matches nothing");
            check(!isAscii(line) || pattern.matchesAscii(ascii) == pattern.matches(name),
                  "an ASCII name matches alike undecoded");
        }
        // Only a well-formed list: the plain matcher takes no malformed pattern.
        const bool passes =
            valid && !anyMatches(exclude, name) && (!hasInclude || anyMatches(include, name));
        check(!valid || MatchMasks(name, set) == passes,
              "exclusion wins, then any include lets a name pass");
        check(!valid || !isAscii(line) || MatchMasksAscii(ascii, set) == passes,
              "an ASCII name passes alike undecoded");
    }
    return 0;
}

} // namespace velmora::fuzz
