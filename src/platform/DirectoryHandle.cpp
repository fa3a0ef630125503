#include "platform/DirectoryHandle.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <unistd.h>

namespace velmora {

namespace {

constexpr int DirectoryFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY;

int openRelative(int at, const char *path)
{
    int fd;
    do {
        fd = ::openat(at, path, DirectoryFlags);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// Opens a path too long for one call: each piece, cut at a separator, is
// short enough, and is opened relative to the directory the pieces before it
// reached.
int openInPieces(const QByteArray &path)
{
    constexpr qsizetype piece = PATH_MAX - 1;
    int at = AT_FDCWD;
    qsizetype start = 0;
    while (start < path.size()) {
        qsizetype end = path.size();
        if (end - start > piece) {
            end = path.lastIndexOf('/', start + piece);
            if (end <= start) {
                // One name longer than any piece: the system refuses it.
                end = start + piece + 1;
            }
        }
        const QByteArray part = path.mid(start, std::max<qsizetype>(end - start, 1));
        const int fd = openRelative(at, part.constData());
        const int saved = errno;
        if (at != AT_FDCWD) {
            ::close(at);
        }
        if (fd < 0) {
            errno = saved;
            return -1;
        }
        at = fd;
        start = end;
        while (start < path.size() && path.at(start) == '/') {
            ++start;
        }
    }
    return at;
}

} // namespace

DirectoryHandle::~DirectoryHandle()
{
    close();
}

DirectoryHandle::DirectoryHandle(DirectoryHandle &&other) noexcept : m_fd(other.m_fd)
{
    other.m_fd = -1;
}

DirectoryHandle &DirectoryHandle::operator=(DirectoryHandle &&other) noexcept
{
    if (this != &other) {
        close();
        m_fd = other.m_fd;
        other.m_fd = -1;
    }
    return *this;
}

bool DirectoryHandle::open(const QByteArray &encodedPath, QString *error)
{
    close();
    if (encodedPath.isEmpty()) {
        *error = systemReason(ENOENT);
        return false;
    }
    m_fd = encodedPath.size() < PATH_MAX ? openRelative(AT_FDCWD, encodedPath.constData())
                                         : openInPieces(encodedPath);
    if (m_fd < 0) {
        *error = systemReason(errno);
        return false;
    }
    return true;
}

void DirectoryHandle::close()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

} // namespace velmora
