#pragma once

#include <QString>

namespace velmora {

// Turns a filter in the classic "description|pattern|description|pattern" form
// into Qt's name-filter form "description (pattern);;...". A description that
// already names its pattern in parentheses is used as it is; several patterns
// of one entry ("*.a;*.b") are separated by spaces.
QString qtNameFilter(const QString &classicFilter);

} // namespace velmora
