#include "convert/FileInFlight.h"

#include <algorithm>

namespace velmora {

InFlightLimits limitInFlight(int jobs, long descriptors)
{
    // Left for what else the program opens meanwhile (its journal, Qt's own).
    constexpr long Reserve = 16;
    const long budget = descriptors - Reserve;
    InFlightLimits limits;
    limits.jobs = std::max(jobs, 1);
    limits.keptFolders = std::size_t(std::clamp(budget / 8, 1L, 64L));
    // Each thread: its slots' files, the folder it used last and one it may be
    // opening; the calling thread's folders besides.
    const auto needed = [&limits] {
        return long(limits.jobs) * (2 * long(limits.chunk) + 2) + long(limits.keptFolders) + 2;
    };
    while (needed() > budget && limits.chunk > 1) {
        limits.chunk /= 2;
    }
    while (needed() > budget && limits.jobs > 1) {
        --limits.jobs;
    }
    return limits;
}

qsizetype convertInOrder(FileWork &files, const ThreadFileStep &open, const FileStep &admit,
                         const ThreadFileStep &work, const FileStep &finish,
                         const std::function<bool()> &shouldStop)
{
    const auto opening = [&files, &open](qsizetype i, FileInFlight &file, int thread) {
        file.readAhead = files.diskBound();
        open(i, file, thread);
    };
    return files.run(opening, admit, work, finish, shouldStop);
}

} // namespace velmora
