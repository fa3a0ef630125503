#include "algorithms/RecordBytes.h"

#include <algorithm>

namespace velmora {

std::uint64_t checksum(const char *data, std::int64_t size)
{
    constexpr std::uint64_t Multiplier = 0xFF51AFD7ED558CCDull;
    std::uint64_t h = 0x9E3779B97F4A7C15ull ^ static_cast<std::uint64_t>(size);
    std::int64_t i = 0;
    for (; i + 8 <= size; i += 8) {
        h = (h ^ qFromLittleEndian<std::uint64_t>(data + i)) * Multiplier;
        h ^= h >> 29;
    }
    char last[8] = {};
    std::copy(data + i, data + size, last);
    h = (h ^ qFromLittleEndian<std::uint64_t>(last)) * Multiplier;
    return h ^ (h >> 32);
}

} // namespace velmora
