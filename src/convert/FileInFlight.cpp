#include "convert/FileInFlight.h"

#include "platform/OrderedWork.h"

namespace velmora {

qsizetype convertInOrder(qsizetype count, int jobs,
                         const std::function<void(qsizetype, FileInFlight &)> &prepare,
                         const std::function<void(qsizetype, FileInFlight &)> &finish,
                         const std::function<bool()> &shouldStop)
{
    OrderedWork<FileInFlight> work(jobs, count);
    return work.run(prepare, finish, shouldStop);
}

} // namespace velmora
