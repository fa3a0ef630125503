#include "platform/LockedFile.h"

#include "platform/PositionalRead.h"
#include "platform/SystemError.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {

namespace {

int openRetrying(const char *path, int flags, mode_t mode = 0)
{
    int fd;
    do {
        fd = ::open(path, flags, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

int lockRetrying(int fd, int operation)
{
    int result;
    do {
        result = ::flock(fd, operation);
    } while (result != 0 && errno == EINTR);
    return result;
}

// Why a file or folder found in the state folder is not to be trusted, as
// ssh and gpg judge theirs: it must be the user's own and writable by the
// user alone. Empty when it is.
QString untrustedBecause(const struct stat &info, bool folder)
{
    if (folder ? !S_ISDIR(info.st_mode) : !S_ISREG(info.st_mode)) {
        return S_ISLNK(info.st_mode) ? QStringLiteral("it is a symbolic link")
               : folder              ? QStringLiteral("it is not a folder")
                                     : QStringLiteral("it is not a regular file");
    }
    if (info.st_uid != ::geteuid()) {
        return QStringLiteral("it belongs to another user (uid %1)").arg(info.st_uid);
    }
    if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        return QStringLiteral("other users can write to it (mode %1)")
            .arg(info.st_mode & 07777, 4, 8, QChar(u'0'));
    }
    return {};
}

} // namespace

// Errors that say nothing of the file, only that the system is short of
// something for the moment.
bool lackOfResources(int code)
{
    return code == EMFILE || code == ENFILE || code == ENOMEM || code == ENOLCK;
}

LockedFile::~LockedFile()
{
    close();
}

bool LockedFile::stillNamed() const
{
    struct stat named;
    struct stat held;
    return ::lstat(m_path.constData(), &named) == 0 && ::fstat(m_fd, &held) == 0 &&
           named.st_dev == held.st_dev && named.st_ino == held.st_ino;
}

LockedFile::Created LockedFile::create(const QByteArray &path, QString *error)
{
    close();
    m_path = path;
    // Another process that starts now may find the file before it is locked,
    // take it for the leftover of a dead run and remove it; the name check
    // after locking sees that, and the file is made again.
    for (int attempt = 0; attempt < 3; ++attempt) {
        m_fd = openRetrying(path.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                            0600);
        if (m_fd < 0) {
            const int code = errno;
            *error = systemReason(code);
            return code == EEXIST ? Created::AlreadyThere : Created::Failed;
        }
        if (lockRetrying(m_fd, LOCK_EX) != 0) {
            *error = systemReason(errno);
            close();
            return Created::Failed;
        }
        if (stillNamed()) {
            return Created::Yes;
        }
        close();
    }
    *error = QStringLiteral("it was removed by another process as soon as it was made");
    return Created::Failed;
}

LockedFile::Claim LockedFile::claim(const QByteArray &path, QString *error)
{
    close();
    m_path = path;
    m_fd = openRetrying(path.constData(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    if (m_fd < 0) {
        const int code = errno;
        *error = code == ELOOP ? QStringLiteral("it is a symbolic link") : systemReason(code);
        return code == ENOENT          ? Claim::Gone
               : code == ELOOP         ? Claim::Untrusted
               : lackOfResources(code) ? Claim::NotNow
                                       : Claim::Failed;
    }
    struct stat info;
    if (::fstat(m_fd, &info) != 0) {
        *error = systemReason(errno);
        close();
        return Claim::Failed;
    }
    if (*error = untrustedBecause(info, false); !error->isEmpty()) {
        close();
        return Claim::Untrusted;
    }
    if (lockRetrying(m_fd, LOCK_EX | LOCK_NB) != 0) {
        const int code = errno;
        *error = systemReason(code);
        close();
        return code == EWOULDBLOCK     ? Claim::HeldByAnother
               : lackOfResources(code) ? Claim::NotNow
                                       : Claim::Failed;
    }
    // The owner, or another process claiming it, may have removed the file
    // between our open and our lock.
    if (!stillNamed()) {
        close();
        return Claim::Gone;
    }
    return Claim::Claimed;
}

bool LockedFile::lockWaiting(const QByteArray &path, bool create, QString *error)
{
    close();
    m_path = path;
    m_fd = openRetrying(
        path.constData(),
        O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | (create ? O_CREAT : 0), 0600);
    struct stat info;
    if (m_fd < 0 || ::fstat(m_fd, &info) != 0) {
        *error = systemReason(errno);
        close();
        return false;
    }
    if (*error = untrustedBecause(info, false);
        !error->isEmpty() || lockRetrying(m_fd, LOCK_EX) != 0) {
        if (error->isEmpty()) {
            *error = systemReason(errno);
        }
        close();
        return false;
    }
    return true;
}

bool LockedFile::openToRead(const QByteArray &path, bool *live, QString *error)
{
    close();
    m_path = path;
    m_fd =
        openRetrying(path.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    struct stat info;
    if (m_fd < 0 || ::fstat(m_fd, &info) != 0) {
        *error = errno == ELOOP ? QStringLiteral("it is a symbolic link") : systemReason(errno);
        close();
        return false;
    }
    if (*error = untrustedBecause(info, false); !error->isEmpty()) {
        close();
        return false;
    }
    // The writer holds its lock for as long as it writes; a shared lock we
    // get is let go at once, so that we never hold up a writer.
    *live = lockRetrying(m_fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    if (!*live) {
        lockRetrying(m_fd, LOCK_UN);
    }
    return true;
}

std::int64_t LockedFile::length(QString *error) const
{
    struct stat info;
    if (::fstat(m_fd, &info) != 0) {
        *error = systemReason(errno);
        return -1;
    }
    return info.st_size;
}

std::int64_t LockedFile::readAt(std::int64_t offset, void *buffer, std::int64_t length,
                                QString *error) const
{
    return readFully(m_fd, offset, buffer, length, error);
}

bool LockedFile::writeAt(std::int64_t offset, const void *buffer, std::int64_t length,
                         QString *error)
{
    // One call, so a process that dies leaves either nothing or a record whose
    // checksum tells that it is incomplete; never a retried tail.
    ssize_t n;
    do {
        n = ::pwrite(m_fd, buffer, static_cast<size_t>(length), static_cast<off_t>(offset));
    } while (n < 0 && errno == EINTR);
    if (n != length) {
        *error = systemReason(n < 0 ? errno : ENOSPC);
        return false;
    }
    return true;
}

char *LockedFile::mapForWriting(std::int64_t size, QString *error)
{
    // Allocated now, so that a store into the mapping never needs a block the
    // disk no longer has (which would end the process with SIGBUS).
    const int code = ::posix_fallocate(m_fd, 0, static_cast<off_t>(size));
    if (code != 0) {
        *error = systemReason(code);
        return nullptr;
    }
    void *map =
        ::mmap(nullptr, static_cast<size_t>(size), PROT_READ | PROT_WRITE, MAP_SHARED, m_fd, 0);
    if (map == MAP_FAILED) {
        *error = systemReason(errno);
        return nullptr;
    }
    if (m_map) {
        ::munmap(m_map, static_cast<size_t>(m_mapSize));
    }
    m_map = static_cast<char *>(map);
    m_mapSize = size;
    return m_map;
}

void LockedFile::releaseMapped(std::int64_t upTo)
{
    const std::int64_t page = ::sysconf(_SC_PAGESIZE);
    const std::int64_t whole = std::min(upTo, m_mapSize) / page * page;
    if (m_map && whole > 0) {
        // Dirty pages of a shared mapping keep their data in the file.
        ::madvise(m_map, static_cast<size_t>(whole), MADV_DONTNEED);
    }
}

void LockedFile::prepareMapped(std::int64_t from, std::int64_t length)
{
#ifdef MADV_POPULATE_WRITE
    const std::int64_t page = ::sysconf(_SC_PAGESIZE);
    const std::int64_t start = from / page * page;
    const std::int64_t end = std::min(from + length, m_mapSize);
    if (m_map && end > start) {
        // A system without it refuses: stores then fault page by page.
        ::madvise(m_map + start, static_cast<size_t>(end - start), MADV_POPULATE_WRITE);
    }
#else
    Q_UNUSED(from);
    Q_UNUSED(length);
#endif
}

bool LockedFile::truncate(std::int64_t size, QString *error)
{
    if (m_map) {
        ::munmap(m_map, static_cast<size_t>(m_mapSize));
        m_map = nullptr;
        m_mapSize = 0;
    }
    int result;
    do {
        result = ::ftruncate(m_fd, static_cast<off_t>(size));
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        *error = systemReason(errno);
        return false;
    }
    return true;
}

bool LockedFile::syncData(QString *error)
{
    if (m_map && ::msync(m_map, static_cast<size_t>(m_mapSize), MS_SYNC) != 0) {
        *error = systemReason(errno);
        return false;
    }
    if (::fdatasync(m_fd) != 0) {
        *error = systemReason(errno);
        return false;
    }
    return true;
}

bool LockedFile::syncAll(QString *error)
{
    if (::fsync(m_fd) != 0) {
        *error = systemReason(errno);
        return false;
    }
    return true;
}

bool LockedFile::remove(QString *error)
{
    const bool removed = ::unlink(m_path.constData()) == 0;
    if (!removed) {
        *error = systemReason(errno);
    }
    close();
    return removed;
}

bool LockedFile::rename(const QByteArray &newPath, QString *error)
{
    if (::rename(m_path.constData(), newPath.constData()) != 0) {
        *error = systemReason(errno);
        return false;
    }
    m_path = newPath;
    return true;
}

void LockedFile::close()
{
    if (m_map) {
        ::munmap(m_map, static_cast<size_t>(m_mapSize));
        m_map = nullptr;
        m_mapSize = 0;
    }
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

QString stateFolder(const QString &name, QString *error)
{
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    // A relative value is to be ignored, as if it were not set.
    if (base.isEmpty() || !QDir::isAbsolutePath(base)) {
        const QString home = qEnvironmentVariable("HOME");
        if (home.isEmpty() || !QDir::isAbsolutePath(home)) {
            *error = QStringLiteral("neither XDG_STATE_HOME nor HOME names a folder");
            return {};
        }
        base = home + QLatin1String("/.local/state");
    }
    return base + u'/' + name;
}

bool makeFolders(const QString &path, QString *error)
{
    const QByteArray encoded = QFile::encodeName(path);
    // Each folder on the way down, made when missing; one that is there
    // (or is a file) shows up in the check at the end or in the next mkdir.
    for (qsizetype slash = encoded.indexOf('/', 1); slash >= 0;
         slash = encoded.indexOf('/', slash + 1)) {
        const QByteArray part = encoded.left(slash);
        if (::mkdir(part.constData(), 0700) != 0 && errno != EEXIST) {
            *error = QFile::decodeName(part) + QLatin1String(": ") + systemReason(errno);
            return false;
        }
    }
    if (::mkdir(encoded.constData(), 0700) != 0 && errno != EEXIST) {
        *error = path + QLatin1String(": ") + systemReason(errno);
        return false;
    }
    struct stat info;
    if (::stat(encoded.constData(), &info) != 0) {
        *error = path + QLatin1String(": ") + systemReason(errno);
        return false;
    }
    if (!S_ISDIR(info.st_mode)) {
        *error = path + QLatin1String(": ") + systemReason(ENOTDIR);
        return false;
    }
    return true;
}

bool isOwnFolder(const QByteArray &path, QString *error)
{
    struct stat info;
    if (::lstat(path.constData(), &info) != 0) {
        *error = systemReason(errno);
        return false;
    }
    *error = untrustedBecause(info, true);
    return error->isEmpty();
}

bool syncFolder(const QString &path, QString *error)
{
    const int fd =
        openRetrying(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        *error = systemReason(errno);
        return false;
    }
    const bool synced = ::fsync(fd) == 0;
    if (!synced) {
        *error = systemReason(errno);
    }
    ::close(fd);
    return synced;
}

} // namespace velmora
