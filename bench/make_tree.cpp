// Writes the benchmark's folder tree: CL2 files spread over nested folders, a
// few single-direction files, mixed-case extensions and names that must not
// match. Usage: velmora-bench-make-tree ROOT FILES FOLDERS [SEED]
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

void put32(std::vector<char> &bytes, std::size_t at, std::int32_t value)
{
    const auto v = static_cast<std::uint32_t>(value);
    for (int i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<char>((v >> (8 * i)) & 0xff);
    }
}

// One group: count, count + 1 offsets relative to the group's start, frames.
void appendGroup(std::vector<char> &bytes, int frames, int frameSize, char fill)
{
    const std::size_t start = bytes.size();
    bytes.resize(start + 4 + 4 * (frames + 1));
    put32(bytes, start, frames);
    const int first = 4 * (frames + 2);
    for (int i = 0; i <= frames; ++i) {
        put32(bytes, start + 4 + 4 * i, first + i * frameSize);
    }
    bytes.insert(bytes.end(), static_cast<std::size_t>(frames) * frameSize, fill);
}

// Every group holds the same number of frames, so the files can be converted
// any number of times in either direction.
std::vector<char> eightDirections(int frames, int frameSize)
{
    std::vector<char> bytes(32, 0);
    for (int k = 0; k < 8; ++k) {
        put32(bytes, 4 * k, static_cast<std::int32_t>(bytes.size()));
        appendGroup(bytes, frames, frameSize, static_cast<char>('A' + k));
    }
    return bytes;
}

std::vector<char> singleDirection(int frames, int frameSize)
{
    std::vector<char> bytes;
    appendGroup(bytes, frames, frameSize, 'S');
    return bytes;
}

bool writeFile(const std::string &path, const std::vector<char> &bytes)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        std::fprintf(stderr, "make_tree: %s: %s\n", path.c_str(), std::strerror(errno));
        return false;
    }
    const bool ok = ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    return ::close(fd) == 0 && ok;
}

bool makeFolder(const std::string &path)
{
    if (::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) {
        std::fprintf(stderr, "make_tree: %s: %s\n", path.c_str(), std::strerror(errno));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s ROOT FILES FOLDERS [SEED]\n", argv[0]);
        return 2;
    }
    const std::string root = argv[1];
    const long files = std::atol(argv[2]);
    const long folders = std::max(1L, std::atol(argv[3]));
    std::mt19937 random(argc > 4 ? static_cast<unsigned>(std::atol(argv[4])) : 1u);

    // Folder 0 is the root; folder i hangs below folder (i - 1) / 8, so the
    // tree is a few levels deep and every level is wide.
    std::vector<std::string> paths{root};
    if (!makeFolder(root)) {
        return 1;
    }
    for (long i = 1; i < folders; ++i) {
        paths.push_back(paths[(i - 1) / 8] + "/d" + std::to_string(i));
        if (!makeFolder(paths.back())) {
            return 1;
        }
    }

    long eight = 0;
    long single = 0;
    for (long i = 0; i < files; ++i) {
        const std::string &folder = paths[i % folders];
        const int pick = static_cast<int>(random() % 100);
        const char *extension = pick < 80 ? ".cl2" : pick < 90 ? ".CL2" : ".Cl2";
        const std::string name = folder + "/f" + std::to_string(i) + extension;
        const int frames = 1 + static_cast<int>(random() % 16);
        const int frameSize = 8 + static_cast<int>(random() % 48);
        // About 3 in 100 are single-direction files (never with 32 frames).
        const bool isSingle = random() % 100 < 3;
        if (!writeFile(name, isSingle ? singleDirection(frames, frameSize)
                                      : eightDirections(frames, frameSize))) {
            return 1;
        }
        ++(isSingle ? single : eight);
    }

    // Names that look close but must not be converted, in every tenth folder.
    const std::vector<char> decoy = eightDirections(2, 8);
    long decoys = 0;
    for (long i = 0; i < folders; i += 10) {
        if (!writeFile(paths[i] + "/x.cl2.bak", decoy) ||
            !writeFile(paths[i] + "/readme.txt", {'h', 'i', '\n'}) ||
            !makeFolder(paths[i] + "/data.cl2")) {
            return 1;
        }
        decoys += 3;
    }
    std::printf("%ld files (%ld 8-direction, %ld single-direction) in %ld folders, %ld decoys\n",
                files, eight, single, folders, decoys);
    return 0;
}
