// Faults a test injects into a real program from outside: built as a shared
// library the tests put in LD_PRELOAD, so nothing of them ships. It stands in
// front of the C library's pread and pwrite and reads its orders from the
// environment once:
//
//   VELMORA_FAULT_PWRITE=N:ACTION   at the N-th pwrite to a file (journals of
//   VELMORA_FAULT_PWRITE=N+:ACTION  the state folder are not counted), or at
//                                   the N-th and every later one with '+':
//       kill   the process dies by SIGKILL before the write
//       killafter  the write is made, then the process dies by SIGKILL
//       stop   the calling thread stops the process (SIGSTOP) before the
//              write, which goes on once the process is continued
//       sleep  the calling thread sleeps for two seconds before the write,
//              while the rest of the process goes on
//       ENOSPC, EIO  the write fails with that error, writing nothing
//   VELMORA_FAULT_SHORT_READS=1     every pread returns at most a third of
//                                   what it was asked for (at least a byte)
//   VELMORA_FAULT_SLOW_IO=US        every pread and pwrite to a file (not a
//                                   journal) first sleeps US microseconds, as
//                                   on a slow disk: the program's threads wait
//                                   for it, and two programs overlap more
//
// A conversion rewrites a file whose two frame tables lie in its first 4 KiB
// in one write, so there N = n is the n-th file's write. A larger file takes
// two writes: in a batch of those, "2n:kill" kills the program between the
// two writes of the n-th file. The programs call pread and pwrite (not their 64-bit names,
// which are the same calls on a 64-bit system).
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <string>
#include <string_view>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

struct Orders
{
    long at = 0; // 0: no write fault
    bool onwards = false;
    enum class Action { None, Kill, KillAfter, Stop, Sleep, Fail } action = Action::None;
    int error = 0;
    bool shortReads = false;
    long slowMicroseconds = 0;
};

const Orders &orders()
{
    static const Orders parsed = [] {
        Orders result;
        if (const char *write = std::getenv("VELMORA_FAULT_PWRITE")) {
            char *rest = nullptr;
            result.at = std::strtol(write, &rest, 10);
            result.onwards = *rest == '+';
            rest += result.onwards;
            const std::string_view action = *rest == ':' ? rest + 1 : "";
            using enum Orders::Action;
            static constexpr struct
            {
                std::string_view name;
                Orders::Action action;
                int error;
            } named[] = {{"kill", Kill, 0},   {"killafter", KillAfter, 0}, {"stop", Stop, 0},
                         {"sleep", Sleep, 0}, {"ENOSPC", Fail, ENOSPC},    {"EIO", Fail, EIO}};
            for (const auto &entry : named) {
                if (entry.name == action) {
                    result.action = entry.action;
                    result.error = entry.error;
                }
            }
        }
        const char *reads = std::getenv("VELMORA_FAULT_SHORT_READS");
        result.shortReads = reads && *reads == '1';
        if (const char *slow = std::getenv("VELMORA_FAULT_SLOW_IO")) {
            result.slowMicroseconds = std::strtol(slow, nullptr, 10);
        }
        return result;
    }();
    return parsed;
}

std::atomic<long> writes{0};

bool isJournal(int fd)
{
    std::error_code error;
    const auto target = std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(fd), error);
    return target.native().find("/cl2velmora/") != std::string::npos;
}

void slowDown(int fd)
{
    if (orders().slowMicroseconds > 0 && !isJournal(fd)) {
        ::usleep(useconds_t(orders().slowMicroseconds));
    }
}

// The order for this write: None when it is not the one. Kill, stop and
// sleep are carried out here, and a kill does not return.
Orders::Action orderFor(int fd)
{
    slowDown(fd);
    const Orders &o = orders();
    if (o.action == Orders::Action::None || isJournal(fd)) {
        return Orders::Action::None;
    }
    const long n = ++writes;
    if (n != o.at && !(o.onwards && n > o.at)) {
        return Orders::Action::None;
    }
    if (o.action == Orders::Action::Kill) {
        ::kill(::getpid(), SIGKILL);
    } else if (o.action == Orders::Action::Stop) {
        // The thread that writes stops with the process: a signal sent to it
        // now arrives at the very point of the write.
        ::syscall(SYS_tgkill, ::getpid(), ::gettid(), SIGSTOP);
    } else if (o.action == Orders::Action::Sleep) {
        ::sleep(2);
    }
    return o.action;
}

template <typename Function> Function next(const char *name)
{
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

size_t shortened(size_t count)
{
    return orders().shortReads && count > 1 ? count / 3 + 1 : count;
}

} // namespace

extern "C" {

ssize_t pwrite(int fd, const void *buffer, size_t count, off_t offset)
{
    static const auto real = next<ssize_t (*)(int, const void *, size_t, off_t)>("pwrite");
    const Orders::Action order = orderFor(fd);
    if (order == Orders::Action::Fail) {
        errno = orders().error;
        return -1;
    }
    const ssize_t written = real(fd, buffer, count, offset);
    if (order == Orders::Action::KillAfter) {
        ::kill(::getpid(), SIGKILL);
    }
    return written;
}

ssize_t pread(int fd, void *buffer, size_t count, off_t offset)
{
    static const auto real = next<ssize_t (*)(int, void *, size_t, off_t)>("pread");
    slowDown(fd);
    return real(fd, buffer, shortened(count), offset);
}
}
