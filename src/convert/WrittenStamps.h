#pragma once

#include "platform/BinaryFile.h"

#include <atomic>
#include <cstdint>

namespace velmora {

// The stamps of the files a run writes. Asking the system costs a call for
// every file; the clock read around a file's writes gives its stamp to a
// span, which holds as long as the file system stamps writes from this
// machine's clock and to the nanosecond. Whether it does is checked: the
// first files written, then one in every so many, are asked of the system as
// well, and from the first whose time falls outside its span (a network or
// FAT file system, a clock set back) every later file is asked. Thread-safe.
class WrittenStamps
{
public:
    static constexpr std::uint64_t FirstChecked = 16;
    static constexpr std::uint64_t CheckedEvery = 64;

    // The stamp of a file written since `before` (BinaryFile::beforeWriting).
    FileStamp after(const BinaryFile &file, std::int64_t before);
    // Whether spans are still given: no stamp fell outside its span yet.
    bool trusted() const { return m_trusted.load(std::memory_order_relaxed); }

private:
    // A span wider than this says too little: the system is asked instead.
    static constexpr std::int64_t WidestSpanNs = 1000000000;

    std::atomic<std::uint64_t> m_written{0};
    std::atomic<bool> m_trusted{true};
};

} // namespace velmora
