#include "platform/Process.h"

#include <csignal>
#include <cstdlib>
#include <sys/resource.h>

namespace velmora {

long threadWaits()
{
#ifdef RUSAGE_THREAD
    rusage usage{};
    return ::getrusage(RUSAGE_THREAD, &usage) == 0 ? usage.ru_nvcsw : 0;
#else
    return 0; // then threads are never brought in for a slow disk
#endif
}

void killThisProcess()
{
    std::raise(SIGKILL);
    std::abort(); // not reached: SIGKILL cannot be caught
}

} // namespace velmora
