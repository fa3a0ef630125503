#pragma once

#include <QString>
#include <QStringView>

#include <string_view>
#include <vector>

namespace velmora {

// A file-name wildcard compiled once and matched against many names, ignoring
// case. The whole name must match the whole pattern:
//   ?        any one character
//   *        any run of zero or more characters
//   #        any one digit 0-9
//   [list]   any one character in list; list may hold ranges such as a-z
//   [!list]  any one character not in list ("[!]" is any one character)
//   other    that character, case-insensitively
// A '-' first or last in a list stands for itself. Matching costs at most
// name length times pattern length; there is no backtracking.
class WildcardPattern
{
public:
    // Compiles pattern. A malformed pattern (an unclosed '[', an empty "[]", a
    // descending range such as z-a) gives false with the reason in error, and
    // leaves a pattern that matches nothing.
    bool compile(const QString &pattern, QString *error);

    bool matches(QStringView name) const;
    // name must hold only ASCII bytes (all below 0x80).
    bool matchesAscii(std::string_view name) const;

    const QString &pattern() const { return m_pattern; }

private:
    enum class Kind : unsigned char { AnyChar, Digit, Literal, Set };
    struct Token
    {
        Kind kind;
        bool negated;      // Set only
        char16_t unit;     // Literal only: the folded character
        unsigned setFirst; // Set only: index into m_ranges
        unsigned setCount;
    };
    struct Range
    {
        char16_t low;
        char16_t high;
    };
    // The tokens between two stars (or the pattern's ends).
    struct Segment
    {
        unsigned first;
        unsigned count;
    };

    template <typename Unit> bool matchUnits(const Unit *name, qsizetype length) const;
    template <typename Unit> bool segmentMatchesAt(const Segment &segment, const Unit *name) const;
    bool tokenMatches(const Token &token, char16_t unit) const;
    bool setContains(const Token &token, char16_t unit) const;

    QString m_pattern;
    std::vector<Token> m_tokens;
    std::vector<Range> m_ranges;
    std::vector<Segment> m_segments; // one more than there are stars
    bool m_valid = false;
};

} // namespace velmora
