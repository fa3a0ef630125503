#include "convert/FolderCache.h"

#include <algorithm>

namespace velmora {

FolderCache::FolderCache(const FoundFileList &files, int threads, std::size_t keptOpen)
    : m_files(files), m_lastOf(std::size_t(std::max(threads, 1))), m_keptOpen(keptOpen)
{
}

std::shared_ptr<const DirectoryHandle> FolderCache::open(std::uint32_t folder, int thread,
                                                         QString *error)
{
    Entry &last = m_lastOf[std::size_t(thread)];
    if (!last.handle || last.folder != folder) {
        last = shared(folder);
    }
    *error = last.error;
    return last.handle;
}

FolderCache::Entry FolderCache::shared(std::uint32_t folder)
{
    {
        const std::lock_guard lock(m_mutex);
        if (const Entry *kept = find(folder)) {
            return *kept;
        }
    }
    // Opened without the lock: on a cold disk an open waits for the disk,
    // and the other threads need not wait with it. Two threads may open
    // one folder at once; the first to be done is kept.
    Entry entry{folder, std::make_shared<DirectoryHandle>(), QString()};
    const QByteArray &encoded = m_files.encodedFolder(folder);
    if (!entry.handle->open(encoded.isEmpty() ? QByteArrayLiteral(".") : encoded, &entry.error)) {
        entry.handle.reset();
    }
    const std::lock_guard lock(m_mutex);
    if (const Entry *kept = find(folder)) {
        return *kept;
    }
    if (m_recent.size() >= m_keptOpen) {
        m_recent.pop_front();
    }
    m_recent.push_back(entry);
    return entry;
}

const FolderCache::Entry *FolderCache::find(std::uint32_t folder) const
{
    for (auto it = m_recent.rbegin(); it != m_recent.rend(); ++it) {
        if (it->folder == folder) {
            return &*it;
        }
    }
    return nullptr;
}

} // namespace velmora
