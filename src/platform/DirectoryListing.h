#pragma once

#include "platform/BinaryFile.h"

#include <QByteArray>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// The entries of one directory, read in one pass and sorted by name in byte
// order. "." and ".." are left out. One object serves a whole walk: its
// buffers are reused from directory to directory, so listing a directory
// costs no allocation once they have grown.
class DirectoryListing
{
public:
    enum class Outcome { Listed, AlreadyListed, Failed };

    // Lists the directory at the encoded path (symbolic links followed; any
    // length): Listed, or Failed with the system's reason in error. The
    // caller tells a directory listed before by directory().
    Outcome read(const QByteArray &encodedPath, QString *error);
    // The identity of the directory last read.
    FileId directory() const { return m_directory; }

    std::size_t count() const { return m_entries.size(); }
    // The raw name bytes of entry i. A NUL follows them in memory, so
    // name(i).data() may be passed where a C string is wanted.
    std::string_view name(std::size_t i) const
    {
        const Entry &entry = m_entries[i];
        return std::string_view(m_names.data() + entry.offset, entry.length);
    }
    // Whether entry i is a directory or a symbolic link that leads to one.
    bool isDirectory(std::size_t i) const { return m_entries[i].kind == Kind::Directory; }
    // Whether entry i is a regular file or a symbolic link that leads to one.
    bool isRegularFile(std::size_t i) const { return m_entries[i].kind == Kind::RegularFile; }
    // What entry i is when it is neither: "a symbolic link to nothing", "a
    // pipe", "a socket", "a device", or "not a regular file".
    const char *otherKind(std::size_t i) const;
    // The identity of what entry i leads to, the same under every name of it.
    FileId id(std::size_t i) const { return m_entries[i].id; }

private:
    enum class Kind : std::uint8_t {
        Directory,
        RegularFile,
        DanglingLink,
        Pipe,
        Socket,
        Device,
        Other
    };
    struct Entry
    {
        std::uint32_t offset;
        std::uint32_t length;
        Kind kind;
        FileId id;
    };

    // Calls take(name, type, inode) for each entry of the open directory fd;
    // returns 0, or the error that stopped the reading.
    template <typename Take> int readEntries(int fd, const Take &take);

    std::string m_names; // every name, each followed by a NUL
    std::vector<Entry> m_entries;
    FileId m_directory;
};

} // namespace velmora
