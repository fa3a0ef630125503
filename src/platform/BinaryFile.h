#pragma once

#include "platform/DirectoryHandle.h"

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <cstdint>

namespace velmora {

// Identity of a file on disk, the same under every name that reaches it.
struct FileId
{
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    friend bool operator==(const FileId &, const FileId &) = default;
};

// What tells, later, whether a file is still the one seen when it was opened.
// The modification time moves with every write, ours included.
struct FileIdentity
{
    FileId id;
    std::int64_t length = 0;
    std::int64_t modifiedSeconds = 0;
    std::int32_t modifiedNanoseconds = 0;
};

// What tells a file's present content from a later one: a file replaced or
// written since has another length or modification time. A stamp taken from
// the clock around a file's writes, not from the file, knows the time only
// to a span: the file was left with a time from modifiedNs - earlierByNs up
// to modifiedNs.
struct FileStamp
{
    std::int64_t length = -1;
    std::int64_t modifiedNs = 0;
    std::int64_t earlierByNs = 0;
    friend bool operator==(const FileStamp &, const FileStamp &) = default;

    std::int64_t earliestNs() const { return modifiedNs - earlierByNs; }
    // The span in whole microseconds, rounded up: a span a little wider
    // still holds the file's time.
    std::int64_t earlierByUs() const
    {
        return (std::max<std::int64_t>(earlierByNs, 0) + 999) / 1000;
    }
    // Whether a file now stamped `now` is as it was when this was taken.
    bool admits(const FileStamp &now) const
    {
        return now.length == length && now.modifiedNs <= modifiedNs &&
               now.modifiedNs >= earliestNs();
    }
};

// A regular file opened for reading and writing at byte offsets. Every call
// is one block transfer (pread/pwrite); a failure carries the system's reason.
// The file is closed by close() or, failing that, by the destructor.
// Each open takes the file's exclusive lock (one writer across processes)
// when no other program holds it; lock() waits for it otherwise. The lock is
// the open description's own, so it goes with the close.
class BinaryFile
{
public:
    BinaryFile() = default;
    ~BinaryFile();
    BinaryFile(const BinaryFile &) = delete;
    BinaryFile &operator=(const BinaryFile &) = delete;

    // Opens an existing file; never creates one. Refuses anything that is not a
    // regular file (directories, devices, pipes, sockets) without touching it.
    bool open(const QString &path, QString *error);
    // The same for a path as the system spells it.
    bool open(const QByteArray &encodedPath, QString *error);
    // Opens the file named name in dir, the way a batch reaches the files a
    // folder search found: no full path is resolved again.
    bool openAt(const DirectoryHandle &dir, const char *name, QString *error);
    // Opens an existing file by a path already in the system's spelling, and
    // waits for its lock as lock() does.
    bool openEncoded(const QByteArray &encodedPath, QString *error);
    // Opens the file a path names without following a final symbolic link,
    // for a file that was recorded under that path and may since have been
    // replaced by anything: a FIFO or a device is neither waited for nor
    // kept open. A path longer than the system takes in one call is reached
    // a folder at a time. NotARegularFile: the name now holds a link, a
    // folder, a device...; Failed: it could not be reached (yet).
    enum class NamedOpen { Opened, NotARegularFile, Failed };
    NamedOpen openNamed(const QByteArray &encodedPath, QString *error);
    // Whether this open file holds its lock.
    bool isLocked() const { return m_locked; }
    // Takes the lock, waiting up to LockWaitMs while another program holds it;
    // false, with the reason in error, when it is still held then. A file
    // system that keeps no locks lets the file go on unlocked.
    bool lock(QString *error);
    static constexpr int LockWaitMs = 5000;
    // Which file the open descriptor is, whatever name reached it.
    FileId id() const { return m_identity.id; }
    // The file as it was when it was opened; false, with the reason in error,
    // when it is not open.
    bool identity(FileIdentity *out, QString *error) const;
    // The file's length when it was opened; -1, with the reason in error,
    // when it is not open.
    std::int64_t length(QString *error);
    // The open file's stamp as it is now; an invalid stamp when it cannot be had.
    FileStamp stamp() const;
    // Its stamp as it was when this process took its lock (or opened it,
    // where no lock could be had), without asking the system again.
    FileStamp stampWhenLocked() const;
    // A time no later than any a write from now on leaves a file with, as
    // the system keeps them (to a clock tick).
    static std::int64_t beforeWriting();
    // Its stamp after writes (none of which changed its length) made since
    // `before`, from the clock alone: what stamp() would say, to a span.
    FileStamp writtenSince(std::int64_t before) const;

    // Reads up to length bytes at offset; returns how many were read (fewer
    // only at the end of the file), or -1 with the reason in error.
    std::int64_t readAt(std::int64_t offset, void *buffer, std::int64_t length, QString *error);
    // Writes all length bytes at offset, or fails with the reason in error.
    bool writeAt(std::int64_t offset, const void *buffer, std::int64_t length, QString *error);
    // Waits until the data written so far is on the disk.
    bool sync(QString *error);
    // Tells the system the first length bytes will be read soon: on a cold
    // disk the read starts now, alongside those of other files.
    void willRead(std::int64_t length) const;
    bool close(QString *error);

    // Test seam: the next `skip` writes go through, then `count` writes fail
    // with errno `errorCode` after writing half of their bytes (a torn write).
    static void failWritesForTesting(int skip, int count, int errorCode);
    // Test seam: the next close reports errno errorCode (after closing).
    static void failNextCloseForTesting(int errorCode);

private:
    // failure, when given, gets the open's error number, or NotRegular.
    static constexpr int NotRegular = -1;
    bool openDescriptor(int at, const char *encodedPath, QString *error, int extraFlags = 0,
                        int *failure = nullptr);
    bool readInfo(QString *error);
    bool tryLock(QString *error);

    int m_fd = -1;
    bool m_locked = false;
    FileIdentity m_identity;
};

// The length of the regular file at path, or -1 when it cannot be had (no such
// file, no access, not a regular file). The file is not opened.
std::int64_t fileLength(const QString &path);

// Whether path names a directory (following symbolic links).
bool isDirectory(const QString &path);
bool isDirectory(const QByteArray &encodedPath);

} // namespace velmora
