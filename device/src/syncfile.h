#pragma once

#include "core/result.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace tollvik::device::detail {

// The file operations of a safe write, each with the guarantee the write relies on. Paths are
// native; every failure's text names the reason (the system's error string).

// An open descriptor, closed when it goes.
class Fd
{
public:
    Fd() = default;
    explicit Fd(int fd) : m_fd(fd) {}
    Fd(Fd&& other) noexcept : m_fd(other.release()) {}
    Fd& operator=(Fd&& other) noexcept;
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd();
    [[nodiscard]] int get() const { return m_fd; }
    int release();
    // Closes and reports a failed close (an NFS or FUSE file system may report a write error
    // only here).
    [[nodiscard]] Status close();

private:
    int m_fd = -1;
};

// What lstat says of a path.
enum class Kind
{
    Missing,
    Regular,
    Other, // a folder, link, FIFO, device or socket: never read or replaced
};
struct FileStat
{
    Kind kind = Kind::Missing;
    qint64 size = 0;
    qint64 mtimeNs = 0;
    quint64 device = 0;
    quint64 inode = 0;
};
[[nodiscard]] FileStat statPath(const QString& path);

// Opens a regular file for reading without blocking and without following a link: a path that
// turns out not to be a regular file once open is refused.
[[nodiscard]] Result<Fd> openRegular(const QString& path);

// Reads up to `length` bytes from `offset`; fewer only at the end of the file.
[[nodiscard]] Result<QByteArray> readAt(const Fd& fd, qint64 offset, qint64 length);

// Reads the whole regular file, refusing more than maxSize bytes.
[[nodiscard]] Result<QByteArray> readRegular(const QString& path, qint64 maxSize);

// Creates `path` (which must not exist), writes `data` and flushes it to the device (fsync).
[[nodiscard]] Status writeNewSynced(const QString& path, QByteArrayView data);

// Flushes the folder itself, so that a rename in it is on the device.
[[nodiscard]] Status syncFolder(const QString& folder);

// Renames over the target in one step (the file system's rename).
[[nodiscard]] Status renameOver(const QString& from, const QString& to);

// Reads the file from the device rather than from the cache where the system allows it (the
// cached pages are dropped first) and compares it with `expected` byte for byte.
[[nodiscard]] Status compareWithDevice(const QString& path, QByteArrayView expected);

// Bytes free for an ordinary user on the file system holding `folder`, or -1.
[[nodiscard]] qint64 freeBytes(const QString& folder);

// Succeeds when a file may be created in the folder; a read-only mount is refused here.
[[nodiscard]] Status canWriteIn(const QString& folder);

// Creates a folder that did not exist; false when it exists or cannot be made.
[[nodiscard]] bool makeNewFolder(const QString& path);

// Removes a file; a missing file is no error.
[[nodiscard]] Status removeFile(const QString& path);

} // namespace tollvik::device::detail
