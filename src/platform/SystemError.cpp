#include "platform/SystemError.h"

#include <cstring>

namespace velmora {

QString systemReason(int errorCode)
{
    return QString::fromLocal8Bit(std::strerror(errorCode));
}

} // namespace velmora
