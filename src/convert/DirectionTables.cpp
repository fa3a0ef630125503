#include "convert/DirectionTables.h"

#include "algorithms/CheckedMath.h"

#include <QtEndian>

#include <algorithm>
#include <limits>

namespace velmora {

namespace {

constexpr std::int32_t HeaderSize = 32;
constexpr std::int64_t FirstTableOffset = HeaderSize + 4;
constexpr std::int64_t FrontReadSize = DirectionTables::FirstReadBytes;

// New slot j takes the group that slot order[j] held; the group at slot 0
// keeps its offset (32) and trades frame tables with the group at partnerSlot.
struct SwapRule
{
    std::array<int, 8> order;
    int partnerSlot;
};
constexpr SwapRule ForwardRule{{0, 3, 5, 7, 1, 2, 4, 6}, 1};
constexpr SwapRule UndoRule{{0, 4, 5, 1, 6, 2, 7, 3}, 4};

std::function<void()> afterFirstWrite;

std::int32_t int32At(const std::vector<char> &bytes, std::int64_t offset)
{
    return qFromLittleEndian<std::int32_t>(bytes.data() + offset);
}

void setInt32At(std::vector<char> &bytes, std::int64_t offset, std::int32_t value)
{
    qToLittleEndian(value, bytes.data() + offset);
}

FileProblem notEightDirections()
{
    return {LogEntry::Status::NotEightDirections, {}};
}

FileProblem damaged(const QString &reason)
{
    return {LogEntry::Status::Damaged, reason};
}

FileProblem pastTheEnd()
{
    return damaged(QStringLiteral("has frame tables that run past the end of the file"));
}

FileProblem unreadable(const QString &reason)
{
    return {LogEntry::Status::ReadFailed, reason};
}

// Rebases a table of offsets relative to `from` so they address the same bytes
// relative to `to`. False when a result does not fit in 32 bits.
bool rebase(const char *table, char *out, std::int64_t entries, std::int32_t from, std::int32_t to)
{
    const std::int64_t shift = std::int64_t{from} - to;
    for (std::int64_t i = 0; i < entries; ++i) {
        const auto moved = toInt32(qFromLittleEndian<std::int32_t>(table + 4 * i) + shift);
        if (!moved) {
            return false;
        }
        qToLittleEndian(*moved, out + 4 * i);
    }
    return true;
}

// Whether the file holds exactly these bytes at offset.
bool holds(BinaryFile &file, std::int64_t offset, const std::vector<char> &bytes)
{
    std::vector<char> now(bytes.size());
    QString error;
    return file.readAt(offset, now.data(), std::ssize(now), &error) == std::ssize(now) &&
           now == bytes;
}

// Puts front at offset 0 of span and partner at partnerOffset.
void overlay(std::vector<char> &span, const std::vector<char> &front,
             const std::vector<char> &partner, std::int64_t partnerOffset)
{
    std::copy(front.begin(), front.end(), span.begin());
    std::copy(partner.begin(), partner.end(), span.begin() + partnerOffset);
}

// What store() says of a write that failed, once it tried to put the
// original bytes back: whether the file holds them again.
QString failedWrite(const QString &error, bool originalBack, const QString &restoreError)
{
    if (originalBack) {
        return QStringLiteral("could not be written (%1); its original bytes were put back")
            .arg(error);
    }
    return QStringLiteral("could not be written (%1) and putting its original bytes back failed "
                          "too (%2): the file may be damaged")
        .arg(error, restoreError);
}

} // namespace

FileProblem DirectionTables::load(BinaryFile &file, DirectionSwap swap)
{
    QString error;
    // The first read lands in a buffer of the thread's that is never
    // cleared: only the bytes read are ever looked at, and only until load
    // returns, so the files a thread has in flight share one.
    thread_local const std::unique_ptr<char[]> firstRead =
        std::make_unique_for_overwrite<char[]>(FrontReadSize);
    const char *first = firstRead.get();
    const std::int64_t got = file.readAt(0, firstRead.get(), FrontReadSize, &error);
    if (got < 0) {
        return unreadable(error);
    }
    if (got < HeaderSize) {
        return notEightDirections();
    }
    std::array<std::int32_t, 8> groups;
    for (int k = 0; k < 8; ++k) {
        groups[k] = qFromLittleEndian<std::int32_t>(first + 4 * k);
    }
    if (groups[0] != HeaderSize) {
        return notEightDirections();
    }
    for (int k = 1; k < 8; ++k) {
        if (groups[k] < HeaderSize) {
            return damaged(QStringLiteral("has direction %1 at an impossible offset (%2)")
                               .arg(k)
                               .arg(groups[k]));
        }
    }
    // A read shorter than asked for ends at the end of the file.
    const bool wholeFileRead = got < FrontReadSize;
    if (got < FirstTableOffset) {
        return pastTheEnd();
    }
    const std::int32_t frames = qFromLittleEndian<std::int32_t>(first + HeaderSize);
    if (frames < 0) {
        return damaged(QStringLiteral("has a negative frame count (%1)").arg(frames));
    }
    const SwapRule &rule = swap == DirectionSwap::Forward ? ForwardRule : UndoRule;
    const std::int32_t partner = groups[rule.partnerSlot];
    const std::int64_t tableBytes = 4 * (std::int64_t{frames} + 1);
    const std::int64_t frontEnd = FirstTableOffset + tableBytes;
    const std::int64_t partnerEnd = std::int64_t{partner} + 4 + tableBytes;
    if (partnerEnd > std::numeric_limits<std::int32_t>::max()) {
        return damaged(QStringLiteral("has frame tables beyond the reach of 32-bit offsets"));
    }
    // Both rewritten tables must be clear of the header, of each other and of
    // every other group, or the rewrite would damage what it does not own.
    for (int k = 1; k < 8; ++k) {
        const bool inFront = groups[k] < frontEnd;
        const bool inPartner =
            k != rule.partnerSlot && groups[k] >= partner && groups[k] < partnerEnd;
        if (inFront || inPartner) {
            return damaged(
                QStringLiteral("has direction groups that overlap (direction %1 at offset %2)")
                    .arg(k)
                    .arg(groups[k]));
        }
    }
    if (frontEnd > got) {
        // Only a long table goes past the first read; its length is checked
        // against the file's before anything that size is read.
        if (wholeFileRead) {
            return pastTheEnd();
        }
        const std::int64_t length = file.length(&error);
        if (length < 0) {
            return unreadable(error);
        }
        if (partnerEnd > length) {
            return pastTheEnd();
        }
        m_front.assign(first, first + got);
        m_front.resize(static_cast<std::size_t>(frontEnd));
        const std::int64_t rest = frontEnd - got;
        if (file.readAt(got, m_front.data() + got, rest, &error) != rest) {
            return error.isEmpty() ? pastTheEnd() : unreadable(error);
        }
    } else {
        m_front.assign(first, first + frontEnd);
    }
    // The partner's frame count is read together with its table; a small file
    // has them in the first read already.
    if (partnerEnd <= got) {
        m_partner.assign(first + partner, first + partnerEnd);
    } else {
        m_partner.resize(static_cast<std::size_t>(4 + tableBytes));
        if (file.readAt(partner, m_partner.data(), std::ssize(m_partner), &error) !=
            std::ssize(m_partner)) {
            return error.isEmpty() ? pastTheEnd() : unreadable(error);
        }
    }
    const std::int32_t partnerFrames = int32At(m_partner, 0);
    if (partnerFrames != frames) {
        return damaged(
            QStringLiteral("has direction groups with different frame counts (%1 and %2)")
                .arg(frames)
                .arg(partnerFrames));
    }
    m_partnerOffset = partner;
    // Both blocks in the first read: the bytes up to the partner's end.
    const std::span<const char> span(first, partnerEnd <= got ? std::size_t(partnerEnd) : 0);
    return prepare(swap, groups, frames, span);
}

FileProblem DirectionTables::prepare(DirectionSwap swap, const std::array<std::int32_t, 8> &groups,
                                     std::int32_t frames, std::span<const char> span)
{
    const SwapRule &rule = swap == DirectionSwap::Forward ? ForwardRule : UndoRule;
    const std::int32_t partner = groups[rule.partnerSlot];
    const std::int64_t entries = std::int64_t{frames} + 1;
    m_newFront = m_front;
    for (int j = 0; j < 8; ++j) {
        setInt32At(m_newFront, 4 * j, groups[rule.order[j]]);
    }
    m_newPartner = m_partner;
    if (!rebase(m_partner.data() + 4, m_newFront.data() + FirstTableOffset, entries, partner,
                HeaderSize) ||
        !rebase(m_front.data() + FirstTableOffset, m_newPartner.data() + 4, entries, HeaderSize,
                partner)) {
        return damaged(
            QStringLiteral("has a frame offset that does not fit in 32 bits once moved"));
    }
    m_newSpan.assign(span.begin(), span.end());
    if (!m_newSpan.empty()) {
        overlay(m_newSpan, m_newFront, m_newPartner, m_partnerOffset);
    }
    return {};
}

FileProblem DirectionTables::loadFromBlocks(DirectionSwap swap, std::span<const char> front,
                                            std::int64_t partnerOffset,
                                            std::span<const char> partner)
{
    m_front.assign(front.begin(), front.end());
    m_partner.assign(partner.begin(), partner.end());
    m_partnerOffset = partnerOffset;
    if (std::ssize(m_front) < FirstTableOffset || int32At(m_front, 0) != HeaderSize) {
        return notEightDirections();
    }
    std::array<std::int32_t, 8> groups;
    for (int k = 0; k < 8; ++k) {
        groups[k] = int32At(m_front, 4 * k);
    }
    const std::int32_t frames = int32At(m_front, HeaderSize);
    const SwapRule &rule = swap == DirectionSwap::Forward ? ForwardRule : UndoRule;
    const std::int64_t tableBytes = 4 * (std::int64_t{frames} + 1);
    if (frames < 0 || std::ssize(m_front) != FirstTableOffset + tableBytes ||
        std::ssize(m_partner) != 4 + tableBytes || partnerOffset != groups[rule.partnerSlot] ||
        int32At(m_partner, 0) != frames) {
        return damaged(QStringLiteral("has blocks that do not belong together"));
    }
    return prepare(swap, groups, frames, {});
}

QString DirectionTables::store(BinaryFile &file) const
{
    QString error;
    if (!m_newSpan.empty()) {
        // One write costs the system about half of two, and a small file is
        // never left with one block rewritten and not the other.
        if (file.writeAt(0, m_newSpan.data(), std::ssize(m_newSpan), &error)) {
            if (afterFirstWrite) {
                afterFirstWrite();
            }
            return {};
        }
        // The original span: the bytes between the blocks are the same.
        std::vector<char> original = m_newSpan;
        overlay(original, m_front, m_partner, m_partnerOffset);
        QString restoreError;
        const bool restored =
            file.writeAt(0, original.data(), std::ssize(original), &restoreError) ||
            holds(file, 0, original);
        return failedWrite(error, restored, restoreError);
    }
    bool partnerTouched = false;
    if (file.writeAt(0, m_newFront.data(), std::ssize(m_newFront), &error)) {
        partnerTouched = true;
        if (afterFirstWrite) {
            afterFirstWrite();
        }
        if (file.writeAt(m_partnerOffset, m_newPartner.data(), std::ssize(m_newPartner), &error)) {
            return {};
        }
    }
    // Put back every region that may have been touched, the failed one included.
    QString restoreError;
    const bool restored = file.writeAt(0, m_front.data(), std::ssize(m_front), &restoreError) &&
                          (!partnerTouched || file.writeAt(m_partnerOffset, m_partner.data(),
                                                           std::ssize(m_partner), &restoreError));
    // A put-back that failed may have found the bytes as they were (a write
    // refused before it wrote anything): only a file whose bytes are not the
    // original ones is called damaged.
    return failedWrite(error,
                       restored || (holds(file, 0, m_front) &&
                                    (!partnerTouched || holds(file, m_partnerOffset, m_partner))),
                       restoreError);
}

void DirectionTables::setAfterFirstWriteForTesting(std::function<void()> hook)
{
    afterFirstWrite = std::move(hook);
}

} // namespace velmora
