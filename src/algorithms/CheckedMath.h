#pragma once

#include <cstdint>
#include <limits>
#include <optional>

namespace velmora {

// Values read from a file are 32-bit signed; arithmetic on them is done wide
// and must come back into range, never wrap. No value when it does not fit.
inline std::optional<std::int32_t> toInt32(std::int64_t value)
{
    if (value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::int32_t>::max()) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(value);
}

} // namespace velmora
