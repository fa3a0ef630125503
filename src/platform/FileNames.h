#pragma once

#include <QString>

#include <string_view>

namespace velmora {

// Whether a name the system gave as bytes is plain ASCII, which reads the same
// in every encoding and needs no decoding.
bool isAscii(std::string_view bytes);

// folder (ending in a separator) followed by a name as the system spelled it.
QString joinName(const QString &folder, std::string_view name);
// A name as the system spelled it, appended to out.
void appendName(QString &out, std::string_view name);

} // namespace velmora
