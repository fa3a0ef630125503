#pragma once

#include <QtEndian>

#include <cstdint>

namespace velmora {

// Fields of the files a run keeps in the state folder (journals, records of
// runs): little-endian integers at byte offsets, and a checksum over a span.

template <typename T> void put(char *bytes, std::int64_t at, T value)
{
    qToLittleEndian(value, bytes + at);
}

template <typename T> T get(const char *bytes, std::int64_t at)
{
    return qFromLittleEndian<T>(bytes + at);
}

// A record cut short by the end of its process keeps part of an older one in
// its place, and the checksum must tell. A multiply-xorshift hash over 8-byte
// words changes with any such difference (but for a chance of one in 2^64)
// at a small fraction of a table CRC's cost.
std::uint64_t checksum(const char *data, std::int64_t size);

} // namespace velmora
