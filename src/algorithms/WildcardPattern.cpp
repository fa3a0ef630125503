#include "algorithms/WildcardPattern.h"

#include <QChar>

namespace velmora {

namespace {

char16_t toUnit(QChar c)
{
    return c.unicode();
}
char16_t toUnit(char c)
{
    return static_cast<unsigned char>(c);
}

char16_t foldUnit(char16_t c)
{
    if (c < 0x80) {
        return (c >= u'A' && c <= u'Z') ? char16_t(c + (u'a' - u'A')) : c;
    }
    return QChar(c).toCaseFolded().unicode();
}

} // namespace

bool WildcardPattern::compile(const QString &pattern, QString *error)
{
    m_pattern = pattern;
    m_tokens.clear();
    m_ranges.clear();
    m_segments.clear();
    m_valid = false;

    auto fail = [&](const QString &reason) {
        if (error) {
            *error = reason + QStringLiteral(" in mask \"") + pattern + u'"';
        }
        m_tokens.clear();
        m_ranges.clear();
        m_segments.clear();
        return false;
    };

    Segment current{0, 0};
    const qsizetype length = pattern.size();
    for (qsizetype i = 0; i < length; ++i) {
        const char16_t c = pattern.at(i).unicode();
        if (c == u'*') {
            // Consecutive stars mean the same as one.
            m_segments.push_back(current);
            current = Segment{static_cast<unsigned>(m_tokens.size()), 0};
            while (i + 1 < length && pattern.at(i + 1) == u'*') {
                ++i;
            }
            continue;
        }
        Token token{Kind::Literal, false, 0, 0, 0};
        if (c == u'?') {
            token.kind = Kind::AnyChar;
        } else if (c == u'#') {
            token.kind = Kind::Digit;
        } else if (c == u'[') {
            qsizetype j = i + 1;
            token.kind = Kind::Set;
            if (j < length && pattern.at(j) == u'!') {
                token.negated = true;
                ++j;
            }
            token.setFirst = static_cast<unsigned>(m_ranges.size());
            while (j < length && pattern.at(j) != u']') {
                const char16_t low = pattern.at(j).unicode();
                if (j + 2 < length && pattern.at(j + 1) == u'-' && pattern.at(j + 2) != u']') {
                    const char16_t high = pattern.at(j + 2).unicode();
                    if (high < low) {
                        return fail(QStringLiteral("descending range '") + QChar(low) + u'-' +
                                    QChar(high) + u'\'');
                    }
                    m_ranges.push_back(Range{low, high});
                    j += 3;
                } else {
                    m_ranges.push_back(Range{low, low});
                    ++j;
                }
            }
            if (j >= length) {
                return fail(QStringLiteral("unclosed '['"));
            }
            token.setCount = static_cast<unsigned>(m_ranges.size()) - token.setFirst;
            if (token.setCount == 0 && !token.negated) {
                return fail(QStringLiteral("empty '[]'"));
            }
            i = j;
        } else {
            token.unit = foldUnit(c);
        }
        m_tokens.push_back(token);
        ++current.count;
    }
    m_segments.push_back(current);
    m_valid = true;
    return true;
}

bool WildcardPattern::setContains(const Token &token, char16_t unit) const
{
    const Range *range = m_ranges.data() + token.setFirst;
    const Range *end = range + token.setCount;
    for (; range != end; ++range) {
        if (unit >= range->low && unit <= range->high) {
            return true;
        }
    }
    return false;
}

bool WildcardPattern::tokenMatches(const Token &token, char16_t unit) const
{
    switch (token.kind) {
    case Kind::AnyChar:
        return true;
    case Kind::Digit:
        return unit >= u'0' && unit <= u'9';
    case Kind::Literal:
        return foldUnit(unit) == token.unit;
    case Kind::Set: {
        // [a-c] takes 'B' as well: the unit, its lower and its upper case.
        bool found = setContains(token, unit);
        if (!found) {
            const QChar c(unit);
            const char16_t lower = c.toLower().unicode();
            const char16_t upper = c.toUpper().unicode();
            found = (lower != unit && setContains(token, lower)) ||
                    (upper != unit && setContains(token, upper));
        }
        return found != token.negated;
    }
    }
    return false;
}

template <typename Unit>
bool WildcardPattern::segmentMatchesAt(const Segment &segment, const Unit *name) const
{
    const Token *token = m_tokens.data() + segment.first;
    for (unsigned k = 0; k < segment.count; ++k) {
        if (!tokenMatches(token[k], toUnit(name[k]))) {
            return false;
        }
    }
    return true;
}

// Every token takes exactly one character, so a pattern is its segments with
// free gaps between them. The first segment must sit at the start, the last at
// the end; each segment in between is placed at its leftmost fit after the
// previous one, which leaves the most room for the rest and never needs undoing.
template <typename Unit> bool WildcardPattern::matchUnits(const Unit *name, qsizetype length) const
{
    if (!m_valid) {
        return false;
    }
    const Segment &head = m_segments.front();
    if (m_segments.size() == 1) {
        return length == head.count && segmentMatchesAt(head, name);
    }
    const Segment &tail = m_segments.back();
    if (length < qsizetype(head.count) + qsizetype(tail.count)) {
        return false;
    }
    if (!segmentMatchesAt(tail, name + (length - tail.count)) || !segmentMatchesAt(head, name)) {
        return false;
    }
    qsizetype position = head.count;
    const qsizetype end = length - tail.count;
    for (std::size_t s = 1; s + 1 < m_segments.size(); ++s) {
        const Segment &segment = m_segments[s];
        bool placed = false;
        for (; position + qsizetype(segment.count) <= end; ++position) {
            if (segmentMatchesAt(segment, name + position)) {
                placed = true;
                break;
            }
        }
        if (!placed) {
            return false;
        }
        position += segment.count;
    }
    return true;
}

bool WildcardPattern::matches(QStringView name) const
{
    return matchUnits(name.data(), name.size());
}

bool WildcardPattern::matchesAscii(std::string_view name) const
{
    return matchUnits(name.data(), qsizetype(name.size()));
}

} // namespace velmora
