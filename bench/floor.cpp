// What the system calls of a conversion cost by themselves, with nothing else
// around them: no log, no journal, no check that a file comes once, no count
// before the first file. N threads take folders from one queue; each lists
// its folder, queues the folders in it and goes through its files at once,
// while their names are fresh in the cache: open relative to the folder
// without access-time updates, take the identity, read the first 4 KiB,
// write the two tables back, close. The tables are written back as they were
// read, so the tree is left as it is while the kernel does a conversion's
// work. A file whose tables lie past the first read is only read (the
// generated trees have none). A dry run only reads.
// Usage: velmora-bench-floor [--dry-run] [--threads N] DIR
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <string>
#include <strings.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

bool dryRun = false;

std::int32_t get32(const unsigned char *p)
{
    return static_cast<std::int32_t>(p[0] | p[1] << 8 | p[2] << 16 |
                                     static_cast<std::uint32_t>(p[3]) << 24);
}

bool endsInCl2(const char *name)
{
    const std::size_t length = std::strlen(name);
    return length >= 4 && strcasecmp(name + length - 4, ".cl2") == 0;
}

bool rewriteInPlace(int folder, const char *name)
{
    int fd = ::openat(folder, name, O_RDWR | O_NOATIME | O_CLOEXEC);
    if (fd < 0) {
        fd = ::openat(folder, name, O_RDWR | O_CLOEXEC);
    }
    if (fd < 0) {
        return false;
    }
    struct stat info;
    unsigned char front[4096];
    const ssize_t got = ::fstat(fd, &info) == 0 ? ::pread(fd, front, sizeof front, 0) : -1;
    bool ok = got >= 36 && get32(front) == 32;
    const std::int64_t tableBytes = ok ? 4 * (std::int64_t{get32(front + 32)} + 1) : 0;
    const std::int64_t partner = ok ? get32(front + 4) : 0;
    ok = ok && tableBytes > 0 && 36 + tableBytes <= got && partner > 32 &&
         partner + 4 + tableBytes <= got;
    if (ok && !dryRun) {
        const auto partnerBytes = static_cast<std::size_t>(4 + tableBytes);
        ok = ::pwrite(fd, front, static_cast<std::size_t>(36 + tableBytes), 0) == 36 + tableBytes &&
             ::pwrite(fd, front + partner, partnerBytes, partner) == ssize_t(partnerBytes);
    }
    return ::close(fd) == 0 && ok;
}

// The folders not yet listed, shared by the threads.
class FolderQueue
{
public:
    explicit FolderQueue(std::string root) { m_paths.push_back(std::move(root)); }

    // The next folder to list; empty once every folder is listed.
    std::string take()
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return !m_paths.empty() || m_busy == 0; });
        if (m_paths.empty()) {
            return {};
        }
        ++m_busy;
        std::string path = std::move(m_paths.front());
        m_paths.pop_front();
        return path;
    }
    // A taken folder is listed; these are the folders found in it.
    void listed(std::vector<std::string> &found)
    {
        {
            const std::lock_guard lock(m_mutex);
            --m_busy;
            for (std::string &path : found) {
                m_paths.push_back(std::move(path));
            }
        }
        found.clear();
        m_changed.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::string> m_paths;
    int m_busy = 0;
};

// Lists folders from the queue and rewrites their files until none is left.
// Returns how many files it rewrote.
long work(FolderQueue &queue)
{
    long rewritten = 0;
    std::vector<std::string> found;
    for (std::string path = queue.take(); !path.empty(); path = queue.take()) {
        const int folder = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        DIR *dir = folder < 0 ? nullptr : ::fdopendir(folder);
        if (!dir && folder >= 0) {
            ::close(folder);
        }
        while (const dirent *entry = dir ? ::readdir(dir) : nullptr) {
            const char *name = entry->d_name;
            if (entry->d_type == DT_DIR && std::strcmp(name, ".") != 0 &&
                std::strcmp(name, "..") != 0) {
                found.push_back(path + '/' + name);
            } else if (entry->d_type == DT_REG && endsInCl2(name)) {
                rewritten += rewriteInPlace(folder, name) ? 1 : 0;
            }
        }
        if (dir) {
            ::closedir(dir);
        }
        queue.listed(found);
    }
    return rewritten;
}

} // namespace

int main(int argc, char *argv[])
{
    int next = 1;
    dryRun = next < argc && std::strcmp(argv[next], "--dry-run") == 0;
    next += dryRun ? 1 : 0;
    const bool threadsGiven = next + 1 < argc && std::strcmp(argv[next], "--threads") == 0;
    const int threads = threadsGiven ? std::atoi(argv[next + 1]) : 1;
    next += threadsGiven ? 2 : 0;
    if (next + 1 != argc || threads < 1) {
        std::fprintf(stderr, "usage: %s [--dry-run] [--threads N] DIR\n", argv[0]);
        return 2;
    }
    FolderQueue queue(argv[argc - 1]);
    std::vector<long> rewritten(std::size_t(threads), 0);
    {
        std::vector<std::jthread> workers;
        for (int t = 0; t < threads; ++t) {
            workers.emplace_back(
                [&queue, &rewritten, t] { rewritten[std::size_t(t)] = work(queue); });
        }
    }
    long total = 0;
    for (const long n : rewritten) {
        total += n;
    }
    std::printf("%s: %ld\n", dryRun ? "would rewrite" : "rewrote", total);
    return 0;
}
