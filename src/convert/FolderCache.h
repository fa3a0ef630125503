#pragma once

#include "platform/DirectoryHandle.h"
#include "search/FoundFileList.h"

#include <QString>

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

namespace velmora {

// The folders of a batch, each opened once for all its files; shared by the
// threads that open the files. Files are taken in order, so only the last few
// folders are kept open, and each thread first looks at the folder it used
// last, without a lock.
class FolderCache
{
public:
    FolderCache(const FoundFileList &files, int threads, std::size_t keptOpen);

    // The folder open, or null with the reason in error; thread numbers the
    // calling thread, from 0 to threads - 1.
    std::shared_ptr<const DirectoryHandle> open(std::uint32_t folder, int thread, QString *error);

private:
    struct Entry
    {
        std::uint32_t folder = 0;
        std::shared_ptr<DirectoryHandle> handle;
        QString error;
    };

    Entry shared(std::uint32_t folder);
    // The kept entry of folder, or null; the caller holds the lock.
    const Entry *find(std::uint32_t folder) const;

    const FoundFileList &m_files;
    std::vector<Entry> m_lastOf; // by thread
    const std::size_t m_keptOpen;
    std::mutex m_mutex;
    std::deque<Entry> m_recent;
};

} // namespace velmora
