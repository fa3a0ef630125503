#pragma once

#include <cstddef>

namespace velmora {

// A block of zeroed memory taken from the system directly, for large tables
// probed at random: the system is asked to back it with large pages, so a
// probe costs one cache miss rather than a miss and a page-table walk too.
class ZeroedMemory
{
public:
    ZeroedMemory() = default;
    // bytes of zeros; empty when the system has no memory to give.
    explicit ZeroedMemory(std::size_t bytes);
    ~ZeroedMemory();
    ZeroedMemory(ZeroedMemory &&other) noexcept;
    ZeroedMemory &operator=(ZeroedMemory &&other) noexcept;
    ZeroedMemory(const ZeroedMemory &) = delete;
    ZeroedMemory &operator=(const ZeroedMemory &) = delete;

    void *data() const { return m_data; }
    std::size_t size() const { return m_size; }

private:
    void *m_data = nullptr;
    std::size_t m_size = 0;
};

} // namespace velmora
