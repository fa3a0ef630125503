#include "platform/ZeroedMemory.h"

#include <sys/mman.h>

#include <utility>

namespace velmora {

ZeroedMemory::ZeroedMemory(std::size_t bytes)
{
    void *data = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (data == MAP_FAILED) {
        return;
    }
#ifdef MADV_HUGEPAGE
    // Only advice: without large pages the table works all the same.
    ::madvise(data, bytes, MADV_HUGEPAGE);
#endif
    m_data = data;
    m_size = bytes;
}

ZeroedMemory::~ZeroedMemory()
{
    if (m_data) {
        ::munmap(m_data, m_size);
    }
}

ZeroedMemory::ZeroedMemory(ZeroedMemory &&other) noexcept
    : m_data(std::exchange(other.m_data, nullptr)), m_size(std::exchange(other.m_size, 0))
{
}

ZeroedMemory &ZeroedMemory::operator=(ZeroedMemory &&other) noexcept
{
    if (this != &other) {
        ZeroedMemory gone(std::move(*this));
        m_data = std::exchange(other.m_data, nullptr);
        m_size = std::exchange(other.m_size, 0);
    }
    return *this;
}

} // namespace velmora
