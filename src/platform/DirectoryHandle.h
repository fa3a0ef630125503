#pragma once

#include "platform/SystemError.h"

#include <QByteArray>
#include <QString>

namespace velmora {

// An open directory, so that the files and folders in it are reached by name
// relative to it: no full path to resolve per file, and no limit on how deep
// the tree goes.
class DirectoryHandle
{
public:
    DirectoryHandle() = default;
    ~DirectoryHandle();
    DirectoryHandle(const DirectoryHandle &) = delete;
    DirectoryHandle &operator=(const DirectoryHandle &) = delete;
    DirectoryHandle(DirectoryHandle &&other) noexcept;
    DirectoryHandle &operator=(DirectoryHandle &&other) noexcept;

    // Opens the directory at the encoded path, following symbolic links. A path
    // longer than the system takes in one call is opened a piece at a time.
    bool open(const QByteArray &encodedPath, QString *error);
    void close();
    int descriptor() const { return m_fd; }

private:
    int m_fd = -1;
};

} // namespace velmora
