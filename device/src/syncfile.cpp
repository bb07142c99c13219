#include "syncfile.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace tollvik::device::detail {
namespace {

constexpr qint64 kChunk = qint64(1) << 20;

QByteArray native(const QString& path)
{
    return QFile::encodeName(path);
}

Failure systemFailure(int error)
{
    return fail(QString::fromLocal8Bit(std::strerror(error)));
}

Failure lastFailure()
{
    return systemFailure(errno);
}

} // namespace

Fd& Fd::operator=(Fd&& other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = other.release();
    }
    return *this;
}

Fd::~Fd()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

int Fd::release()
{
    const int fd = m_fd;
    m_fd = -1;
    return fd;
}

Status Fd::close()
{
    const int fd = release();
    if (fd >= 0 && ::close(fd) != 0)
        return lastFailure();
    return {};
}

FileStat statPath(const QString& path)
{
    struct stat st
    {};
    if (path.isEmpty() || ::lstat(native(path).constData(), &st) != 0)
        return {};
    FileStat result;
    result.kind = S_ISREG(st.st_mode) ? Kind::Regular : Kind::Other;
    result.size = st.st_size;
    result.mtimeNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    result.device = st.st_dev;
    result.inode = st.st_ino;
    return result;
}

Result<Fd> openRegular(const QString& path)
{
    // Opening a device or a FIFO may already do something (or block): only a path that is a
    // regular file before the open is opened, and it must still be that file once open.
    struct stat before
    {
    }, st{};
    if (::lstat(native(path).constData(), &before) != 0)
        return lastFailure();
    if (!S_ISREG(before.st_mode))
        return fail(QStringLiteral("it is not a regular file"));
    Fd fd(::open(native(path).constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
    if (fd.get() < 0)
        return lastFailure();
    if (::fstat(fd.get(), &st) != 0)
        return lastFailure();
    if (!S_ISREG(st.st_mode) || st.st_dev != before.st_dev || st.st_ino != before.st_ino)
        return fail(QStringLiteral("it is not a regular file"));
    return fd;
}

Result<QByteArray> readAt(const Fd& fd, qint64 offset, qint64 length)
{
    QByteArray bytes(length, Qt::Uninitialized);
    qint64 done = 0;
    while (done < length) {
        const ssize_t n =
            ::pread(fd.get(), bytes.data() + done, size_t(length - done), off_t(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return lastFailure();
        if (n == 0)
            break;
        done += n;
    }
    bytes.truncate(done);
    return bytes;
}

Result<QByteArray> readRegular(const QString& path, qint64 maxSize)
{
    Result<Fd> fd = openRegular(path);
    if (!fd)
        return fd.failure();
    struct stat st
    {};
    if (::fstat(fd->get(), &st) != 0)
        return lastFailure();
    if (st.st_size > maxSize)
        return fail(QStringLiteral("it is longer than %1 bytes").arg(maxSize));
    Result<QByteArray> bytes = readAt(fd.value(), 0, st.st_size);
    if (bytes && bytes->size() != st.st_size)
        return fail(QStringLiteral("it changed while it was read"));
    return bytes;
}

Status writeNewSynced(const QString& path, QByteArrayView data)
{
    Fd fd(::open(native(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                 0644));
    if (fd.get() < 0)
        return lastFailure();
    qint64 done = 0;
    while (done < data.size()) {
        const qint64 part = std::min(kChunk, data.size() - done);
        const ssize_t n = ::write(fd.get(), data.data() + done, size_t(part));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? lastFailure() : systemFailure(ENOSPC);
        done += n;
    }
    if (::fsync(fd.get()) != 0)
        return lastFailure();
    return fd.close();
}

Status syncFolder(const QString& folder)
{
    Fd fd(::open(native(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() < 0)
        return lastFailure();
    // A file system that cannot flush a folder (EINVAL) has nothing of it to flush.
    if (::fsync(fd.get()) != 0 && errno != EINVAL)
        return lastFailure();
    return fd.close();
}

Status renameOver(const QString& from, const QString& to)
{
    if (::rename(native(from).constData(), native(to).constData()) != 0)
        return lastFailure();
    return {};
}

Status compareWithDevice(const QString& path, QByteArrayView expected)
{
    Result<Fd> fd = openRegular(path);
    if (!fd)
        return fd.failure();
    ::posix_fadvise(fd->get(), 0, 0, POSIX_FADV_DONTNEED);
    qint64 offset = 0;
    for (;;) {
        const Result<QByteArray> chunk = readAt(fd.value(), offset, kChunk);
        if (!chunk)
            return chunk.failure();
        if (chunk->isEmpty())
            break;
        if (chunk->size() > expected.size() - offset ||
            QByteArrayView(chunk.value()) != expected.sliced(offset, chunk->size()))
            return fail(QStringLiteral("it differs from byte %1 on").arg(offset));
        offset += chunk->size();
    }
    if (offset != expected.size())
        return fail(QStringLiteral("it is %1 bytes long, not %2").arg(offset).arg(expected.size()));
    return {};
}

qint64 freeBytes(const QString& folder)
{
    struct statvfs vfs
    {};
    if (::statvfs(native(folder).constData(), &vfs) != 0)
        return -1;
    return qint64(vfs.f_bavail) * qint64(vfs.f_frsize);
}

Status canWriteIn(const QString& folder)
{
    if (::access(native(folder).constData(), W_OK | X_OK) != 0)
        return lastFailure();
    return {};
}

bool makeNewFolder(const QString& path)
{
    return ::mkdir(native(path).constData(), 0755) == 0;
}

Status removeFile(const QString& path)
{
    if (::unlink(native(path).constData()) != 0 && errno != ENOENT)
        return lastFailure();
    return {};
}

} // namespace tollvik::device::detail
