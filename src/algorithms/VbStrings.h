#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

namespace velmora {

// How two strings are compared: code unit for code unit, or ignoring case.
enum class CompareMode { Binary, Text };

inline Qt::CaseSensitivity caseSensitivity(CompareMode mode)
{
    return mode == CompareMode::Text ? Qt::CaseInsensitive : Qt::CaseSensitive;
}

// 1-based position of the first occurrence of s in text that begins at or after
// start, or 0. An empty text gives 0; an empty s gives start while start lies
// inside text. A start below 1 is taken as 1.
qsizetype InStr(qsizetype start, QStringView text, QStringView s, CompareMode mode);

// Equality of two strings in the given mode.
bool StrEqual(QStringView a, QStringView b, CompareMode mode);

// The pieces of s between delimiters, indexed from 0: an empty string gives no
// pieces, two delimiters in a row give an empty piece. Always binary.
QStringList Split(const QString &s, QChar delimiter);

// s without leading and trailing spaces; other white space (TAB) is kept.
QString Trim(const QString &s);

} // namespace velmora
