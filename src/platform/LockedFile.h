#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace velmora {

// A file its process keeps an advisory lock on (flock) for as long as it has
// it open. The system drops the lock when the process ends, however it ends,
// so another process can tell whether the file's owner is still alive; unlike
// a process id, a lock is never inherited by a new process that happens to get
// the same number.
class LockedFile
{
public:
    enum class Created { Yes, AlreadyThere, Failed };
    // Untrusted: not a regular file of the effective user that only the user
    // can write; it is not locked, and nothing in it is to be believed.
    // NotNow: the system lacked what opening or locking it takes (descriptors,
    // memory, locks); a later try may succeed.
    enum class Claim { Claimed, HeldByAnother, Gone, Untrusted, NotNow, Failed };

    LockedFile() = default;
    ~LockedFile();
    LockedFile(const LockedFile &) = delete;
    LockedFile &operator=(const LockedFile &) = delete;

    // Creates a file at path that was not there before (mode 0600) and locks it.
    Created create(const QByteArray &path, QString *error);
    // Opens the file at path for reading and writing (a lock taken through a
    // read-only descriptor does not hold over NFS) and locks it, unless
    // another process holds it. Gone when nothing is at path any more. A
    // symbolic link or a FIFO is neither followed nor waited for.
    Claim claim(const QByteArray &path, QString *error);
    // Opens (with create, makes when missing) the file at path and waits
    // until this process holds its lock. False, with the reason, when it
    // cannot be had or cannot be trusted as claim() says.
    bool lockWaiting(const QByteArray &path, bool create, QString *error);
    // Opens the file at path for reading only, with the trust checks of
    // claim(), without taking its lock: *live tells whether a process holds
    // it now. False, with the reason, when it cannot be opened or trusted.
    bool openToRead(const QByteArray &path, bool *live, QString *error);

    bool isOpen() const { return m_fd >= 0; }
    const QByteArray &path() const { return m_path; }

    // The file's current length, or -1 with the reason in error.
    std::int64_t length(QString *error) const;
    // Reads up to length bytes at offset; how many were read, or -1.
    std::int64_t readAt(std::int64_t offset, void *buffer, std::int64_t length,
                        QString *error) const;
    // Writes all length bytes at offset in one call; a short write is a failure.
    bool writeAt(std::int64_t offset, const void *buffer, std::int64_t length, QString *error);
    // Grows the file to size bytes, with its blocks allocated, and makes them
    // writable in memory: a store there reaches the file as a write would,
    // and outlives the process as one would, without a call into the system
    // (nor an update of the file's times) each time. Null, with the reason,
    // when it cannot be had.
    // Called again with a larger size, it grows the mapping (which may move).
    char *mapForWriting(std::int64_t size, QString *error);
    // Lets go of the mapped pages before offset upTo: what was stored there
    // stays in the file, but no longer takes the process's memory.
    void releaseMapped(std::int64_t upTo);
    // Makes the mapped bytes [from, from + length) ready to be written, so
    // that stores into them take no page fault later. Best effort.
    void prepareMapped(std::int64_t from, std::int64_t length);
    // Unmaps the file and cuts it to size bytes.
    bool truncate(std::int64_t size, QString *error);
    // Waits until the data written so far, mapped or not, and the length, are
    // on the disk.
    bool syncData(QString *error);
    // The same, for every attribute of the file as well.
    bool syncAll(QString *error);
    // Removes the file's name while the lock is still held, so that no other
    // process can claim it in between; then closes it.
    bool remove(QString *error);
    // Gives the file another name in its folder (the lock stays).
    bool rename(const QByteArray &newPath, QString *error);
    void close();

private:
    // Whether path still names the file we hold open.
    bool stillNamed() const;

    int m_fd = -1;
    QByteArray m_path;
    char *m_map = nullptr;
    std::int64_t m_mapSize = 0;
};

// $XDG_STATE_HOME/<name>, or ~/.local/state/<name> when that is not set to an
// absolute path: where a program keeps what must outlive a run. Empty, with
// the reason in error, when neither can be worked out.
QString stateFolder(const QString &name, QString *error);

// Creates the folder and every missing one above it, readable by the user
// alone (0700). True when it is a folder afterwards.
bool makeFolders(const QString &path, QString *error);

// Whether path is a folder (not a symbolic link to one) of the effective user
// that no one else can write to, so that what lies in it is the user's own.
// The reason in error when not.
bool isOwnFolder(const QByteArray &path, QString *error);

// Waits until the folder's entries (a new file's name) are on the disk.
bool syncFolder(const QString &path, QString *error);

} // namespace velmora
