#include "platform/Process.h"

#include <csignal>
#include <cstdlib>

namespace velmora {

void killThisProcess()
{
    std::raise(SIGKILL);
    std::abort(); // not reached: SIGKILL cannot be caught
}

} // namespace velmora
