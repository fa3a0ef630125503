#include "platform/Terminal.h"

#include <cerrno>
#include <csignal>
#include <unistd.h>

namespace velmora {

namespace {

int descriptorOf(StandardStream stream)
{
    return stream == StandardStream::Output ? STDOUT_FILENO : STDERR_FILENO;
}

} // namespace

bool isTerminal(StandardStream stream)
{
    return ::isatty(descriptorOf(stream)) == 1;
}

bool writeAll(StandardStream stream, const char *data, qsizetype size)
{
    const int fd = descriptorOf(stream);
    while (size > 0) {
        const ssize_t written = ::write(fd, data, static_cast<size_t>(size));
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

void ignoreBrokenPipeSignal()
{
    std::signal(SIGPIPE, SIG_IGN);
}

} // namespace velmora
