#include "platform/PositionalRead.h"

#include "platform/SystemError.h"

#include <cerrno>
#include <unistd.h>

namespace velmora {

std::int64_t readFully(int fd, std::int64_t offset, void *buffer, std::int64_t length,
                       QString *error, std::int64_t end)
{
    auto *out = static_cast<char *>(buffer);
    std::int64_t done = 0;
    while (done < length) {
        const ssize_t n = ::pread(fd, out + done, static_cast<size_t>(length - done),
                                  static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            *error = systemReason(errno);
            return -1;
        }
        done += n;
        if (n == 0 || offset + done >= end) {
            break;
        }
    }
    return done;
}

} // namespace velmora
