#include "platform/BinaryFile.h"

#include "platform/PositionalRead.h"

#include <QFile>

#include <algorithm>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace velmora {

namespace {

struct WriteFault
{
    int skip = 0;
    int count = 0;
    int errorCode = 0;
};
WriteFault writeFault;
int closeFault = 0;

int openFile(int at, const char *path, int flags)
{
    int fd;
    do {
        fd = ::openat(at, path, flags);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

} // namespace

BinaryFile::~BinaryFile()
{
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

bool BinaryFile::openDescriptor(int at, const char *encodedPath, QString *error, int extraFlags,
                                int *failure)
{
    // O_NONBLOCK keeps a FIFO or a device from blocking the open; it has no
    // effect on the regular files we accept. O_NOATIME spares the access-time
    // update a read would cost; only the owner may ask for it, so others open
    // without.
    const int flags = O_RDWR | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | extraFlags;
    int fd = openFile(at, encodedPath, flags | O_NOATIME);
    if (fd < 0 && errno == EPERM) {
        fd = openFile(at, encodedPath, flags);
    }
    if (fd < 0) {
        if (failure) {
            *failure = errno;
        }
        *error = systemReason(errno);
        return false;
    }
    m_fd = fd;
    m_locked = false;
    // The lock first, then the file's information: taken under the lock, its
    // stamp is that of the bytes this process will read.
    QString lockError;
    const bool lockable = tryLock(&lockError);
    if (!readInfo(error)) {
        if (failure) {
            *failure = NotRegular;
        }
        ::close(std::exchange(m_fd, -1));
        return false;
    }
    if (!lockable) {
        *error = lockError;
        ::close(std::exchange(m_fd, -1));
        return false;
    }
    return true;
}

// One call: takes the lock unless another open description holds it (then
// m_locked stays false, which is no error).
bool BinaryFile::tryLock(QString *error)
{
    struct flock whole
    {
    };
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET; // from 0, length 0: the whole file, however long
    int result;
    do {
        result = ::fcntl(m_fd, F_OFD_SETLK, &whole);
    } while (result != 0 && errno == EINTR);
    if (result == 0) {
        m_locked = true;
        return true;
    }
    if (errno == EAGAIN || errno == EACCES) {
        return true;
    }
    if (errno == ENOLCK || errno == EOPNOTSUPP || errno == EINVAL) {
        // No locks here (a network file system without its lock service):
        // converting unlocked, as every program there does, beats refusing.
        m_locked = true;
        return true;
    }
    *error = systemReason(errno);
    return false;
}

bool BinaryFile::lock(QString *error)
{
    // Polled with short sleeps rather than a blocking wait under a timer: a
    // timer would need a signal to break the wait, and signals belong to the
    // program's stop. Waits are rare (two programs on one file), so the polls
    // cost nothing otherwise.
    using namespace std::chrono;
    const auto deadline = steady_clock::now() + milliseconds(LockWaitMs);
    auto pause = milliseconds(1);
    while (m_fd >= 0 && !m_locked) {
        if (!tryLock(error)) {
            return false;
        }
        if (m_locked) {
            // The program that held it may have written it meanwhile.
            return readInfo(error);
        }
        if (steady_clock::now() >= deadline) {
            *error = QStringLiteral("another program holds it");
            return false;
        }
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, milliseconds(50));
    }
    if (m_fd < 0) {
        *error = systemReason(EBADF);
        return false;
    }
    return true;
}

bool BinaryFile::readInfo(QString *error)
{
    struct stat info;
    if (::fstat(m_fd, &info) != 0) {
        *error = systemReason(errno);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        *error = QStringLiteral("not a regular file");
        return false;
    }
    m_identity.id =
        FileId{static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
    m_identity.length = info.st_size;
    m_identity.modifiedSeconds = info.st_mtim.tv_sec;
    m_identity.modifiedNanoseconds = static_cast<std::int32_t>(info.st_mtim.tv_nsec);
    return true;
}

bool BinaryFile::open(const QString &path, QString *error)
{
    return open(QFile::encodeName(path), error);
}

bool BinaryFile::open(const QByteArray &encodedPath, QString *error)
{
    return openDescriptor(AT_FDCWD, encodedPath.constData(), error);
}

bool BinaryFile::openAt(const DirectoryHandle &dir, const char *name, QString *error)
{
    return openDescriptor(dir.descriptor(), name, error);
}

bool BinaryFile::openEncoded(const QByteArray &encodedPath, QString *error)
{
    if (!openDescriptor(AT_FDCWD, encodedPath.constData(), error)) {
        return false;
    }
    if (!lock(error)) {
        ::close(std::exchange(m_fd, -1));
        return false;
    }
    return true;
}

BinaryFile::NamedOpen BinaryFile::openNamed(const QByteArray &encodedPath, QString *error)
{
    int failure = 0;
    bool opened;
    if (encodedPath.size() < PATH_MAX) {
        opened = openDescriptor(AT_FDCWD, encodedPath.constData(), error, O_NOFOLLOW, &failure);
    } else {
        const qsizetype slash = encodedPath.lastIndexOf('/');
        DirectoryHandle folder;
        if (slash <= 0 || !folder.open(encodedPath.left(slash), error)) {
            return NamedOpen::Failed;
        }
        opened = openDescriptor(folder.descriptor(), encodedPath.constData() + slash + 1, error,
                                O_NOFOLLOW, &failure);
    }
    if (opened && !lock(error)) {
        ::close(std::exchange(m_fd, -1));
        return NamedOpen::Failed;
    }
    if (opened) {
        return NamedOpen::Opened;
    }
    if (failure == ELOOP) {
        // A file the run reached through a link is reached through it again,
        // by the link's resolved target: the caller compares the file's
        // identity with the recorded one before it reads or writes, so this
        // can only lead back to the very file that was converted.
        char resolved[PATH_MAX];
        if (::realpath(encodedPath.constData(), resolved) && resolved != encodedPath) {
            return openNamed(QByteArray(resolved), error);
        }
        *error = QStringLiteral("its name is a symbolic link");
    }
    return failure == ELOOP || failure == EISDIR || failure == NotRegular
               ? NamedOpen::NotARegularFile
               : NamedOpen::Failed;
}

std::int64_t BinaryFile::length(QString *error)
{
    if (m_fd < 0) {
        *error = systemReason(EBADF);
        return -1;
    }
    return m_identity.length;
}

bool BinaryFile::identity(FileIdentity *out, QString *error) const
{
    if (m_fd < 0) {
        *error = systemReason(EBADF);
        return false;
    }
    *out = m_identity;
    return true;
}

void BinaryFile::willRead(std::int64_t length) const
{
    if (m_fd >= 0) {
        ::posix_fadvise(m_fd, 0, off_t(length), POSIX_FADV_WILLNEED);
    }
}

bool BinaryFile::sync(QString *error)
{
    if (::fdatasync(m_fd) != 0) {
        *error = systemReason(errno);
        return false;
    }
    return true;
}

FileStamp BinaryFile::stampWhenLocked() const
{
    return FileStamp{m_identity.length,
                     m_identity.modifiedSeconds * 1000000000 + m_identity.modifiedNanoseconds};
}

namespace {

std::int64_t clockNs(clockid_t clock)
{
    timespec now{};
    ::clock_gettime(clock, &now);
    return std::int64_t{now.tv_sec} * 1000000000 + now.tv_nsec;
}

} // namespace

std::int64_t BinaryFile::beforeWriting()
{
    // The system stamps writes from its coarse clock, which runs up to a
    // tick behind the precise one.
    return clockNs(CLOCK_REALTIME_COARSE);
}

FileStamp BinaryFile::writtenSince(std::int64_t before) const
{
    const std::int64_t now = clockNs(CLOCK_REALTIME);
    return FileStamp{m_identity.length, now, std::max<std::int64_t>(now - before, 0)};
}

FileStamp BinaryFile::stamp() const
{
    struct stat info;
    if (m_fd < 0 || ::fstat(m_fd, &info) != 0) {
        return {};
    }
    return FileStamp{info.st_size,
                     std::int64_t{info.st_mtim.tv_sec} * 1000000000 + info.st_mtim.tv_nsec};
}

std::int64_t BinaryFile::readAt(std::int64_t offset, void *buffer, std::int64_t length,
                                QString *error)
{
    // Asking on past the end the file had when it was opened would cost
    // every small file a call.
    return readFully(m_fd, offset, buffer, length, error, m_identity.length);
}

bool BinaryFile::writeAt(std::int64_t offset, const void *buffer, std::int64_t length,
                         QString *error)
{
    const auto *in = static_cast<const char *>(buffer);
    if (writeFault.count > 0) {
        if (writeFault.skip > 0) {
            --writeFault.skip;
        } else {
            --writeFault.count;
            const std::int64_t torn = length / 2;
            if (torn > 0 && ::pwrite(m_fd, in, static_cast<size_t>(torn), offset) < 0) {
                *error = systemReason(errno);
                return false;
            }
            *error = systemReason(writeFault.errorCode);
            return false;
        }
    }
    std::int64_t done = 0;
    while (done < length) {
        const ssize_t n = ::pwrite(m_fd, in + done, static_cast<size_t>(length - done),
                                   static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            *error = systemReason(errno);
            return false;
        }
        if (n == 0) {
            *error = systemReason(EIO);
            return false;
        }
        done += n;
    }
    return true;
}

bool BinaryFile::close(QString *error)
{
    const int fd = m_fd;
    m_fd = -1;
    m_locked = false;
    // A failed close may mean that data written earlier never reached the disk.
    if (fd >= 0 && ::close(fd) != 0 && errno != EINTR) {
        *error = systemReason(errno);
        return false;
    }
    if (fd >= 0 && closeFault != 0) {
        *error = systemReason(closeFault);
        closeFault = 0;
        return false;
    }
    return true;
}

void BinaryFile::failWritesForTesting(int skip, int count, int errorCode)
{
    writeFault = WriteFault{skip, count, errorCode};
}

void BinaryFile::failNextCloseForTesting(int errorCode)
{
    closeFault = errorCode;
}

std::int64_t fileLength(const QString &path)
{
    struct stat info;
    if (::stat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return -1;
    }
    return info.st_size;
}

bool isDirectory(const QString &path)
{
    return isDirectory(QFile::encodeName(path));
}

bool isDirectory(const QByteArray &encodedPath)
{
    struct stat info;
    return ::stat(encodedPath.constData(), &info) == 0 && S_ISDIR(info.st_mode);
}

} // namespace velmora
