#include "platform/DirectoryListing.h"

#include "platform/DirectoryHandle.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>

namespace velmora {

namespace {

[[maybe_unused]] constexpr std::size_t BufferBytes = 64 * 1024;

bool isDotOrDotDot(const char *name)
{
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

FileId idOf(const struct stat &info)
{
    return FileId{static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

} // namespace

template <typename Take> int DirectoryListing::readEntries(int fd, const Take &take)
{
#if defined(__linux__)
    // Straight from the kernel in large batches: no stream to set up per
    // directory, and one call for all but the largest folders. The buffer is
    // the thread's: a walk has many listings in flight, read by few threads.
    thread_local const std::unique_ptr<char[]> buffer =
        std::make_unique_for_overwrite<char[]>(BufferBytes);
    for (;;) {
        const ssize_t got = ::getdents64(fd, buffer.get(), BufferBytes);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        if (got == 0) {
            return 0;
        }
        for (ssize_t at = 0; at < got;) {
            const auto *entry = reinterpret_cast<const dirent64 *>(buffer.get() + at);
            take(entry->d_name, entry->d_type, static_cast<std::uint64_t>(entry->d_ino));
            at += entry->d_reclen;
        }
    }
#else
    // The stream takes a descriptor of its own and closes it.
    const int own = ::dup(fd);
    DIR *dir = own >= 0 ? ::fdopendir(own) : nullptr;
    if (!dir) {
        const int error = errno;
        if (own >= 0) {
            ::close(own);
        }
        return error;
    }
    int error = 0;
    for (;;) {
        // readdir reports an error only through errno; the caller's calls may
        // leave their own there, so clear it before every call.
        errno = 0;
        const dirent *entry = ::readdir(dir);
        if (!entry) {
            error = errno;
            break;
        }
        take(entry->d_name, entry->d_type, static_cast<std::uint64_t>(entry->d_ino));
    }
    ::closedir(dir);
    return error;
#endif
}

DirectoryListing::Outcome DirectoryListing::read(const QByteArray &encodedPath, QString *error)
{
    m_names.clear();
    m_entries.clear();

    DirectoryHandle handle;
    if (!handle.open(encodedPath, error)) {
        return Outcome::Failed;
    }
    const int fd = handle.descriptor();
    struct stat info;
    if (::fstat(fd, &info) != 0) {
        *error = systemReason(errno);
        return Outcome::Failed;
    }
    m_directory = idOf(info);
    const int readError =
        readEntries(fd, [&](const char *name, unsigned char type, std::uint64_t inode) {
            if (isDotOrDotDot(name)) {
                return;
            }
            // An entry's serial number is its file's inode, and it lives on the
            // directory's device; only a link (or a type the file system does not
            // report) needs a look at what it leads to. A dangling link leads to
            // nothing we take.
            Kind kind = Kind::Other;
            FileId id{static_cast<std::uint64_t>(info.st_dev), inode};
            struct stat target;
            switch (type) {
            case DT_DIR:
                kind = Kind::Directory;
                break;
            case DT_REG:
                kind = Kind::RegularFile;
                break;
            case DT_FIFO:
                kind = Kind::Pipe;
                break;
            case DT_SOCK:
                kind = Kind::Socket;
                break;
            case DT_CHR:
            case DT_BLK:
                kind = Kind::Device;
                break;
            case DT_LNK:
            case DT_UNKNOWN:
                if (::fstatat(fd, name, &target, 0) == 0) {
                    const mode_t mode = target.st_mode;
                    kind = S_ISDIR(mode)                    ? Kind::Directory
                           : S_ISREG(mode)                  ? Kind::RegularFile
                           : S_ISFIFO(mode)                 ? Kind::Pipe
                           : S_ISSOCK(mode)                 ? Kind::Socket
                           : S_ISCHR(mode) || S_ISBLK(mode) ? Kind::Device
                                                            : Kind::Other;
                    id = idOf(target);
                } else if (type == DT_LNK) {
                    kind = Kind::DanglingLink;
                }
                break;
            default:
                break;
            }
            const std::size_t length = std::strlen(name);
            m_entries.push_back(Entry{static_cast<std::uint32_t>(m_names.size()),
                                      static_cast<std::uint32_t>(length), kind, id});
            m_names.append(name, length + 1);
        });
    if (readError != 0) {
        m_names.clear();
        m_entries.clear();
        *error = systemReason(readError);
        return Outcome::Failed;
    }

    const char *names = m_names.data();
    std::sort(m_entries.begin(), m_entries.end(), [names](const Entry &a, const Entry &b) {
        // Each name ends in a NUL, which sorts a prefix before its longer names.
        return std::strcmp(names + a.offset, names + b.offset) < 0;
    });
    return Outcome::Listed;
}

const char *DirectoryListing::otherKind(std::size_t i) const
{
    switch (m_entries[i].kind) {
    case Kind::DanglingLink:
        return "a symbolic link to nothing";
    case Kind::Pipe:
        return "a pipe";
    case Kind::Socket:
        return "a socket";
    case Kind::Device:
        return "a device";
    default:
        return "not a regular file";
    }
}

} // namespace velmora
