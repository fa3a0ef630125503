#pragma once

#include "algorithms/GrowingList.h"
#include "platform/BinaryFile.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace velmora {

// The files a folder search found, in the order found, kept compactly so that
// a batch of hundreds of thousands stays small: each folder's path once, and
// for each file its name as the system spelled it and its identity.
// Nothing appended is ever moved, so a batch may work on the files found so
// far while the search appends more, given that it learns of them through a
// lock (or an atomic) taken after they were appended.
class FoundFileList
{
public:
    FoundFileList() = default;
    FoundFileList(FoundFileList &&) noexcept = default;
    FoundFileList &operator=(FoundFileList &&) noexcept = default;
    // A copy keeps names of its own.
    FoundFileList(const FoundFileList &other);
    FoundFileList &operator=(const FoundFileList &other);

    qsizetype size() const { return static_cast<qsizetype>(m_files.size()); }
    bool isEmpty() const { return m_files.empty(); }

    // The path of file i as shown to the user.
    QString path(qsizetype i) const;
    // The same, appended to out.
    void appendPath(qsizetype i, QString &out) const;
    // The path of file i as the system takes it, written into out; one buffer
    // serves a whole batch.
    void encodedPath(qsizetype i, QByteArray &out) const;
    // The folder file i lies in, as a number shared by the files of one folder,
    // and as the system spells its path (ending in a separator).
    std::uint32_t folderOf(qsizetype i) const
    {
        return m_files[static_cast<std::size_t>(i)].folder;
    }
    const QByteArray &encodedFolder(std::uint32_t folder) const
    {
        return m_folders[folder].encoded;
    }
    const QString &folderPath(std::uint32_t folder) const { return m_folders[folder].path; }
    // The bare name of file i as the system spelled it; a NUL follows it.
    const char *encodedName(qsizetype i) const { return m_files[static_cast<std::size_t>(i)].name; }
    // Which file i is, the same under every name of it.
    FileId id(qsizetype i) const { return m_files[static_cast<std::size_t>(i)].id; }
    // What file i is when its name matched but it is not a regular file (a
    // link to nothing, a pipe...); empty for a regular file.
    QString notRegular(qsizetype i) const;

    // The files appended from now on lie in this folder; both spellings of its
    // path end in a separator.
    void enterFolder(const QString &folder, const QByteArray &encodedFolder);
    void append(std::string_view name, FileId id);
    // A name that matched but is not a regular file, and what it is: it is
    // counted, and refused without being opened.
    void appendNotRegular(std::string_view name, FileId id, const char *kind);

    // A folder the search could not list, with the system's reason: its files
    // are missing from the list, and the user must hear of it.
    struct UnlistedFolder
    {
        QByteArray encoded;
        QString reason;
    };
    void addUnlisted(const QByteArray &encodedPath, const QString &reason);
    const std::vector<UnlistedFolder> &unlisted() const { return m_unlisted; }

private:
    struct Folder
    {
        QString path;
        QByteArray encoded;
    };
    struct File
    {
        FileId id;
        const char *name = nullptr; // followed by a NUL
        std::uint32_t folder = 0;
        std::uint32_t nameLength = 0;
        const char *notRegular = nullptr; // what it is, when it is not a regular file
    };

    static std::string_view name(const File &file)
    {
        return std::string_view(file.name, file.nameLength);
    }
    // A copy of name, with a NUL after it, that stays where it is.
    const char *keepName(std::string_view name);

    GrowingList<Folder> m_folders;
    // A folder is kept only once a file is found in it.
    Folder m_current;
    bool m_currentKept = false;
    // The names, in blocks that are never moved.
    std::vector<std::unique_ptr<char[]>> m_nameBlocks;
    char *m_nameFree = nullptr;
    std::size_t m_nameRoom = 0;
    GrowingList<File> m_files;
    std::vector<UnlistedFolder> m_unlisted;
};

} // namespace velmora
