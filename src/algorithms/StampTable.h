#pragma once

#include "platform/BinaryFile.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace velmora {

// For each file identity, the stamp it had when last seen and a small tag
// (which run saw it), in 16 bytes a file: one flat table, filled from
// records of hundreds of thousands of files at every start.
//
// The identity and the stamp are kept as 64-bit and 48-bit digests, not as
// they are. Two files on one device never share a key (the inode is kept
// whole, only the device is mixed in); a false match needs files of two
// devices to share a key and a stamp digest as well, too unlikely to matter.
class StampTable
{
public:
    static constexpr std::uint16_t MaxTag = 0xFFFE;

    // Sets what is known of the file: seen with this stamp, by tag; unless
    // it was put with a higher tag (a later sighting) before.
    void putUnlessLater(const FileId &id, const FileStamp &stamp, std::uint16_t tag)
    {
        if ((m_size + 1) * 5 > m_slots.size() * 4) {
            grow();
        }
        Slot &slot = m_slots[indexOf(key(id))];
        if (slot.value != 0 && (slot.value & 0xFFFF) > std::uint64_t(tag) + 1) {
            return;
        }
        m_size += slot.value == 0 ? 1 : 0;
        slot = {key(id), value(stamp, tag)};
    }
    // The tag the file was put with, when it still has that stamp.
    std::optional<std::uint16_t> tag(const FileId &id, const FileStamp &stamp) const
    {
        if (m_slots.empty()) {
            return std::nullopt;
        }
        const Slot &slot = m_slots[indexOf(key(id))];
        if (slot.value == 0 || (slot.value >> 16) != (value(stamp, 0) >> 16)) {
            return std::nullopt;
        }
        return std::uint16_t((slot.value & 0xFFFF) - 1);
    }
    bool isEmpty() const { return m_size == 0; }

private:
    struct Slot
    {
        std::uint64_t key = 0;
        std::uint64_t value = 0; // 0: free; else stamp digest << 16 | tag + 1
    };

    static std::uint64_t mix(std::uint64_t x)
    {
        x ^= x >> 31;
        x *= 0x7FB5D329728EA185ull;
        x ^= x >> 27;
        x *= 0x81DADEF4BC2DD44Dull;
        return x ^ (x >> 33);
    }
    static std::uint64_t key(const FileId &id) { return id.inode ^ mix(id.device); }
    static std::uint64_t value(const FileStamp &stamp, std::uint16_t tag)
    {
        const std::uint64_t digest =
            mix(std::uint64_t(stamp.modifiedNs) ^ mix(std::uint64_t(stamp.length)));
        return (digest << 16) | (std::uint64_t(tag) + 1);
    }
    std::size_t mask() const { return m_slots.size() - 1; }
    // The key's slot, or the free slot where it would go.
    std::size_t indexOf(std::uint64_t k) const
    {
        for (std::size_t at = std::size_t(mix(k)) & mask();; at = (at + 1) & mask()) {
            if (m_slots[at].value == 0 || m_slots[at].key == k) {
                return at;
            }
        }
    }
    void grow()
    {
        std::vector<Slot> old = std::move(m_slots);
        m_slots.assign(old.empty() ? 1024 : old.size() * 2, Slot{});
        for (const Slot &slot : old) {
            if (slot.value != 0) {
                m_slots[indexOf(slot.key)] = slot;
            }
        }
    }

    std::vector<Slot> m_slots;
    std::size_t m_size = 0;
};

} // namespace velmora
