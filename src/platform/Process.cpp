#include "platform/Process.h"

#include <algorithm>
#include <dirent.h>
#include <mutex>
#include <sys/resource.h>

namespace velmora {

long threadStorageReads()
{
#ifdef RUSAGE_THREAD
    rusage usage{};
    return ::getrusage(RUSAGE_THREAD, &usage) == 0 ? usage.ru_inblock : 0;
#else
    return 0; // then threads are never brought in for a slow disk
#endif
}

void raiseOpenFileLimit()
{
    static std::once_flag raised;
    std::call_once(raised, [] {
        rlimit limit{};
        if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
            limit.rlim_cur = limit.rlim_max;
            ::setrlimit(RLIMIT_NOFILE, &limit); // on failure the old limit stays
        }
    });
}

namespace {

// The descriptors open now, counted in /proc; a guess where it is missing.
long descriptorsOpen()
{
    DIR *open = ::opendir("/proc/self/fd");
    if (!open) {
        return 64;
    }
    long count = -1; // the listing's own descriptor
    while (const dirent *entry = ::readdir(open)) {
        if (entry->d_name[0] != '.') {
            ++count;
        }
    }
    ::closedir(open);
    return count;
}

} // namespace

long descriptorsLeft()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
        return 1L << 20;
    }
    return std::max(long(limit.rlim_cur) - descriptorsOpen(), 0L);
}

} // namespace velmora
