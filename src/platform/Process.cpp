#include "platform/Process.h"

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

} // namespace velmora
