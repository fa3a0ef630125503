#pragma once

#include "platform/BinaryFile.h"
#include "platform/ZeroedMemory.h"

#include <algorithm>
#include <cstdint>
#include <new>
#include <optional>

namespace velmora {

// For each file identity, the stamp it had when last seen and a small tag
// (which run saw it), in 24 bytes a file: one flat table, filled from
// records of hundreds of thousands of files at every start.
//
// The identity and the length are kept as digests, not as they are. Two
// files on one device never share a key (the inode is kept whole, only the
// device is mixed in); a false match needs files of two devices to share a
// key, a length digest and a time as well, too unlikely to matter.
class StampTable
{
public:
    static constexpr std::uint16_t MaxTag = 0xFFFE;

    // Sets what is known of the file: seen with this stamp, by tag; unless
    // it was put with a higher tag (a later sighting) before.
    void putUnlessLater(const FileId &id, const FileStamp &stamp, std::uint16_t tag)
    {
        if ((m_size + 1) * 5 > m_slotCount * 4) {
            grow();
        }
        Slot &slot = table()[indexOf(key(id))];
        if (slot.value != 0 && (slot.value & 0xFFFF) > std::uint64_t(tag) + 1) {
            return;
        }
        // A span too wide to keep is cut short: the file may then go
        // unrecognised, never recognised wrongly.
        const std::uint64_t spanUs = std::min(std::uint64_t(stamp.earlierByUs()), SpanMask);
        m_size += slot.value == 0 ? 1 : 0;
        slot = {key(id), stamp.modifiedNs,
                lengthDigest(stamp) << 40 | spanUs << 16 | (std::uint64_t(tag) + 1)};
    }
    // The tag the file was put with, when it still has that stamp.
    std::optional<std::uint16_t> tag(const FileId &id, const FileStamp &now) const
    {
        if (m_slotCount == 0) {
            return std::nullopt;
        }
        const Slot &slot = table()[indexOf(key(id))];
        if (slot.value == 0 || (slot.value >> 40) != lengthDigest(now)) {
            return std::nullopt;
        }
        const FileStamp kept{now.length, slot.modified,
                             std::int64_t((slot.value >> 16) & SpanMask) * 1000};
        if (!kept.admits(now)) {
            return std::nullopt;
        }
        return std::uint16_t((slot.value & 0xFFFF) - 1);
    }
    bool isEmpty() const { return m_size == 0; }

private:
    struct Slot
    {
        std::uint64_t key = 0;
        std::int64_t modified = 0; // ns, the latest the file may have had
        // 0: free; else length digest << 40 | span in µs << 16 | tag + 1
        std::uint64_t value = 0;
    };
    static constexpr std::uint64_t SpanMask = 0xFFFFFF;

    static std::uint64_t mix(std::uint64_t x)
    {
        x ^= x >> 31;
        x *= 0x7FB5D329728EA185ull;
        x ^= x >> 27;
        x *= 0x81DADEF4BC2DD44Dull;
        return x ^ (x >> 33);
    }
    static std::uint64_t key(const FileId &id) { return id.inode ^ mix(id.device); }
    static std::uint64_t lengthDigest(const FileStamp &stamp)
    {
        return mix(std::uint64_t(stamp.length)) >> 40;
    }
    Slot *table() const { return static_cast<Slot *>(m_memory.data()); }
    std::size_t mask() const { return m_slotCount - 1; }
    // The key's slot, or the free slot where it would go.
    std::size_t indexOf(std::uint64_t k) const
    {
        for (std::size_t at = std::size_t(mix(k)) & mask();; at = (at + 1) & mask()) {
            if (table()[at].value == 0 || table()[at].key == k) {
                return at;
            }
        }
    }
    void grow()
    {
        const std::size_t oldCount = m_slotCount;
        ZeroedMemory old = std::move(m_memory);
        m_slotCount = oldCount == 0 ? 1024 : oldCount * 2;
        m_memory = ZeroedMemory(m_slotCount * sizeof(Slot));
        if (!m_memory.data()) {
            throw std::bad_alloc();
        }
        const Slot *from = static_cast<const Slot *>(old.data());
        for (std::size_t i = 0; i < oldCount; ++i) {
            if (from[i].value != 0) {
                table()[indexOf(from[i].key)] = from[i];
            }
        }
    }

    // Probed at random: zeroed memory of the system's large pages.
    ZeroedMemory m_memory;
    std::size_t m_slotCount = 0;
    std::size_t m_size = 0;
};

} // namespace velmora
