#include "platform/DirectoryListing.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace velmora {

namespace {

bool isDotOrDotDot(const char *name)
{
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

FileId idOf(const struct stat &info)
{
    return FileId{static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

} // namespace

DirectoryListing::Outcome DirectoryListing::list(const QByteArray &encodedPath)
{
    m_names.clear();
    m_entries.clear();

    DIR *dir = ::opendir(encodedPath.constData());
    if (!dir) {
        return Outcome::Failed;
    }
    const int fd = ::dirfd(dir);
    struct stat info;
    if (::fstat(fd, &info) != 0) {
        ::closedir(dir);
        return Outcome::Failed;
    }
    if (!m_listed.insert(idOf(info)).second) {
        ::closedir(dir);
        return Outcome::AlreadyListed;
    }

    bool readFailed = false;
    for (;;) {
        // readdir reports an error only through errno; the fstatat below may
        // leave its own there, so clear it before every call.
        errno = 0;
        const dirent *entry = ::readdir(dir);
        if (!entry) {
            readFailed = errno != 0;
            break;
        }
        const char *name = entry->d_name;
        if (isDotOrDotDot(name)) {
            continue;
        }
        // An entry's serial number is its file's inode, and it lives on the
        // directory's device; only a link (or a type the file system does not
        // report) needs a look at what it leads to. A dangling link leads to
        // nothing we take.
        Kind kind = Kind::Other;
        FileId id{static_cast<std::uint64_t>(info.st_dev),
                  static_cast<std::uint64_t>(entry->d_ino)};
        struct stat target;
        switch (entry->d_type) {
        case DT_DIR:
            kind = Kind::Directory;
            break;
        case DT_REG:
            kind = Kind::RegularFile;
            break;
        case DT_LNK:
        case DT_UNKNOWN:
            if (::fstatat(fd, name, &target, 0) == 0) {
                kind = S_ISDIR(target.st_mode)   ? Kind::Directory
                       : S_ISREG(target.st_mode) ? Kind::RegularFile
                                                 : Kind::Other;
                id = idOf(target);
            }
            break;
        default:
            break;
        }
        const std::size_t length = std::strlen(name);
        m_entries.push_back(Entry{static_cast<std::uint32_t>(m_names.size()),
                                  static_cast<std::uint32_t>(length), kind, id});
        m_names.append(name, length + 1);
    }
    ::closedir(dir);
    if (readFailed) {
        m_names.clear();
        m_entries.clear();
        return Outcome::Failed;
    }

    const char *names = m_names.data();
    std::sort(m_entries.begin(), m_entries.end(), [names](const Entry &a, const Entry &b) {
        // Each name ends in a NUL, which sorts a prefix before its longer names.
        return std::strcmp(names + a.offset, names + b.offset) < 0;
    });
    return Outcome::Listed;
}

} // namespace velmora
