// The least a converter can do: walk the tree breadth-first with
// opendir/readdir, take every regular file whose name ends in ".cl2" in any
// case, and rewrite it with open, two reads, two writes and close. The
// benchmark measures cl2velmora-cli against this.
// Usage: velmora-bench-reference [--dry-run] DIR
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

struct Counts
{
    long converted = 0;
    long refused = 0;
};

bool endsInCl2(const char *name)
{
    const std::size_t length = std::strlen(name);
    return length >= 4 && strcasecmp(name + length - 4, ".cl2") == 0;
}

std::int32_t get32(const unsigned char *p)
{
    return static_cast<std::int32_t>(p[0] | p[1] << 8 | p[2] << 16 |
                                     static_cast<std::uint32_t>(p[3]) << 24);
}

void set32(unsigned char *p, std::int32_t value)
{
    const auto v = static_cast<std::uint32_t>(value);
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<unsigned char>(v >> (8 * i));
    }
}

// Header, count and group 0's table in the first read; group 1's table in the
// second; then header + count + new table 0, and the new table 1.
bool convert(const std::string &path, bool dryRun)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    unsigned char front[4096];
    const ssize_t got = ::pread(fd, front, sizeof front, 0);
    bool ok = got >= 36 && get32(front) == 32;
    std::int64_t frames = ok ? get32(front + 32) : -1;
    const std::int64_t tableBytes = 4 * (frames + 1);
    ok = ok && frames >= 0 && 36 + tableBytes <= got;
    const std::int64_t g0 = 32;
    const std::int64_t g1 = ok ? get32(front + 4) : 0;
    std::vector<unsigned char> table1(ok ? static_cast<std::size_t>(tableBytes) : 0);
    ok = ok && g1 > 32 &&
         ::pread(fd, table1.data(), table1.size(), static_cast<off_t>(g1 + 4)) == tableBytes;
    if (ok && !dryRun) {
        std::vector<unsigned char> newTable1(table1.size());
        for (std::int64_t i = 0; i <= frames; ++i) {
            const std::int64_t old0 = get32(front + 36 + 4 * i);
            const std::int64_t old1 = get32(table1.data() + 4 * i);
            set32(newTable1.data() + 4 * i, static_cast<std::int32_t>(old0 + g0 - g1));
            set32(front + 36 + 4 * i, static_cast<std::int32_t>(old1 + g1 - g0));
        }
        std::int32_t g[8];
        for (int k = 0; k < 8; ++k) {
            g[k] = get32(front + 4 * k);
        }
        const std::int32_t order[8] = {g[0], g[3], g[5], g[7], g[1], g[2], g[4], g[6]};
        for (int k = 0; k < 8; ++k) {
            set32(front + 4 * k, order[k]);
        }
        ok = ::pwrite(fd, front, static_cast<std::size_t>(36 + tableBytes), 0) == 36 + tableBytes &&
             ::pwrite(fd, newTable1.data(), newTable1.size(), static_cast<off_t>(g1 + 4)) ==
                 tableBytes;
    }
    return ::close(fd) == 0 && ok;
}

} // namespace

int main(int argc, char *argv[])
{
    const bool dryRun = argc == 3 && std::strcmp(argv[1], "--dry-run") == 0;
    if (argc != 2 && !dryRun) {
        std::fprintf(stderr, "usage: %s [--dry-run] DIR\n", argv[0]);
        return 2;
    }
    Counts counts;
    std::deque<std::string> pending{argv[argc - 1]};
    while (!pending.empty()) {
        const std::string folder = std::move(pending.front());
        pending.pop_front();
        DIR *dir = ::opendir(folder.c_str());
        if (!dir) {
            continue;
        }
        while (const dirent *entry = ::readdir(dir)) {
            const char *name = entry->d_name;
            if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) {
                continue;
            }
            std::string path = folder + '/' + name;
            unsigned char type = entry->d_type;
            if (type == DT_UNKNOWN || type == DT_LNK) {
                struct stat info;
                if (::stat(path.c_str(), &info) != 0) {
                    continue;
                }
                type = S_ISDIR(info.st_mode) ? DT_DIR : S_ISREG(info.st_mode) ? DT_REG : DT_UNKNOWN;
            }
            if (type == DT_DIR) {
                pending.push_back(std::move(path));
            } else if (type == DT_REG && endsInCl2(name)) {
                ++(convert(path, dryRun) ? counts.converted : counts.refused);
            }
        }
        ::closedir(dir);
    }
    std::printf("%s: %ld, refused: %ld\n", dryRun ? "would convert" : "converted", counts.converted,
                counts.refused);
    return 0;
}
