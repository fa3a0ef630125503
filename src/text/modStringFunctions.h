#pragma once

#include "algorithms/VbStrings.h"

#include <QString>

namespace velmora {

// Positions are 1-based and count 16-bit code units; 0 means not found.

// The earliest position at or after start where any item of the delimited
// findList occurs in text. Only the delimiter's first character counts; an
// empty delimiter means ",". When findList holds no delimiter it is one plain
// search and foundIndex is left alone; otherwise foundIndex becomes the 0-based
// index of the item found (the earlier item when two begin at the same place)
// or 0 when none is found. An empty text or findList gives 0 and leaves
// foundIndex alone. An empty item occurs at start itself. A start below 1 is
// taken as 1.
int FindAny(const QString &text, const QString &findList, int &foundIndex, int start = 1,
            CompareMode compare = CompareMode::Binary, const QString &delimiter = QString());

// text with every occurrence of each item of findList replaced by the item at
// the same index of replaceList, earliest occurrence first (the earlier item on
// a tie). Delimiters as for FindAny. Rules for the lists:
// - a replaceList with fewer items than findList lends its last item to the
//   remaining find items (one replacement then serves them all);
// - extra replacement items beyond the find items are ignored;
// - an empty replaceList replaces every item by the empty string;
// - an empty findList leaves text unchanged.
// After replacing an item found at position p the search resumes at
// p + length(replacement) - length(item), one further when some find item
// equals some replacement item; a resume position below 1 counts as 1. So the
// search may look again at the replacement just made and at the text before it:
// "abb" with "ab" -> "xa" gives "xxa", "aab" with "ab" -> "b" gives "b".
//
// That rule can go on forever (replacing 'a' by 'ba' finds the inserted 'a'
// again and again); only there does ReplaceAny leave it. Read the text as a
// rewritten part followed by the rest of the original text, which no
// replacement has reached yet; a replacement that takes away or passes over
// any of that rest makes everything up to its end rewritten. Replacements
// inside the rewritten part repeat without end exactly when the search comes
// back, with no original text reached in between, to a resume position
// followed by the same text to the end of the rewritten part as at an earlier
// resume position that lies at or before it, never having resumed before that
// earlier position in between. ReplaceAny then takes the text as it was at the
// earlier position and resumes at the end of the rewritten part, where an
// empty item is not looked for. Thus 'a' -> 'ba' turns "aa" into "baba", and an
// empty find item, unless some replacement equals some find item, changes
// nothing ("ab" with ",x" -> "-" stays "ab").
// Each item is searched for in the original text once, left to right; with
// one-character items and replacements that equal none of them the whole work
// is linear in the length of text.
QString ReplaceAny(const QString &text, const QString &findList, const QString &replaceList,
                   CompareMode compare = CompareMode::Binary, const QString &delimiter = QString());

} // namespace velmora
