#pragma once

#include "platform/VbStrings.h"

#include <QString>

namespace velmora {

// Positions are 1-based and count 16-bit code units; 0 means not found.

// s up to (not including) its first NUL; s itself when it holds none.
QString TrimAtNull(const QString &s);

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
// the same index of replaceList, left to right, earliest occurrence first.
// Delimiters as for FindAny. Rules for the lists:
// - a replaceList with fewer items than findList lends its last item to the
//   remaining find items (one replacement then serves them all);
// - extra replacement items beyond the find items are ignored;
// - an empty replaceList replaces every item by the empty string;
// - an empty findList leaves text unchanged.
// The search always resumes right after the inserted replacement, so no part
// of the result is searched twice and a replacement is never replaced again
// (replacing 'a' by 'ba' turns "aa" into "baba"). An empty find item occurs
// before every character: its replacement is put in front of each one.
QString ReplaceAny(const QString &text, const QString &findList, const QString &replaceList,
                   CompareMode compare = CompareMode::Binary, const QString &delimiter = QString());

} // namespace velmora
