#include "platform/Process.h"

#include <csignal>
#include <cstdlib>
#include <ctime>

namespace velmora {

std::chrono::nanoseconds threadCpuTime()
{
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

void killThisProcess()
{
    std::raise(SIGKILL);
    std::abort(); // not reached: SIGKILL cannot be caught
}

} // namespace velmora
