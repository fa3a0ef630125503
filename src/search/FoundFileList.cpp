#include "search/FoundFileList.h"

#include "platform/FileNames.h"

namespace velmora {

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

void FoundFileList::append(std::string_view name, FileId id)
{
    if (!m_currentKept) {
        m_folders.push_back(m_current);
        m_currentKept = true;
    }
    m_files.push_back(File{id, static_cast<std::uint32_t>(m_folders.size() - 1),
                           static_cast<std::uint32_t>(m_names.size()),
                           static_cast<std::uint32_t>(name.size()), nullptr});
    m_names.append(name);
    m_names.push_back('\0');
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
