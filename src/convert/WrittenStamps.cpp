#include "convert/WrittenStamps.h"

namespace velmora {

FileStamp WrittenStamps::after(const BinaryFile &file, std::int64_t before)
{
    const FileStamp span = file.writtenSince(before);
    const std::uint64_t written = m_written.fetch_add(1, std::memory_order_relaxed);
    const bool checked = written < FirstChecked || written % CheckedEvery == 0;
    if (!checked && trusted() && span.earlierByNs <= WidestSpanNs) {
        return span;
    }
    const FileStamp exact = file.stamp();
    if (checked && !span.admits(exact)) {
        m_trusted.store(false, std::memory_order_relaxed);
    }
    return exact;
}

} // namespace velmora
