#include "convert/FileInFlight.h"

#include "platform/OrderedWork.h"

namespace velmora {

qsizetype convertInOrder(qsizetype count, int jobs, const ThreadFileStep &open,
                         const FileStep &admit, const ThreadFileStep &work, const FileStep &finish,
                         const std::function<bool()> &shouldStop)
{
    // A warm file takes a few microseconds: threads take files 32 at a time.
    OrderedWork<FileInFlight> files(jobs, count, 32);
    const auto opening = [&files, &open](qsizetype i, FileInFlight &file, int thread) {
        file.readAhead = files.diskBound();
        open(i, file, thread);
    };
    return files.run(opening, admit, work, finish, shouldStop);
}

} // namespace velmora
