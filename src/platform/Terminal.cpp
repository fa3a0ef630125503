#include "platform/Terminal.h"

#include <cerrno>
#include <csignal>
#include <unistd.h>

namespace velmora {

namespace {

volatile std::sig_atomic_t stopSignal = 0;

extern "C" void noteStopSignal(int signal)
{
    if (stopSignal == 0) {
        stopSignal = signal;
    }
}

int descriptorOf(StandardStream stream)
{
    return stream == StandardStream::Output ? STDOUT_FILENO : STDERR_FILENO;
}

} // namespace

bool isTerminal(StandardStream stream)
{
    return ::isatty(descriptorOf(stream)) == 1;
}

bool writeAll(StandardStream stream, const char *data, qsizetype size, int *error)
{
    const int fd = descriptorOf(stream);
    while (size > 0) {
        const ssize_t written = ::write(fd, data, static_cast<size_t>(size));
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (error) {
                *error = errno;
            }
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

bool writeText(StandardStream stream, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    return writeAll(stream, bytes.constData(), bytes.size());
}

void ignoreBrokenPipeSignal()
{
    std::signal(SIGPIPE, SIG_IGN);
}

void installStopSignals()
{
    struct sigaction action = {};
    action.sa_handler = noteStopSignal;
    sigemptyset(&action.sa_mask);
    // Reads and writes go on after the handler: the file in hand is finished.
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        ::sigaction(signal, &action, nullptr);
    }
}

int caughtStopSignal()
{
    return stopSignal;
}

} // namespace velmora
