#pragma once

#include "platform/BinaryFile.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace velmora {

// The files a run has claimed, each under the number of its claim (0, 1, ...
// in the order claimed), the same for every name of a file. One flat table of
// 16-byte slots (open addressing) that grows as files come and is never
// reserved ahead: a run of hundreds of thousands of files asks it once a file.
class FileClaims
{
public:
    // The number of the file's claim, and whether this call made it.
    std::pair<std::uint32_t, bool> claim(const FileId &id)
    {
        if ((m_size + 1) * 4 > m_slots.size() * 3) {
            grow();
        }
        const Slot wanted{id.inode, deviceIndex(id.device), 0};
        for (std::size_t at = home(wanted);; at = (at + 1) & mask()) {
            Slot &slot = m_slots[at];
            if (slot.claimPlusOne == 0) {
                slot = wanted;
                slot.claimPlusOne = std::uint32_t(++m_size);
                return {slot.claimPlusOne - 1, true};
            }
            if (slot.inode == wanted.inode && slot.device == wanted.device) {
                return {slot.claimPlusOne - 1, false};
            }
        }
    }
    std::size_t size() const { return m_size; }

private:
    struct Slot
    {
        std::uint64_t inode;
        std::uint32_t device;       // its index in m_devices
        std::uint32_t claimPlusOne; // 0: a free slot
    };

    // A run meets one device or a few: each gets a small number.
    std::uint32_t deviceIndex(std::uint64_t device)
    {
        if (m_devices.empty() || m_devices[m_lastDevice] != device) {
            std::size_t i = 0;
            while (i < m_devices.size() && m_devices[i] != device) {
                ++i;
            }
            if (i == m_devices.size()) {
                m_devices.push_back(device);
            }
            m_lastDevice = i;
        }
        return std::uint32_t(m_lastDevice);
    }
    std::size_t mask() const { return m_slots.size() - 1; }
    std::size_t home(const Slot &slot) const
    {
        // Inode numbers come in runs; a multiplicative mix spreads them.
        const std::uint64_t mixed =
            (slot.inode ^ (std::uint64_t{slot.device} << 48)) * 0x9E3779B97F4A7C15ull;
        return std::size_t(mixed >> 20) & mask();
    }
    void grow()
    {
        std::vector<Slot> old = std::move(m_slots);
        m_slots.assign(old.empty() ? 256 : old.size() * 2, Slot{0, 0, 0});
        for (const Slot &slot : old) {
            if (slot.claimPlusOne != 0) {
                std::size_t at = home(slot);
                while (m_slots[at].claimPlusOne != 0) {
                    at = (at + 1) & mask();
                }
                m_slots[at] = slot;
            }
        }
    }

    std::vector<Slot> m_slots;
    std::size_t m_size = 0;
    std::vector<std::uint64_t> m_devices;
    std::size_t m_lastDevice = 0;
};

} // namespace velmora
