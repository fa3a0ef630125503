#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <memory>
#include <utility>

namespace velmora {

// A list that grows at its end and never moves what it holds: one thread may
// append while others read the items they were handed (through a lock or an
// atomic that orders the append before the read). Blocks double in size, so
// a list of any length is a few dozen blocks and never copied.
template <typename T> class GrowingList
{
public:
    GrowingList() = default;
    GrowingList(GrowingList &&) noexcept = default;
    GrowingList &operator=(GrowingList &&) noexcept = default;
    GrowingList(const GrowingList &other)
    {
        for (std::size_t i = 0; i < other.size(); ++i) {
            push_back(other[i]);
        }
    }
    GrowingList &operator=(const GrowingList &other)
    {
        if (this != &other) {
            *this = GrowingList(other);
        }
        return *this;
    }

    std::size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }

    T &operator[](std::size_t i)
    {
        const auto [block, at] = place(i);
        return m_blocks[block][at];
    }
    const T &operator[](std::size_t i) const
    {
        const auto [block, at] = place(i);
        return m_blocks[block][at];
    }
    T &back() { return (*this)[m_size - 1]; }

    void push_back(T value)
    {
        const auto [block, at] = place(m_size);
        if (!m_blocks[block]) {
            m_blocks[block] = std::make_unique<T[]>(std::size_t{1} << (FirstBits + block));
        }
        m_blocks[block][at] = std::move(value);
        ++m_size;
    }

private:
    static constexpr unsigned FirstBits = 6; // the first block holds 64 items
    static constexpr unsigned Blocks = 48;

    // Block b holds items 64 * (2^b - 1) up to 64 * (2^(b+1) - 1).
    static std::pair<unsigned, std::size_t> place(std::size_t i)
    {
        const std::size_t shifted = i + (std::size_t{1} << FirstBits);
        const unsigned top = unsigned(std::bit_width(shifted)) - 1;
        return {top - FirstBits, shifted - (std::size_t{1} << top)};
    }

    std::array<std::unique_ptr<T[]>, Blocks> m_blocks;
    std::size_t m_size = 0;
};

} // namespace velmora
