#pragma once

#include "platform/BinaryFile.h"

#include <QtGlobal>

#include <utility>
#include <vector>

namespace velmora {

// A set of file identities kept in one flat table (open addressing): a batch
// of hundreds of thousands of files asks it once a file, and a table of nodes
// would cost an allocation per file to fill and as many frees to let go.
class FileIdSet
{
public:
    bool contains(const FileId &id) const
    {
        if (id == Free) {
            return m_hasFree;
        }
        if (m_slots.empty()) {
            return false;
        }
        for (std::size_t at = home(id);; at = (at + 1) & mask()) {
            const FileId &slot = m_slots[at];
            if (slot == Free) {
                return false;
            }
            if (slot == id) {
                return true;
            }
        }
    }
    // Adds id; false when it was there already.
    bool insert(const FileId &id)
    {
        if (id == Free) {
            return !std::exchange(m_hasFree, true);
        }
        if ((m_size + 1) * 4 > m_slots.size() * 3) {
            grow();
        }
        for (std::size_t at = home(id);; at = (at + 1) & mask()) {
            FileId &slot = m_slots[at];
            if (slot == Free) {
                slot = id;
                ++m_size;
                return true;
            }
            if (slot == id) {
                return false;
            }
        }
    }
    // Makes room for n more without growing on the way.
    void reserve(std::size_t n)
    {
        while ((m_size + n) * 4 > m_slots.size() * 3) {
            grow();
        }
    }
    std::size_t size() const { return m_size + (m_hasFree ? 1 : 0); }

private:
    // Marks a free slot: no file has it for identity, and one that did would
    // still be kept, apart.
    static constexpr FileId Free{~std::uint64_t{0}, ~std::uint64_t{0}};

    std::size_t mask() const { return m_slots.size() - 1; }
    std::size_t home(const FileId &id) const
    {
        // Inode numbers come in runs; a multiplicative mix spreads them.
        const std::uint64_t mixed = (id.inode ^ (id.device << 32)) * 0x9E3779B97F4A7C15ull;
        return std::size_t(mixed >> 20) & mask();
    }
    void grow()
    {
        std::vector<FileId> old = std::move(m_slots);
        m_slots.assign(old.empty() ? 64 : old.size() * 2, Free);
        m_size = 0;
        for (const FileId &slot : old) {
            if (slot != Free) {
                insert(slot);
            }
        }
    }

    std::vector<FileId> m_slots; // 16 bytes a slot
    std::size_t m_size = 0;      // in m_slots
    bool m_hasFree = false;
};

} // namespace velmora
