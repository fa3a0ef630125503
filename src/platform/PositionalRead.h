#pragma once

#include <QString>

#include <cstdint>
#include <limits>

namespace velmora {

// Reads up to length bytes of the open file fd at offset with pread, going
// on after a short read (network and FUSE file systems may stop early
// anywhere) until the length, the file's end, or `end` is reached: a caller
// that knows the file's length saves the call that would only learn it.
// Returns how many bytes were read, or -1 with the system's reason in error.
std::int64_t readFully(int fd, std::int64_t offset, void *buffer, std::int64_t length,
                       QString *error, std::int64_t end = std::numeric_limits<std::int64_t>::max());

} // namespace velmora
