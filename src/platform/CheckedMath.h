#pragma once

#include <cstdint>
#include <limits>
#include <optional>

namespace velmora {

// Values read from a file are 32-bit signed; arithmetic on them refuses to
// wrap. Each helper gives no value when the exact result does not fit.
inline std::optional<std::int32_t> toInt32(std::int64_t value)
{
    if (value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::int32_t>::max()) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(value);
}

inline std::optional<std::int32_t> checkedAdd(std::int32_t a, std::int32_t b)
{
    std::int32_t result;
    if (__builtin_add_overflow(a, b, &result)) {
        return std::nullopt;
    }
    return result;
}

inline std::optional<std::int32_t> checkedSub(std::int32_t a, std::int32_t b)
{
    std::int32_t result;
    if (__builtin_sub_overflow(a, b, &result)) {
        return std::nullopt;
    }
    return result;
}

inline std::optional<std::int32_t> checkedMul(std::int32_t a, std::int32_t b)
{
    std::int32_t result;
    if (__builtin_mul_overflow(a, b, &result)) {
        return std::nullopt;
    }
    return result;
}

} // namespace velmora
