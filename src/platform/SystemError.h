#pragma once

#include <QString>

namespace velmora {

// The system's reason for an error number, as the user reads it.
QString systemReason(int errorCode);

} // namespace velmora
