#pragma once

#include <QByteArrayView>
#include <QString>

namespace velmora {

// A path as the system spells it (bytes), shown as one line of text that
// names it exactly. A name in printable UTF-8 shows as it is. What a terminal
// or a log would act on or lose is escaped: a tab, a newline and a carriage
// return as \t, \n and \r; every other control character (C0, DEL, C1), the
// line and paragraph separators and the bidirectional controls as the \xHH
// of each of their bytes; a byte that is not part of valid UTF-8 as \xHH.
// A backslash of the name is doubled where the text that follows it begins
// with n, r, t, x or a backslash (and would read as an escape), so the text
// always leads back to the same bytes.
QString escapedPath(QByteArrayView bytes);

} // namespace velmora
