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

// Follows a symbolic link (or an entry whose type the file system does not
// report) to learn whether it leads to a directory. A dangling link is not one.
bool leadsToDirectory(int directoryFd, const char *name)
{
    struct stat info;
    return ::fstatat(directoryFd, name, &info, 0) == 0 && S_ISDIR(info.st_mode);
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
    const FileId id{static_cast<std::uint64_t>(info.st_dev),
                    static_cast<std::uint64_t>(info.st_ino)};
    if (!m_listed.insert(id).second) {
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
        bool directory = false;
        switch (entry->d_type) {
        case DT_DIR:
            directory = true;
            break;
        case DT_LNK:
        case DT_UNKNOWN:
            directory = leadsToDirectory(fd, name);
            break;
        default:
            break;
        }
        const std::size_t length = std::strlen(name);
        m_entries.push_back(Entry{static_cast<std::uint32_t>(m_names.size()),
                                  static_cast<std::uint32_t>(length), directory});
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
