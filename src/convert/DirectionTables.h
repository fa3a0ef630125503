#pragma once

#include "convert/LogEntry.h"
#include "platform/BinaryFile.h"

#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

namespace velmora {

// Forward puts the direction groups in the order 1, 3, 5, 7, 0, 2, 4, 6; Undo
// puts a file so converted back in its previous order.
enum class DirectionSwap { Forward, Undo };

// The part of an 8-direction CL2 file that a reorder rewrites: the header of
// eight group offsets, the frame table of the group at the first offset, and
// the frame table of the group it swaps with. Each table's offsets are relative
// to its own group, so a table moved to the other group is rebased.
// One object may serve many files in turn; its buffers are reused.
class DirectionTables
{
public:
    // One read at offset 0 covers the header, the first frame count and, for
    // all but very long groups, the first table too.
    static constexpr std::int64_t FirstReadBytes = 4096;

    // Reads and validates everything the rewrite touches and prepares the new
    // bytes. Returns what is wrong with the file, if anything.
    FileProblem load(BinaryFile &file, DirectionSwap swap);

    // Writes the prepared bytes: in one write when both blocks came in the
    // first read, else block by block. When a write fails, the original bytes
    // are put back; the result says what failed, or is empty on success.
    QString store(BinaryFile &file) const;

    // Sets up the object as load() would have for a file whose original
    // blocks were these, without the file: the new bytes are prepared from
    // them. Returns what is wrong with the blocks, if anything.
    FileProblem loadFromBlocks(DirectionSwap swap, std::span<const char> front,
                               std::int64_t partnerOffset, std::span<const char> partner);

    // The two blocks a rewrite touches, as read and as they are written: the
    // front block at offset 0 (header, first frame count and table) and the
    // partner group's frame count and table at partnerOffset().
    const std::vector<char> &front() const { return m_front; }
    const std::vector<char> &newFront() const { return m_newFront; }
    const std::vector<char> &partner() const { return m_partner; }
    const std::vector<char> &newPartner() const { return m_newPartner; }
    std::int64_t partnerOffset() const { return m_partnerOffset; }

    // Test seam: called by store() after its first write, once per file.
    static void setAfterFirstWriteForTesting(std::function<void()> hook);

private:
    // span: the file's bytes from offset 0 to the partner block's end when
    // both blocks came in the first read, else empty.
    FileProblem prepare(DirectionSwap swap, const std::array<std::int32_t, 8> &groups,
                        std::int32_t frames, std::span<const char> span);

    // Each block is rewritten whole, its frame count with the same value.
    // From offset 0: header, first group's frame count and its table.
    std::vector<char> m_front;
    std::vector<char> m_newFront;
    // From the partner group's start: its frame count and its table.
    std::vector<char> m_partner;
    std::vector<char> m_newPartner;
    std::int64_t m_partnerOffset = 0;
    // When both blocks came in the first read: the bytes from offset 0 to the
    // partner block's end as they are written (the bytes between the blocks
    // as they were read), so that one write does the rewrite. Else empty.
    std::vector<char> m_newSpan;
};

} // namespace velmora
