#include "search/FoundFileList.h"

#include "platform/FileNames.h"

#include <algorithm>
#include <cstring>

namespace velmora {

FoundFileList::FoundFileList(const FoundFileList &other)
    : m_folders(other.m_folders), m_current(other.m_current), m_currentKept(other.m_currentKept),
      m_unlisted(other.m_unlisted)
{
    for (std::size_t i = 0; i < other.m_files.size(); ++i) {
        File file = other.m_files[i];
        file.name = keepName(name(file));
        m_files.push_back(file);
    }
}

FoundFileList &FoundFileList::operator=(const FoundFileList &other)
{
    if (this != &other) {
        *this = FoundFileList(other);
    }
    return *this;
}

QString FoundFileList::path(qsizetype i) const
{
    const File &file = m_files[static_cast<std::size_t>(i)];
    return joinName(m_folders[file.folder].path, name(file));
}

void FoundFileList::appendPath(qsizetype i, QString &out) const
{
    const File &file = m_files[static_cast<std::size_t>(i)];
    out += m_folders[file.folder].path;
    appendName(out, name(file));
}

void FoundFileList::encodedPath(qsizetype i, QByteArray &out) const
{
    const File &file = m_files[static_cast<std::size_t>(i)];
    const std::string_view bytes = name(file);
    out.resize(0); // keeps the buffer's capacity
    out.append(m_folders[file.folder].encoded);
    out.append(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

void FoundFileList::enterFolder(const QString &folder, const QByteArray &encodedFolder)
{
    m_current = Folder{folder, encodedFolder};
    m_currentKept = false;
}

const char *FoundFileList::keepName(std::string_view name)
{
    const std::size_t needed = name.size() + 1;
    if (needed > m_nameRoom) {
        // A name longer than a block (no file system has one) gets its own.
        constexpr std::size_t BlockBytes = 64 * 1024;
        m_nameRoom = std::max(BlockBytes, needed);
        m_nameBlocks.push_back(std::make_unique_for_overwrite<char[]>(m_nameRoom));
        m_nameFree = m_nameBlocks.back().get();
    }
    char *kept = m_nameFree;
    std::memcpy(kept, name.data(), name.size());
    kept[name.size()] = '\0';
    m_nameFree += needed;
    m_nameRoom -= needed;
    return kept;
}

void FoundFileList::append(std::string_view name, FileId id)
{
    if (!m_currentKept) {
        m_folders.push_back(m_current);
        m_currentKept = true;
    }
    m_files.push_back(File{id, keepName(name), static_cast<std::uint32_t>(m_folders.size() - 1),
                           static_cast<std::uint32_t>(name.size()), nullptr});
}

void FoundFileList::appendNotRegular(std::string_view name, FileId id, const char *kind)
{
    append(name, id);
    m_files.back().notRegular = kind;
}

QString FoundFileList::notRegular(qsizetype i) const
{
    const char *kind = m_files[static_cast<std::size_t>(i)].notRegular;
    return kind ? QString::fromLatin1(kind) : QString();
}

void FoundFileList::addUnlisted(const QByteArray &encodedPath, const QString &reason)
{
    m_unlisted.push_back(UnlistedFolder{encodedPath, reason});
}

} // namespace velmora
