#include "convert/FileInFlight.h"

#include "platform/OrderedWork.h"

namespace velmora {

qsizetype convertInOrder(qsizetype count, int jobs,
                         const std::function<void(qsizetype, FileInFlight &)> &prepare,
                         const std::function<void(qsizetype, FileInFlight &)> &finish,
                         const std::function<bool()> &shouldStop)
{
    // A warm file takes a few microseconds: threads hand files over sixteen
    // at a time.
    OrderedWork<FileInFlight> work(jobs, count, 16);
    return work.run(prepare, finish, shouldStop);
}

} // namespace velmora
